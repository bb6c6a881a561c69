// The message centre in a real web engine: the notices fetched from the
// reference service reach its page intact and are drawn as text.

#include "core/AppPaths.h"
#include "core/Settings.h"
#include "push/QMsgListDialog.h"
#include "push/core/NoticeList.h"
#include "tests/support/RefServiceProcess.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

namespace {

// What the page shows: per notice its title, time and article, the
// article's <br> elements read back as "\n"; plus whether any markup of a
// notice became an element.
const char kReadList[] = R"(JSON.stringify({
    items: Array.from(document.querySelectorAll('#notices li')).map(function (li) {
        var article = li.querySelector('.article');
        var text = Array.from(article.childNodes).map(function (n) {
            return n.nodeName === 'BR' ? '\n' : (n.nodeType === 3 ? n.nodeValue : '<element>');
        }).join('');
        return { title: li.querySelector('.title').textContent,
                 time: li.querySelector('.time').textContent, article: text };
    }),
    foreign: document.querySelectorAll('#notices script, #notices img, #notices b').length,
    pwned: typeof window.pwned !== 'undefined',
    empty: document.body.classList.contains('empty')
}))";

} // namespace

class MsgListTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void layout();
    void hostileNoticesArriveIntact();
    void reloadFetchesAgain();
    void refusedFetchDrawsNothing();
    void emptyListDrawsEmptyList();
    void keysDoNotCloseItBackgroundIsOpaque();

private:
    QJsonObject readList(QMsgListDialog &dialog);
    void writeKeys(const QString &token);

    QTemporaryDir m_appDir;
    std::unique_ptr<RefServiceProcess> m_service;
    QString m_uid, m_token;
};

void MsgListTest::initTestCase()
{
    // A client folder of its own: the page and a Config.ini with the keys.
    const QDir bin(qEnvironmentVariable("ORVANE_BIN_DIR"));
    QVERIFY(QDir(m_appDir.path()).mkpath(QStringLiteral("cloudNew")));
    QVERIFY(QFile::copy(bin.filePath(QStringLiteral("cloudNew/index.html")),
                        m_appDir.filePath(QStringLiteral("cloudNew/index.html"))));
    AppPaths::setAppDirPathOverride(m_appDir.path());
    m_service = std::make_unique<RefServiceProcess>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    AppPaths::setServerAddress(m_service->baseUrl());
    const auto credentials = m_service->demoCredentials();
    m_uid = credentials.first;
    m_token = credentials.second;
    writeKeys(m_token);
}

void MsgListTest::cleanupTestCase()
{
    AppPaths::setAppDirPathOverride(QString());
    AppPaths::setServerAddress(QString());
}

void MsgListTest::writeKeys(const QString &token)
{
    QVERIFY(Settings::writeSignIn({token, m_uid, QStringLiteral("demo"), QStringLiteral("demo1234")}));
}

QJsonObject MsgListTest::readList(QMsgListDialog &dialog)
{
    QString json;
    bool done = false;
    dialog.view()->page()->runJavaScript(QLatin1String(kReadList), [&](const QVariant &v) {
        json = v.toString();
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000))
        return QJsonObject();
    return QJsonDocument::fromJson(json.toUtf8()).object();
}

void MsgListTest::layout()
{
    QMsgListDialog dialog;
    QCOMPARE(dialog.size(), QSize(700, 480));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("消息中心"));
    QCOMPARE(dialog.view()->geometry(), QRect(5, 35, 690, 440));
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("closeButton"))->geometry(), QRect(675, 5, 20, 20));
    QTRY_COMPARE(dialog.view()->url(), QUrl::fromLocalFile(m_appDir.filePath(QStringLiteral("cloudNew/index.html"))));
    QVERIFY(!dialog.view()->page()->webChannel());
}

void MsgListTest::hostileNoticesArriveIntact()
{
    struct Notice
    {
        QString title, content;
    };
    const QList<Notice> notices{
        {QStringLiteral("引号 \"double\" and 'single'"), QStringLiteral("反斜杠 \\ and \\n stays \\\\ two")},
        {QStringLiteral("<script>window.pwned=1</script>"),
         QStringLiteral("<img src=x onerror=\"window.pwned=1\"><b>not bold</b>')\");window.pwned=1;//")},
        {QStringLiteral("换行"), QStringLiteral("第一行\n第二行\r\n第三行 — ü 😀")},
    };
    for (const Notice &n : notices)
        QVERIFY(!m_service->pushNotice(m_uid, n.title, n.content).isEmpty());

    QMsgListDialog dialog;
    QSignalSpy shown(&dialog, &QMsgListDialog::noticesShown);
    dialog.show();
    QVERIFY(shown.wait(20000));
    QCOMPARE(shown.first().first().toBool(), true);
    QJsonObject list;
    QTRY_VERIFY((list = readList(dialog)).value("items").toArray().size() == 10);
    const QJsonArray items = list.value("items").toArray();
    // Newest first: the last pushed is on top.
    for (int i = 0; i < notices.size(); ++i) {
        const Notice &n = notices.at(notices.size() - 1 - i);
        const QJsonObject item = items.at(i).toObject();
        QCOMPARE(item.value("title").toString(), n.title);
        QString expected = n.content;
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(item.value("article").toString(), expected);
        QCOMPARE(item.value("time").toString(), QStringLiteral("2099-01-01 00:00:00"));
    }
    QCOMPARE(list.value("foreign").toInt(), 0);
    QCOMPARE(list.value("pwned").toBool(), false);
    QCOMPARE(list.value("empty").toBool(), false);
}

void MsgListTest::reloadFetchesAgain()
{
    QMsgListDialog dialog;
    QSignalSpy shown(&dialog, &QMsgListDialog::noticesShown);
    QVERIFY(shown.wait(20000));
    QVERIFY(m_service->clearRecord());
    dialog.view()->reload();
    QVERIFY(shown.wait(20000));
    QCOMPARE(shown.count(), 2);
    int fetches = 0;
    for (const QJsonValue &r : m_service->received())
        fetches += r.toObject().value("path").toString() == QLatin1String("NSVNoticeService/getSystemNoticeListByUID/json");
    QCOMPARE(fetches, 1);
    QTRY_COMPARE(readList(dialog).value("items").toArray().size(), 10);
}

void MsgListTest::refusedFetchDrawsNothing()
{
    writeKeys(QStringLiteral("stale-token"));
    QMsgListDialog dialog;
    QSignalSpy shown(&dialog, &QMsgListDialog::noticesShown);
    QVERIFY(shown.wait(20000));
    writeKeys(m_token);
    QCOMPARE(shown.first().first().toBool(), false);
    const QJsonObject list = readList(dialog);
    QCOMPARE(list.value("items").toArray().size(), 0);
    QCOMPARE(list.value("empty").toBool(), true);
}

void MsgListTest::emptyListDrawsEmptyList()
{
    QMsgListDialog dialog;
    QSignalSpy shown(&dialog, &QMsgListDialog::noticesShown);
    QVERIFY(shown.wait(20000));
    QTRY_COMPARE(readList(dialog).value("items").toArray().size(), 10);
    // The page given an empty list (as for a company without notices)
    // clears what it showed.
    const QString script = NoticeList::addLiScript(QStringLiteral(R"({"code":200,"message":"ok","data":{"item":[]}})"));
    QCOMPARE(script, QStringLiteral("addLi(\"[]\");"));
    dialog.view()->page()->runJavaScript(script);
    QTRY_COMPARE(readList(dialog).value("items").toArray().size(), 0);
    QCOMPARE(readList(dialog).value("empty").toBool(), true);
}

// Like the other dialogs with a page: opaque, and a key (Escape above all,
// on the dialog or in its page) never closes it; only its button does.
void MsgListTest::keysDoNotCloseItBackgroundIsOpaque()
{
    QMsgListDialog dialog;
    QVERIFY(!dialog.testAttribute(Qt::WA_TranslucentBackground));
    QSignalSpy shown(&dialog, &QMsgListDialog::noticesShown);
    bool upAfterKeys = false;
    QTimer::singleShot(0, &dialog, [&] {
        if (!QTest::qWaitForWindowExposed(&dialog) || !QTest::qWaitFor([&] { return shown.count() > 0; }, 20000))
            return dialog.done(5);
        for (QWidget *target : {static_cast<QWidget *>(&dialog), dialog.view()->focusProxy()}) {
            if (!target)
                continue;
            QTest::keyClick(target, Qt::Key_Escape);
            QTest::keyClick(target, Qt::Key_Return);
        }
        QTest::qWait(400);
        upAfterKeys = dialog.isVisible();
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("closeButton")), Qt::LeftButton);
    });
    const int result = dialog.exec();
    QVERIFY(upAfterKeys);
    QCOMPARE(result, int(QDialog::Rejected));
}

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    MsgListTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_msglist.moc"
