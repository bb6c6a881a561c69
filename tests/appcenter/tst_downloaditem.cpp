// The download rows as the user sees them, downloading from the reference
// service: pause and continue, a time-out shown in red with retry, retry
// starting over, cancel, the icon, and the finished row.

#include "appcenter/DownloadFinishItem.h"
#include "appcenter/DownloadItem.h"
#include "tests/support/RefServiceProcess.h"
#include "tests/support/ShownText.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString text(QWidget *row, const char *name)
{
    auto *label = row->findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

template <typename T>
T *child(QWidget *row, const char *name)
{
    T *w = row->findChild<T *>(QLatin1String(name));
    if (!w)
        qFatal("no child %s", name);
    return w;
}

} // namespace

class tst_DownloadItem : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void pauseAndContinue();
    void timeoutShowsRedWithRetryAndRetryStartsOver();
    void cancelRemovesThePartialFile();
    void addressWithoutFileNameShowsErrorAtOnce();
    void windowDeletesTheRowInItsAnswer_data();
    void windowDeletesTheRowInItsAnswer();
    void iconShows();
    void finishedRow();
    void namesShowAsTheyAre();

private:
    struct Row
    {
        DownloadItem *item = nullptr;
        std::unique_ptr<QSignalSpy> finish;
        QStringList launched;
    };
    std::unique_ptr<Row> makeRow(const QString &url, int idleTimeoutMs = 10000);
    QString downloads(const QString &name) const { return m_dir.filePath(QStringLiteral("downloadApp/") + name); }

    std::unique_ptr<RefServiceProcess> m_service;
    QTemporaryDir m_dir;
    QByteArray m_installer;
    DesktopAppInfoPtr m_app;
};

void tst_DownloadItem::initTestCase()
{
    m_service = std::make_unique<RefServiceProcess>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    m_installer = m_service->get(QStringLiteral("downloads/suhui-setup.sh"));
    QVERIFY(!m_installer.isEmpty());
}

void tst_DownloadItem::init()
{
    QVERIFY(m_service->reset());
    QDir(m_dir.filePath(QStringLiteral("downloadApp"))).removeRecursively();
    m_app = DesktopAppInfoPtr::create();
    m_app->name = QStringLiteral("速绘画板");
    m_app->type = QStringLiteral("2");
    m_app->url = m_service->installerUrl();
}

std::unique_ptr<tst_DownloadItem::Row> tst_DownloadItem::makeRow(const QString &url, int idleTimeoutMs)
{
    auto row = std::make_unique<Row>();
    m_app->url = url;
    auto *job = new DownloadJob(m_app, m_dir.path());
    job->manager()->setIdleTimeout(idleTimeoutMs);
    Row *raw = row.get();
    job->manager()->setLauncher([raw](const QString &program) {
        raw->launched << program;
        return true;
    });
    // The spy exists before the row: the row starts at once.
    row->item = new DownloadItem(nullptr, m_app, 4711, job);
    row->finish = std::make_unique<QSignalSpy>(row->item, &DownloadItem::signalFinish);
    row->item->show();
    return row;
}

void tst_DownloadItem::pauseAndContinue()
{
    QVERIFY(m_service->setStallAfter(120000));
    auto row = makeRow(m_service->installerUrl());
    QWidget *w = row->item;
    QCOMPARE(text(w, "labelStatus"), QStringLiteral("正在下载"));
    QTRY_COMPARE_WITH_TIMEOUT(row->item->job()->manager()->bytesReceived(), qint64(120000), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(text(w, "labelFileSize"), QStringLiteral("256 KB"), 3000);

    QTest::mouseClick(child<QToolButton>(w, "stop_start_toolButton"), Qt::LeftButton);
    QCOMPARE(text(w, "labelStatus"), QStringLiteral("停止下载"));
    QCOMPARE(text(w, "labelSpeed"), QStringLiteral("0 KB/S"));
    QVERIFY(child<QToolButton>(w, "stop_start_toolButton")->styleSheet().contains(QLatin1String("icon_ks_nor.png")));
    QVERIFY(m_service->setStallAfter(-1));
    QVERIFY(m_service->clearRecord());

    QTest::mouseClick(child<QToolButton>(w, "stop_start_toolButton"), Qt::LeftButton);
    QVERIFY(child<QToolButton>(w, "stop_start_toolButton")->styleSheet().contains(QLatin1String("icon_zt_nor.png")));
    QTRY_COMPARE_WITH_TIMEOUT(row->finish->count(), 1, 15000);
    const QList<QVariant> args = row->finish->first();
    QCOMPARE(args.at(0).value<unsigned long>(), 4711ul);
    QCOMPARE(args.at(1).value<DesktopAppInfoPtr>(), m_app);
    QCOMPARE(args.at(2).toInt(), 2);
    QCOMPARE(fileBytes(downloads(QStringLiteral("suhui-setup.sh"))), m_installer);
    QCOMPARE(row->launched, QStringList{downloads(QStringLiteral("suhui-setup.sh"))});
    const QJsonObject request = m_service->lastReceived(QStringLiteral("downloads/suhui-setup.sh"));
    QCOMPARE(request.value(QStringLiteral("range")).toString(), QStringLiteral("bytes=120000-"));
    auto *bar = child<QProgressBar>(w, "progressBar");
    QCOMPARE(bar->value(), bar->maximum());
    delete row->item;
}

void tst_DownloadItem::timeoutShowsRedWithRetryAndRetryStartsOver()
{
    QVERIFY(m_service->setStallAfter(30000));
    auto row = makeRow(m_service->installerUrl(), 1000);
    QWidget *w = row->item;
    auto *pause = child<QToolButton>(w, "stop_start_toolButton");
    auto *reload = child<QPushButton>(w, "reloadButton");
    QVERIFY(!reload->isVisible());

    QTRY_COMPARE_WITH_TIMEOUT(row->finish->count(), 1, 10000);
    QCOMPARE(row->finish->first().at(2).toInt(), 1);
    QCOMPARE(text(w, "labelStatus"), QStringLiteral("网络超时"));
    QVERIFY(child<QLabel>(w, "labelStatus")->styleSheet().contains(QLatin1String("color: rgb(255, 0, 0)")));
    QCOMPARE(child<QLabel>(w, "labelStatus")->geometry(), QRect(270, 13, 62, 21));
    QVERIFY(!child<QProgressBar>(w, "progressBar")->isVisible());
    QVERIFY(!pause->isVisible());
    QVERIFY(reload->isVisible());
    QCOMPARE(reload->geometry(), pause->geometry());
    QCOMPARE(text(w, "labelCurrentDownload"), QStringLiteral("0 B"));
    // A failed download leaves no partial file.
    QVERIFY(!QFile::exists(downloads(QStringLiteral("suhui-setup.sh_tmp"))));

    QVERIFY(m_service->setStallAfter(-1));
    QVERIFY(m_service->clearRecord());
    QTest::mouseClick(reload, Qt::LeftButton);
    QVERIFY(!reload->isVisible());
    QVERIFY(pause->isVisible());
    QVERIFY(child<QProgressBar>(w, "progressBar")->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(row->finish->count(), 2, 15000);
    QCOMPARE(row->finish->at(1).at(2).toInt(), 2);
    QCOMPARE(fileBytes(downloads(QStringLiteral("suhui-setup.sh"))), m_installer);
    // The retry started from the first byte.
    QCOMPARE(m_service->lastReceived(QStringLiteral("downloads/suhui-setup.sh")).value(QStringLiteral("range")).toString(),
             QStringLiteral("bytes=0-"));
    delete row->item;
}

void tst_DownloadItem::cancelRemovesThePartialFile()
{
    QVERIFY(m_service->setStallAfter(50000));
    auto row = makeRow(m_service->installerUrl());
    QWidget *w = row->item;
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(downloads(QStringLiteral("suhui-setup.sh_tmp"))).size() == 50000, 10000);
    QTest::mouseClick(child<QToolButton>(w, "delete_toolButton"), Qt::LeftButton);
    QCOMPARE(row->finish->count(), 1);
    QCOMPARE(row->finish->first().at(2).toInt(), 0);
    QCOMPARE(text(w, "labelStatus"), QStringLiteral("关闭下载"));
    QCOMPARE(QDir(m_dir.filePath(QStringLiteral("downloadApp"))).entryList(QDir::Files), QStringList());
    delete row->item;
}

void tst_DownloadItem::addressWithoutFileNameShowsErrorAtOnce()
{
    auto row = makeRow(m_service->baseUrl() + QStringLiteral("downloads/"));
    QTRY_COMPARE_WITH_TIMEOUT(row->finish->count(), 1, 2000);
    QCOMPARE(row->finish->first().at(2).toInt(), 1);
    QCOMPARE(text(row->item, "labelStatus"), QStringLiteral("下载出错"));
    QVERIFY(child<QPushButton>(row->item, "reloadButton")->isVisible());
    QVERIFY(!QFile::exists(downloads(QStringLiteral("_tmp"))));
    delete row->item;
}

void tst_DownloadItem::windowDeletesTheRowInItsAnswer_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("downloaded") << false;
    QTest::newRow("cancelled") << true;
}

void tst_DownloadItem::windowDeletesTheRowInItsAnswer()
{
    // The window deletes a row's list item, and with it the row, in its
    // answer to signalFinish: nothing of the row may be touched after it.
    QFETCH(bool, cancel);
    if (cancel)
        QVERIFY(m_service->setStallAfter(10000));
    auto row = makeRow(m_service->installerUrl());
    QPointer<DownloadItem> item(row->item);
    QPointer<DownLoadManager> manager(row->item->job()->manager());
    int outcome = -1;
    connect(row->item, &DownloadItem::signalFinish, this, [&](unsigned long, DesktopAppInfoPtr, int result) {
        outcome = result;
        delete item.data();
    });
    if (cancel) {
        QTRY_VERIFY_WITH_TIMEOUT(manager && manager->bytesReceived() == 10000, 10000);
        QTest::mouseClick(child<QToolButton>(row->item, "delete_toolButton"), Qt::LeftButton);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!item, 15000);
    QVERIFY(!manager);
    QCOMPARE(outcome, cancel ? 0 : 2);
    QTest::qWait(100); // late events of the deleted row find nothing
}

void tst_DownloadItem::iconShows()
{
    QTemporaryDir dir;
    const QString icon = dir.filePath(QStringLiteral("CacheImage (1)/icon.png"));
    QVERIFY(QDir().mkpath(QFileInfo(icon).path()));
    QImage picture(35, 35, QImage::Format_RGB32);
    picture.fill(QColor(10, 200, 30));
    QVERIFY(picture.save(icon));
    m_app->icon = icon;
    QVERIFY(m_service->setStallAfter(0));
    auto row = makeRow(m_service->installerUrl());
    const QImage shot = child<QLabel>(row->item, "photo_label")->grab().toImage();
    QCOMPARE(QColor(shot.pixel(shot.width() / 2, shot.height() / 2)), QColor(10, 200, 30));
    row->item->job()->cancel();

    DownloadFinishItem finished(icon, m_app->name, 99);
    finished.show();
    const QImage shot2 = child<QLabel>(&finished, "photo_label")->grab().toImage();
    QCOMPARE(QColor(shot2.pixel(shot2.width() / 2, shot2.height() / 2)), QColor(10, 200, 30));
    delete row->item;
}

void tst_DownloadItem::finishedRow()
{
    DownloadFinishItem row(QString(), QStringLiteral("记账本"), 12345);
    QCOMPARE(row.size(), QSize(620, 60));
    QVERIFY(text(&row, "timeLabel").startsWith(QString::fromUtf8("下载完成   ")));
    QVERIFY(QDateTime::fromString(text(&row, "timeLabel").mid(7), QStringLiteral("yyyy/MM/dd hh:mm:ss")).isValid());
    QCOMPARE(text(&row, "name_label"), QStringLiteral("记账本"));
    QSignalSpy removed(&row, &DownloadFinishItem::removeFinishItem);
    QTest::mouseClick(child<QToolButton>(&row, "delete_toolButton"), Qt::LeftButton);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.first().first().value<unsigned long>(), 12345ul);
}

void tst_DownloadItem::namesShowAsTheyAre()
{
    // The name comes from the service or a page: never taken for markup.
    m_app->name = markupName();
    QVERIFY(m_service->setStallAfter(1000));
    auto row = makeRow(m_service->installerUrl());
    QCOMPARE(shownText(child<QLabel>(row->item, "name_label")), markupName());
    delete row->item;
    DownloadFinishItem finished(QString(), markupName(), 1);
    QCOMPARE(shownText(child<QLabel>(&finished, "name_label")), markupName());
}

QTEST_MAIN(tst_DownloadItem)
#include "tst_downloaditem.moc"
