#include "desktop/browser/BrowserOpen.h"
#include "desktop/browser/WebEngineView.h"
#include "desktop/browser/ZBrowser.h"
#include "desktop/window/QLumiqDesk.h"
#include "push/bridge/BridgedPage.h"
#include "push/bridge/QJsInterface.h"
#include "tests/desktop/DeskFixture.h"
#include "tests/support/LoopbackSite.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QWebEngineView>
#include <QtTest>

// The bridge and the browser window with a real web engine.
class TestBridgeWeb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pageCallReachesReceiver();
    void scriptTextsArriveIntact();
    void foreignPageGetsNoBridge();
    void uncommittedNavigationLeavesNoBridge_data();
    void uncommittedNavigationLeavesNoBridge();
    void strangerFrameInOurPageGetsNoBridge();
    void newWindowLinkStaysInBrowser();
    void escapeAndMaximiseButton();
    void desktopOpensWebAppsAndShippedPages();

private:
    QString writePage(const QString &dir, const QString &name, const QByteArray &body);
    QVariant evaluate(QWebEnginePage *page, const QString &script);

    QTemporaryDir m_dir;
    QString m_client;
    QString m_foreign;
};

// The transport comes once the page is in place: the page looks for it
// for two seconds before it says it has none.
static const char kBridgeScript[] =
    "<script src=\"qwebchannel.js\"></script>\n"
    "<script>\n"
    "window.got = [];\n"
    "function echo() { window.got.push(Array.prototype.slice.call(arguments)); document.title = 'echo' + window.got.length; }\n"
    "(function look(tries) {\n"
    "  if (typeof qt !== 'undefined' && qt.webChannelTransport)\n"
    "    new QWebChannel(qt.webChannelTransport, function(ch) { window.bridge = ch.objects.QJsInterface; document.title = 'bridged'; });\n"
    "  else if (tries < 80) setTimeout(function () { look(tries + 1); }, 25);\n"
    "  else document.title = 'nobridge';\n"
    "})(0);\n"
    "</script>\n";

// What a stranger's page does with the bridge the moment it has it.
static const char kStrangerCalls[] =
    "b.install('{\"data\":{\"cate_id\":\"c4\",\"app_id\":\"a999\",\"type\":\"2\","
    "\"url\":\"' + location.origin + '/evil.sh\"}}');";

QString TestBridgeWeb::writePage(const QString &dir, const QString &name, const QByteArray &body)
{
    const QString path = dir + '/' + name;
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>loading</title></head><body>\n");
    file.write(body);
    file.write("</body></html>\n");
    return path;
}

QVariant TestBridgeWeb::evaluate(QWebEnginePage *page, const QString &script)
{
    QVariant result;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&]() { return done; }, 10000))
        qWarning("script did not answer: %s", qPrintable(script));
    return result;
}

void TestBridgeWeb::initTestCase()
{
    m_client = m_dir.filePath("OrvaneDesk");
    m_foreign = m_dir.filePath("elsewhere");
    QVERIFY(QDir().mkpath(m_client) && QDir().mkpath(m_foreign));
    const QString js = qEnvironmentVariable("ORVANE_BIN_DIR") + "/qwebchannel.js";
    QVERIFY2(QFile::exists(js), qPrintable(js));
    QVERIFY(QFile::copy(js, m_client + "/qwebchannel.js"));
    QVERIFY(QFile::copy(js, m_foreign + "/qwebchannel.js"));
    const QString foreign = writePage(m_foreign, "foreign.html", kBridgeScript);
    writePage(m_client, "bridge.html",
              QByteArray(kBridgeScript) + "<a id=\"away\" href=\"" + QUrl::fromLocalFile(foreign).toEncoded()
                  + "\">away</a>\n");
}

void TestBridgeWeb::pageCallReachesReceiver()
{
    QWebEngineView view;
    auto *page = new BridgedPage(BridgeOrigins(m_client), &view);
    view.setPage(page);
    view.resize(400, 300);
    view.show();
    view.load(QUrl::fromLocalFile(m_client + "/bridge.html"));
    QTRY_COMPARE_WITH_TIMEOUT(view.title(), QString("bridged"), 20000);
    QVERIFY(page->isBridged());

    QSignalSpy install(QJsInterface::instance(), &QJsInterface::sigInstall);
    QSignalSpy pay(QJsInterface::instance(), &QJsInterface::sigOpenPayHtml);
    const QString text = QStringLiteral("{\"app_id\":\"101\",\"name\":\"记账本 'q'\"}");
    evaluate(page, "bridge.install(" + QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact)).mid(1).chopped(1) + ")");
    QTRY_COMPARE(install.count(), 1);
    QCOMPARE(install.first().first().toString(), text);
    evaluate(page, "bridge.openPayHtml('x')");
    QTRY_COMPARE(pay.count(), 1);
    QCOMPARE(install.count(), 1);
}

void TestBridgeWeb::scriptTextsArriveIntact()
{
    QWebEngineView view;
    auto *page = new BridgedPage(BridgeOrigins(m_client), &view);
    view.setPage(page);
    view.show();
    view.load(QUrl::fromLocalFile(m_client + "/bridge.html"));
    QTRY_COMPARE_WITH_TIMEOUT(view.title(), QString("bridged"), 20000);

    const QStringList values{
        "it's", "a\"b\\c", "line\r\nbreak", "1);document.title='owned';(",
        QString("sep") + QChar(0x2028) + QChar(0x2029), QStringLiteral("年会报名"), "</script><b>", "007", ""};
    runPageScript(page, "echo", values);
    runPageScript(page, "echo", {"3", "101", "-2"});
    runPageScript(page, "alert(1);echo", {"x"});
    QTRY_COMPARE_WITH_TIMEOUT(view.title(), QString("echo2"), 10000);
    const QJsonArray got = QJsonDocument::fromJson(
        evaluate(page, "JSON.stringify(window.got)").toString().toUtf8()).array();
    QCOMPARE(got.size(), 2);
    const QJsonArray texts = got.at(0).toArray();
    QCOMPARE(texts.size(), values.size());
    for (int i = 0; i < values.size(); ++i) {
        QVERIFY2(texts.at(i).isString(), qPrintable(values.at(i)));
        QCOMPARE(texts.at(i).toString(), values.at(i));
    }
    // Ids arrive as numbers, for pages that compare them as numbers.
    const QJsonArray ids = got.at(1).toArray();
    QVERIFY(ids.at(0).isDouble());
    QCOMPARE(ids.at(0).toInt(), 3);
    QCOMPARE(ids.at(1).toInt(), 101);
    QCOMPARE(ids.at(2).toInt(), -2);
}

void TestBridgeWeb::foreignPageGetsNoBridge()
{
    QWebEngineView view;
    auto *page = new BridgedPage(BridgeOrigins(m_client), &view);
    view.setPage(page);
    view.show();
    view.load(QUrl::fromLocalFile(m_client + "/bridge.html"));
    QTRY_COMPARE_WITH_TIMEOUT(view.title(), QString("bridged"), 20000);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no bridge for .*foreign.html"));
    evaluate(page, "document.getElementById('away').click()");
    QTRY_COMPARE_WITH_TIMEOUT(view.title(), QString("nobridge"), 20000);
    QVERIFY(view.url().toString().endsWith("foreign.html"));
    QVERIFY(!page->isBridged());
    QCOMPARE(evaluate(page, "typeof qt === 'undefined' ? 'none' : typeof qt.webChannelTransport").toString(),
             QString("none"));

    // Back on our own page the bridge is there again.
    view.load(QUrl::fromLocalFile(m_client + "/bridge.html"));
    QTRY_COMPARE_WITH_TIMEOUT(view.title(), QString("bridged"), 20000);
    QVERIFY(page->isBridged());
}

void TestBridgeWeb::uncommittedNavigationLeavesNoBridge_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("byScript");
    QTest::addColumn<bool>("cancel");
    // The stranger's own page sends the view to an address of the service
    // whose answer never becomes a document, or the client loads one.
    QTest::newRow("204 from the page") << "/nothing" << true << false;
    QTest::newRow("download from the page") << "/setup.exe" << true << false;
    QTest::newRow("cancelled by the page") << "/slow.html" << true << true;
    QTest::newRow("204 loaded by the client") << "/nothing" << false << false;
}

void TestBridgeWeb::uncommittedNavigationLeavesNoBridge()
{
    QFETCH(QString, target);
    QFETCH(bool, byScript);
    QFETCH(bool, cancel);
    LoopbackSite service;
    LoopbackSite stranger;
    QVERIFY(service.isListening() && stranger.isListening());
    LoopbackSite::Answer nothing;
    nothing.status = 204;
    service.put("/nothing", nothing);
    LoopbackSite::Answer download;
    download.contentType = "application/octet-stream";
    download.headers = {{"Content-Disposition", "attachment; filename=\"setup.exe\""}};
    download.body = QByteArray(4096, 'M');
    service.put("/setup.exe", download);
    LoopbackSite::Answer slow;
    slow.delayMs = 5000;
    slow.body = "<title>slow</title>";
    service.put("/slow.html", slow);
    QVERIFY(stranger.putClientFile("/qwebchannel.js", "qwebchannel.js", "application/javascript"));
    stranger.putPage("/evil.html", LoopbackSite::strangerPage(kStrangerCalls));

    BridgeOrigins origins(m_client);
    origins.allowAddress(service.origin());
    QWebEngineView view;
    auto *page = new BridgedPage(origins, &view);
    view.setPage(page);
    view.show();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no bridge for .*evil.html"));
    QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
    view.load(QUrl(stranger.url("/evil.html")));
    QTRY_COMPARE_WITH_TIMEOUT(view.title(), QString("stranger"), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 20000);
    // Looked at and refused before anything else happens.
    QTest::qWait(300);

    QSignalSpy install(QJsInterface::instance(), &QJsInterface::sigInstall);
    const QString address = service.url(target);
    if (byScript) {
        evaluate(page, QStringLiteral("location.href = '%1'; %2; true")
                           .arg(address, cancel ? QStringLiteral("setTimeout(function () { window.stop(); }, 300)")
                                                : QString()));
    } else {
        view.load(QUrl(address));
    }
    QTRY_VERIFY_WITH_TIMEOUT(service.requested().contains(target), 20000);
    // Time for a transport to show up and for the page to use it.
    QTest::qWait(1500);
    QCOMPARE(evaluate(page, "document.title + (window.sawTransport ? ' saw the bridge' : '')").toString(),
             QString("stranger"));
    QCOMPARE(evaluate(page, "typeof qt === 'undefined' ? 'none' : typeof qt.webChannelTransport").toString(),
             QString("none"));
    QVERIFY(!page->isBridged());
    QCOMPARE(install.count(), 0);
    QCOMPARE(view.url(), QUrl(stranger.url("/evil.html")));
}

void TestBridgeWeb::strangerFrameInOurPageGetsNoBridge()
{
    LoopbackSite service;
    LoopbackSite stranger;
    QVERIFY(service.isListening() && stranger.isListening());
    QVERIFY(service.putClientFile("/qwebchannel.js", "qwebchannel.js", "application/javascript"));
    QVERIFY(stranger.putClientFile("/qwebchannel.js", "qwebchannel.js", "application/javascript"));
    stranger.putPage("/evil.html", LoopbackSite::strangerPage(kStrangerCalls));
    service.putPage("/store.html", QByteArray("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>loading</title></head><body>\n")
                                       + kBridgeScript + "<iframe src=\"" + stranger.url("/evil.html").toUtf8()
                                       + "\"></iframe></body></html>\n");
    BridgeOrigins origins(m_client);
    origins.allowAddress(service.origin());
    QWebEngineView view;
    auto *page = new BridgedPage(origins, &view);
    view.setPage(page);
    view.show();
    QSignalSpy install(QJsInterface::instance(), &QJsInterface::sigInstall);
    view.load(QUrl(service.url("/store.html")));
    QTRY_COMPARE_WITH_TIMEOUT(view.title(), QString("bridged"), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(stranger.requested().contains("/qwebchannel.js"), 20000);
    QTest::qWait(1500);
    // Our page has the bridge; the stranger's frame inside it does not.
    QVERIFY(page->isBridged());
    QCOMPARE(install.count(), 0);
}

void TestBridgeWeb::newWindowLinkStaysInBrowser()
{
    const QString second = writePage(m_client, "second.html", "<script>document.title='second'</script>");
    const QString first = writePage(m_client, "first.html",
                                    "<script>document.title='first'</script><a id=\"blank\" target=\"_blank\" href=\""
                                        + QUrl::fromLocalFile(second).toEncoded() + "\">new window</a>");
    QPointer<QWidget> window = openBrowserWindow(QUrl::fromLocalFile(first).toString());
    auto *browser = qobject_cast<ZBrowser *>(window.data());
    QVERIFY(browser);
    QVERIFY(browser->testAttribute(Qt::WA_DeleteOnClose));
    QTRY_COMPARE_WITH_TIMEOUT(browser->view()->title(), QString("first"), 20000);
    const int windows = QApplication::topLevelWidgets().size();
    evaluate(browser->view()->page(), "window.open('" + QUrl::fromLocalFile(second).toString() + "', '_blank')");
    QTRY_COMPARE_WITH_TIMEOUT(browser->view()->title(), QString("second"), 20000);
    browser->openUrl(QUrl::fromLocalFile(first).toString(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(browser->view()->title(), QString("first"), 20000);
    evaluate(browser->view()->page(), "document.getElementById('blank').click()");
    QTRY_COMPARE_WITH_TIMEOUT(browser->view()->title(), QString("second"), 20000);
    QCOMPARE(QApplication::topLevelWidgets().size(), windows);
    browser->close();
    QTRY_VERIFY(window.isNull());
}

void TestBridgeWeb::escapeAndMaximiseButton()
{
    ZBrowser browser;
    QCOMPARE(browser.size(), QSize(1200, 740));
    QVERIFY(browser.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!(browser.windowFlags() & Qt::Tool & ~Qt::Window));
    browser.openUrl(QUrl::fromLocalFile(m_client + "/second.html").toString(), QString());
    QCOMPARE(browser.findChild<QLabel *>("name_label")->text(), QStringLiteral("纳税人信息查询"));
    browser.openUrl(QUrl::fromLocalFile(m_client + "/second.html").toString(), QStringLiteral("帮助"));
    QCOMPARE(browser.findChild<QLabel *>("name_label")->text(), QStringLiteral("帮助"));
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    QTRY_COMPARE_WITH_TIMEOUT(browser.view()->title(), QString("second"), 20000);
    auto *max = browser.findChild<QPushButton *>("maxPushButton");
    const QString maxSheet = max->styleSheet();

    // Escape maximises; pressing it again keeps the window maximised and
    // the button's picture as it was.
    QAction *escape = nullptr;
    for (QAction *a : browser.view()->actions())
        if (a->shortcut() == QKeySequence(Qt::Key_Escape))
            escape = a;
    QVERIFY(escape);
    escape->trigger();
    QTRY_VERIFY(browser.isMaximized());
    escape->trigger();
    QTest::qWait(50);
    QVERIFY(browser.isMaximized());
    QCOMPARE(max->styleSheet(), maxSheet);

    max->click();
    QTRY_VERIFY(!browser.isMaximized());
    QVERIFY(max->styleSheet().contains("max.png"));
    max->click();
    QTRY_VERIFY(browser.isMaximized());
    QVERIFY(max->styleSheet().contains("max2.png"));
    QVERIFY(max->styleSheet().contains("max2_click.png"));
}

void TestBridgeWeb::desktopOpensWebAppsAndShippedPages()
{
    RefServiceProcess service;
    QVERIFY2(service.isRunning(), qPrintable(service.errorText()));
    DeskFixture fixture(service);
    QVERIFY(fixture.signedIn());
    QVERIFY(QDir().mkpath(fixture.appDir() + "/help"));
    QVERIFY(QFile::copy(qEnvironmentVariable("ORVANE_BIN_DIR") + "/help/index.html",
                        fixture.appDir() + "/help/index.html"));
    QLumiqDesk::setScreenAreaOverride(QSize(1920, 1040));
    QLumiqDesk desk(fixture.session.userInfo, fixture.session.serviceLinks, fixture.session.catalogue);
    desk.show();

    auto browsers = []() {
        QList<ZBrowser *> list;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *b = qobject_cast<ZBrowser *>(w); b && b->isVisible())
                list << b;
        return list;
    };
    auto iconOf = [&](const QString &id) -> DragButton * {
        for (DragButton *b : desk.popupGrid()->buttons())
            if (b->appInfo() && b->appInfo()->id == id)
                return b;
        return nullptr;
    };

    // 在线文档: nosign 1, so the user's app_auth follows the address as it is.
    DragButton *online = iconOf("a103");
    QVERIFY(online);
    QTest::mouseDClick(online, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTRY_COMPARE(browsers().size(), 1);
    ZBrowser *web = browsers().first();
    const QString expected = online->appInfo()->url + fixture.session.userInfo.app_auth;
    QVERIFY(fixture.session.userInfo.app_auth.startsWith("?app_auth="));
    QTRY_COMPARE_WITH_TIMEOUT(web->view()->url(), QUrl::fromUserInput(expected), 20000);
    web->close();
    QTRY_COMPARE(browsers().size(), 0);

    // 使用帮助 (生活): a page from the client folder.
    emit desk.categoryTabs().at(3)->ELCSignal(1);
    DragButton *help = iconOf("a403");
    QVERIFY(help);
    QTest::mouseDClick(help, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTRY_COMPARE(browsers().size(), 1);
    ZBrowser *page = browsers().first();
    QTRY_COMPARE_WITH_TIMEOUT(page->view()->title(), QStringLiteral("使用帮助"), 20000);
    QCOMPARE(page->view()->url(), QUrl::fromLocalFile(fixture.appDir() + "/help/index.html"));
    page->close();
}

QTEST_MAIN(TestBridgeWeb)
#include "tst_bridgeweb.moc"
