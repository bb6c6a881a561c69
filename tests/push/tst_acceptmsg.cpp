// The notification pop-up: both layouts, the price rule, the picture
// fetched from the reference service, its buttons and its closing.

#include "core/AppPaths.h"
#include "push/PushPopups.h"
#include "push/QAcceptMsgWidget.h"
#include "push/core/PushMessage.h"
#include "service/ImageCache.h"
#include "tests/support/RefServiceProcess.h"

#include <QApplication>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString notice(const QString &title, const QString &content)
{
    return QString::fromUtf8(QJsonDocument(QJsonObject{
        {"alias", "lumiqPushNotice"}, {"uuid", "m1"},
        {"data", QJsonObject{{"uuid", "n1"}, {"title", title}, {"content", content}}}}).toJson());
}

QString offer(const QString &price, const QString &icon = QString())
{
    return QString::fromUtf8(QJsonDocument(QJsonObject{
        {"alias", "lumiqPushApp"}, {"uuid", "m2"},
        {"data", QJsonObject{{"uuid", "u"}, {"app_id", "a303"}, {"name", QStringLiteral("思维导图")},
                             {"desc", QStringLiteral("整理想法的好帮手")}, {"price", price}, {"icon", icon}}}})
        .toJson());
}

} // namespace

class AcceptMsgTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void noticeLayout();
    void offerLayout_data();
    void offerLayout();
    void offerPicture();
    void missingPictureLeavesLabelEmpty();
    void pictureBroughtByAnotherDownloadShows();
    void unknownKindsShowBareLayout_data();
    void unknownKindsShowBareLayout();
    void closeFadesOutAndDeletes();
    void sitsInTheCorner();
    void floodKeepsAFewPopupsAndSumsTheRest();

private:
    template <class T>
    static T *child(QWidget *w, const char *name)
    {
        T *c = w->findChild<T *>(QLatin1String(name));
        if (!c)
            qWarning() << "no child" << name;
        return c;
    }

    QTemporaryDir m_appDir;
    std::unique_ptr<RefServiceProcess> m_service;
};

void AcceptMsgTest::initTestCase()
{
    AppPaths::setAppDirPathOverride(m_appDir.path());
    m_service = std::make_unique<RefServiceProcess>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
}

void AcceptMsgTest::cleanupTestCase()
{
    AppPaths::setAppDirPathOverride(QString());
}

void AcceptMsgTest::noticeLayout()
{
    const QString content = QStringLiteral("系统将于今晚 22:00 维护，期间服务暂停。") + QString(200, QChar(0x5b57));
    QAcceptMsgWidget w(notice(QStringLiteral("维护 <b>通知</b>"), content));
    QCOMPARE(w.size(), QSize(350, 230));
    QCOMPARE(child<QLabel>(&w, "titleLabel")->text(), QStringLiteral("系统消息"));
    QCOMPARE(child<QWidget>(&w, "noticeWidget")->geometry(), QRect(10, 40, 331, 181));
    QVERIFY(!child<QWidget>(&w, "noticeWidget")->isHidden());
    QVERIFY(child<QWidget>(&w, "appWidget")->isHidden());
    // Markup in a notice is text.
    QCOMPARE(child<QLabel>(&w, "noticeTitleLabel")->text(), QStringLiteral("维护 <b>通知</b>"));
    QCOMPARE(child<QLabel>(&w, "noticeTitleLabel")->textFormat(), Qt::PlainText);
    QLabel *contentLabel = child<QLabel>(&w, "noticeContentLabel");
    QCOMPARE(contentLabel->text(), content);
    // A long content wraps inside its fixed area.
    QVERIFY(contentLabel->wordWrap());
    QCOMPARE(contentLabel->geometry(), QRect(15, 40, 301, 91));

    QSignalSpy more(&w, &QAcceptMsgWidget::openMsgList);
    QSignalSpy install(&w, &QAcceptMsgWidget::install);
    QTest::mouseClick(child<QPushButton>(&w, "moreButton"), Qt::LeftButton);
    QCOMPARE(more.count(), 1);
    QTest::mouseClick(child<QPushButton>(&w, "installButton"), Qt::LeftButton);
    QCOMPARE(install.count(), 0);
}

void AcceptMsgTest::offerLayout_data()
{
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("shown");
    QTest::newRow("free") << "" << QStringLiteral("免费");
    QTest::newRow("priced") << "9.9" << "9.9";
}

void AcceptMsgTest::offerLayout()
{
    QFETCH(QString, price);
    QFETCH(QString, shown);
    const QString text = offer(price);
    QAcceptMsgWidget w(text);
    QCOMPARE(child<QLabel>(&w, "titleLabel")->text(), QStringLiteral("应用推送"));
    QCOMPARE(child<QWidget>(&w, "appWidget")->geometry(), QRect(10, 40, 331, 181));
    QVERIFY(child<QWidget>(&w, "noticeWidget")->isHidden());
    QCOMPARE(child<QLabel>(&w, "appNameLabel")->text(), QStringLiteral("思维导图"));
    QCOMPARE(child<QLabel>(&w, "descLabel")->text(), QStringLiteral("整理想法的好帮手"));
    QCOMPARE(child<QLabel>(&w, "priceLabel")->text(), shown);

    QSignalSpy install(&w, &QAcceptMsgWidget::install);
    QSignalSpy more(&w, &QAcceptMsgWidget::openMsgList);
    QTest::mouseClick(child<QPushButton>(&w, "installButton"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(&w, "installButton"), Qt::LeftButton);
    // Twice pressed, twice handed on: the whole message, not its payload.
    QCOMPARE(install.count(), 2);
    QCOMPARE(install.at(0).at(0).toString(), text);
    QCOMPARE(install.at(1).at(0).toString(), text);
    QTest::mouseClick(child<QPushButton>(&w, "moreButton"), Qt::LeftButton);
    QCOMPARE(more.count(), 0);
}

void AcceptMsgTest::offerPicture()
{
    QAcceptMsgWidget w(offer(QString(), m_service->baseUrl() + QStringLiteral("images/app/a303/icon.png")));
    QSignalSpy settled(&w, &QAcceptMsgWidget::pictureSettled);
    QVERIFY(settled.wait(15000));
    QCOMPARE(settled.first().first().toBool(), true);
    QLabel *icon = child<QLabel>(&w, "appIconLabel");
    QVERIFY(!icon->pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(icon->hasScaledContents());
    QCOMPARE(icon->geometry(), QRect(10, 5, 56, 56));
    // Through the shared picture cache beside the executable.
    QVERIFY(QDir(m_appDir.filePath(QStringLiteral("CacheImage"))).entryList(QDir::Files).size() >= 1);
}

void AcceptMsgTest::missingPictureLeavesLabelEmpty()
{
    QAcceptMsgWidget w(offer(QStringLiteral("1"), m_service->baseUrl() + QStringLiteral("images/misc/none/x.txt")));
    QSignalSpy settled(&w, &QAcceptMsgWidget::pictureSettled);
    QVERIFY(settled.wait(15000));
    QCOMPARE(settled.first().first().toBool(), false);
    QVERIFY(child<QLabel>(&w, "appIconLabel")->pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(child<QLabel>(&w, "appNameLabel")->text(), QStringLiteral("思维导图"));

    // No address at all.
    QAcceptMsgWidget none(offer(QString()));
    QSignalSpy settledNone(&none, &QAcceptMsgWidget::pictureSettled);
    QVERIFY(settledNone.wait(5000));
    QCOMPARE(settledNone.first().first().toBool(), false);
}

// The pop-up's own download failed; the same picture brought into the cache
// later by another download (another pop-up, the desktop) still shows.
void AcceptMsgTest::pictureBroughtByAnotherDownloadShows()
{
    const QString address = m_service->baseUrl() + QStringLiteral("images/misc/late/offer.png");
    QVERIFY(m_service->setImageStatus(500));
    QAcceptMsgWidget w(offer(QString(), address));
    QSignalSpy settled(&w, &QAcceptMsgWidget::pictureSettled);
    QVERIFY(settled.wait(15000));
    QCOMPARE(settled.first().first().toBool(), false);
    QLabel *icon = child<QLabel>(&w, "appIconLabel");
    QVERIFY(icon->pixmap(Qt::ReturnByValue).isNull());

    QVERIFY(m_service->setImageStatus(0));
    QVERIFY(!fetchImageToCache(address).isEmpty());
    QTRY_VERIFY(!icon->pixmap(Qt::ReturnByValue).isNull());
}

void AcceptMsgTest::unknownKindsShowBareLayout_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("other alias") << R"({"alias":"somethingElse","data":{"title":"T"}})";
    QTest::newRow("not an object") << "[]";
    QTest::newRow("not JSON") << "hello";
}

void AcceptMsgTest::unknownKindsShowBareLayout()
{
    QFETCH(QString, text);
    QAcceptMsgWidget w(text);
    QCOMPARE(child<QLabel>(&w, "titleLabel")->text(), QString());
    QCOMPARE(child<QLabel>(&w, "noticeTitleLabel")->text(), QString());
    QCOMPARE(child<QWidget>(&w, "appWidget")->geometry().topLeft(), QPoint(400, 130));
    QSignalSpy install(&w, &QAcceptMsgWidget::install);
    QSignalSpy more(&w, &QAcceptMsgWidget::openMsgList);
    QTest::mouseClick(child<QPushButton>(&w, "installButton"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(&w, "moreButton"), Qt::LeftButton);
    QCOMPARE(install.count() + more.count(), 0);
}

void AcceptMsgTest::closeFadesOutAndDeletes()
{
    QPointer<QAcceptMsgWidget> w = new QAcceptMsgWidget(notice(QStringLiteral("T"), QStringLiteral("C")));
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    // Closed during the fade-in: still fades out and goes.
    QTest::mouseClick(child<QPushButton>(w, "closeButton"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(w, "closeButton"), Qt::LeftButton);
    QVERIFY(w);
    QTRY_VERIFY(w.isNull());
}

void AcceptMsgTest::sitsInTheCorner()
{
    QAcceptMsgWidget w(notice(QStringLiteral("T"), QStringLiteral("C")));
    w.moveToCorner();
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(w.pos(), PushPopup::topLeft(available));
    QCOMPARE(w.x() + w.width(), available.right());
    QCOMPARE(w.y() + w.height(), available.bottom());
}

void AcceptMsgTest::floodKeepsAFewPopupsAndSumsTheRest()
{
    auto visible = [] {
        int n = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<QAcceptMsgWidget *>(w) && w->isVisible())
                ++n;
        return n;
    };
    QCOMPARE(visible(), 0);
    PushPopups popups;
    QSignalSpy openList(&popups, &PushPopups::openMsgList);
    QSignalSpy install(&popups, &PushPopups::install);
    popups.show(offer(QString()));
    for (int i = 1; i < 60; ++i)
        popups.show(notice(QStringLiteral("通知 %1").arg(i), QStringLiteral("C")));
    QCOMPARE(popups.shown().size(), PushPopups::kShown);
    QCOMPARE(visible(), PushPopups::kShown + 1);
    QVERIFY(popups.summary());
    QCOMPARE(popups.summed(), 60 - PushPopups::kShown);
    QCOMPARE(child<QLabel>(popups.summary(), "noticeTitleLabel")->text(), QStringLiteral("还有 57 条新消息"));
    QCOMPARE(child<QLabel>(popups.summary(), "titleLabel")->text(), QStringLiteral("系统消息"));

    // The pop-ups shown work as ever.
    QTest::mouseClick(child<QPushButton>(popups.shown().first(), "installButton"), Qt::LeftButton);
    QCOMPARE(install.count(), 1);

    // One closed makes room for the next message; the summary keeps counting
    // only what found no room.
    QPointer<QAcceptMsgWidget> first = popups.shown().first();
    first->onClose();
    popups.show(notice(QStringLiteral("新的"), QStringLiteral("C")));
    QCOMPARE(popups.shown().last()->message().title, QStringLiteral("新的"));
    popups.show(notice(QStringLiteral("再来"), QStringLiteral("C")));
    QCOMPARE(popups.summed(), 58);
    QTRY_VERIFY(first.isNull());
    QCOMPARE(visible(), PushPopups::kShown + 1);

    // "查看更多" of the summary opens the message centre and ends the summary.
    QPointer<QAcceptMsgWidget> summary = popups.summary();
    QTest::mouseClick(child<QPushButton>(summary, "moreButton"), Qt::LeftButton);
    QCOMPARE(openList.count(), 1);
    QTRY_VERIFY(summary.isNull());
    popups.show(notice(QStringLiteral("之后"), QStringLiteral("C")));
    QCOMPARE(popups.summed(), 1);
    QCOMPARE(child<QLabel>(popups.summary(), "noticeTitleLabel")->text(), QStringLiteral("还有 1 条新消息"));

    for (QAcceptMsgWidget *w : popups.shown())
        delete w;
    delete popups.summary();
}

QTEST_MAIN(AcceptMsgTest)
#include "tst_acceptmsg.moc"
