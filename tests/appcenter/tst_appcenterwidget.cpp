#include "appcenter/window/QAppCenterWidget.h"
#include "appcenter/window/QAppRenewDlg.h"
#include "catalogue/CatalogueJson.h"
#include "core/AppPaths.h"
#include "core/Settings.h"
#include "desktop/core/LaunchPlan.h"
#include "desktop/window/QLumiqDesk.h"
#include "login/core/LoginAnswer.h"
#include "service/ServiceEnvelope.h"
#include "service/SrvInterface.h"
#include "tests/support/RefServiceProcess.h"
#include "ui/MsgBoxQueue.h"
#include "ui/QMsgDlg.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

// The app centre with the real web engine, the reference service's own
// store pages and the real bridge: what a user clicks in a page reaches
// the flows, and the page hears back.
class TestAppCenterWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void firstShowingLoadsTheFirstStorePage();
    void keywordServesOnePageLoad();
    void downloadPageStaysOnReopen();
    void closeAndReopen();
    void renewalDialogFadesIn();
    void installFromTheStorePage();
    void installAProgramFromTheStorePage();
    void uninstallFromTheUninstallPage();
    void secondInstallBringsTheRowForward();
    void messagesWaitTheirTurnAndPagesGoOn();

private:
    // The visible message boxes.
    static QList<QMsgDlg *> boxes();
    QString pageUrl() const { return m_window->view()->url().toString(); }
    bool waitForLoad();
    QVariant runScript(const QString &script);
    QPushButton *categoryButton(int index) const;
    // 记账本 (a402) installed through its store page's button, down to
    // its record on the desktop; the record, null on failure.
    DesktopAppInfoPtr installJizhang();
    QString jizhangFolder() const { return qEnvironmentVariable("XDG_DATA_HOME") + "/orvane-demo/jizhang"; }
    QString jizhangEntry() const
    {
        return qEnvironmentVariable("XDG_DATA_HOME") + "/applications/orvane-demo-jizhang.desktop";
    }
    QString jizhangShortcut() const
    {
        return qEnvironmentVariable("HOME") + QStringLiteral("/Desktop/记账本.desktop");
    }

    QScopedPointer<RefServiceProcess> m_service;
    QTemporaryDir m_dir;
    QString m_uid;
    QScopedPointer<Session> m_session;
    QScopedPointer<QAppCenterWidget> m_window;
};

void TestAppCenterWidget::initTestCase()
{
    // Installers install for "the user": one of this test's own.
    const QString home = m_dir.filePath("home");
    QVERIFY(QDir().mkpath(home + "/Desktop"));
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + "/.config").toUtf8());
    qputenv("XDG_DATA_HOME", (home + "/.local/share").toUtf8());
    qputenv("XDG_DATA_DIRS", m_dir.filePath("nothing").toUtf8());
    qputenv("ORVANE_DPKG_STATUS", m_dir.filePath("no-dpkg-status").toUtf8());
    // Message boxes answer themselves; each is logged.
    qputenv("ORVANE_AUTO_ANSWER", "confirm");
    AppPaths::setAppDirPathOverride(m_dir.path());
    QLumiqDesk::setScreenAreaOverride(QSize(1920, 1040));
}

void TestAppCenterWidget::init()
{
    // A service of its own per test: what one test installed is not on the
    // next one's list.
    m_service.reset(new RefServiceProcess);
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    AppPaths::setServerAddress(m_service->baseUrl());
    // Nothing installed by an earlier test, nor its installer kept.
    QVERIFY(QDir(jizhangFolder()).removeRecursively());
    QFile::remove(jizhangEntry());
    QFile::remove(jizhangShortcut());
    QVERIFY(QDir(m_dir.filePath("downloadApp")).removeRecursively());
    // A real sign-in: the session's links are what the service answered.
    QString answer;
    QVERIFY(SrvInterface().login("demo", "demo1234", &answer));
    const LoginAnswer::Result login = LoginAnswer::parse(answer);
    QCOMPARE(login.code, 200);
    m_uid = login.uid;
    QVERIFY(Settings::writeSignIn({login.token, login.uid, "demo", "demo1234"}));
    m_session.reset(new Session);
    m_session->userInfo = login.user;
    m_session->serviceLinks = login.links;
    QVERIFY(SrvInterface().getCloudDesktopAppFullInfo(login.uid, login.token, &answer));
    DesktopAppCatalogue catalogue;
    QVERIFY(CatalogueJson::fromAppArray(ServiceEnvelope::parse(answer).dataObject().value("app"), &catalogue));
    m_session->catalogue.reset(catalogue);

    m_window.reset(new QAppCenterWidget(*m_session));
    m_window->show();
    QVERIFY(waitForLoad());
}

void TestAppCenterWidget::cleanup()
{
    m_window.reset();
    m_session.reset();
}

bool TestAppCenterWidget::waitForLoad()
{
    QSignalSpy loaded(m_window->view(), &QWebEngineView::loadFinished);
    return loaded.wait(30000) && loaded.last().value(0).toBool();
}

QVariant TestAppCenterWidget::runScript(const QString &script)
{
    QVariant result;
    bool done = false;
    m_window->view()->page()->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&]() { return done; }, 15000))
        return QVariant();
    return result;
}

void TestAppCenterWidget::firstShowingLoadsTheFirstStorePage()
{
    QCOMPARE(m_window->pageMode(), 1);
    QCOMPARE(m_window->selectedCategory(), 0);
    QVERIFY2(pageUrl().contains("pages/appstore.html?cate_id=c1"), qPrintable(pageUrl()));
    // The store page lists the category's applications.
    QTRY_VERIFY_WITH_TIMEOUT(runScript("document.querySelectorAll('li.app').length").toInt() >= 4, 15000);
}

void TestAppCenterWidget::keywordServesOnePageLoad()
{
    auto *edit = m_window->findChild<QLineEdit *>("lineEdit");
    QVERIFY(edit);
    m_window->activateWindow();
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    edit->setText(QStringLiteral("文档"));
    m_window->on_toolButton_find_clicked();
    QVERIFY(waitForLoad());
    QVERIFY2(pageUrl().contains("keywords="), qPrintable(pageUrl()));
    QCOMPARE(edit->text(), QStringLiteral("文档"));

    // The next category click loads the plain store page.
    QList<QPushButton *> categories;
    for (QPushButton *b : m_window->findChildren<QPushButton *>()) {
        if (b->text() == m_session->serviceLinks.appCategoryLinks.value(1).first)
            categories << b;
    }
    QCOMPARE(categories.size(), 1);
    categories.first()->click();
    QVERIFY(waitForLoad());
    QVERIFY2(!pageUrl().contains("keywords="), qPrintable(pageUrl()));
    QCOMPARE(m_window->selectedCategory(), 1);
}

void TestAppCenterWidget::downloadPageStaysOnReopen()
{
    m_window->onDownload_pushButton();
    QCOMPARE(m_window->selectedCategory(), -1);
    QVERIFY(!m_window->view()->isVisible());
    QSignalSpy loads(m_window->view(), &QWebEngineView::loadStarted);
    m_window->reopen();
    QTest::qWait(500);
    QCOMPARE(loads.count(), 0);
    QVERIFY(!m_window->view()->isVisible());
    // An empty list says so.
    auto *empty = m_window->findChild<QLabel *>("label_15");
    m_window->onBeing_pushButton();
    QVERIFY(empty->isVisible());
    QCOMPARE(empty->text(), QStringLiteral("暂无正在下载的应用..."));
}

void TestAppCenterWidget::renewalDialogFadesIn()
{
    QAppRenewDlg dialog(m_service->baseUrl() + QStringLiteral("pages/renewals.html?uid="), *m_session);
    QVERIFY2(dialog.windowOpacity() < 1.0, "built without a fade-in under way");
    dialog.show();
    QTRY_COMPARE(dialog.windowOpacity(), 1.0);
}

void TestAppCenterWidget::closeAndReopen()
{
    m_window->onClose();
    QTRY_VERIFY_WITH_TIMEOUT(m_window->isHidden(), 5000);
    m_window->reopen();
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_window->windowOpacity(), 1.0);
    QVERIFY(waitForLoad());
}

void TestAppCenterWidget::installFromTheStorePage()
{
    // a404 (a web application of category c4) is in the store, not on the
    // user's list: the user presses its "安装" in the page.
    QPushButton *c4 = categoryButton(3);
    QVERIFY(c4);
    c4->click();
    QVERIFY(waitForLoad());
    QTRY_VERIFY_WITH_TIMEOUT(
        runScript("!!document.querySelector('li.app[data-app=\"a404\"] button')").toBool(), 15000);
    QVERIFY(!m_session->catalogue.findApp("a404"));
    QSignalSpy changes(&m_session->catalogue, &CatalogueStore::changed);
    runScript("document.querySelector('li.app[data-app=\"a404\"] button').click()");

    // Registered at once (nothing to download), on the desktop, and the
    // page shows its new state.
    QTRY_VERIFY_WITH_TIMEOUT(m_session->catalogue.findApp("a404"), 20000);
    QCOMPARE(m_session->catalogue.findApp("a404")->isinstall, QString("1"));
    QTRY_COMPARE_WITH_TIMEOUT(m_service->userApp(m_uid, "a404").value("is_remove").toVariant().toString(),
                              QString("1"), 10000);
    auto *finished = m_window->findChild<QListWidget *>("finishListWidget");
    QCOMPARE(finished->count(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(
        runScript("document.querySelector('li.app[data-app=\"a404\"] .actions').textContent")
            .toString().contains(QStringLiteral("从桌面移除")),
        15000);
    QVERIFY(changes.count() >= 1);
}

QPushButton *TestAppCenterWidget::categoryButton(int index) const
{
    for (QPushButton *b : m_window->findChildren<QPushButton *>()) {
        if (b->text() == m_session->serviceLinks.appCategoryLinks.value(index).first)
            return b;
    }
    return nullptr;
}

DesktopAppInfoPtr TestAppCenterWidget::installJizhang()
{
    QPushButton *c4 = categoryButton(3);
    if (!c4)
        return {};
    c4->click();
    const QString button = "document.querySelector('li.app[data-app=\"a402\"] button.primary')";
    const QString ready = "location.href.indexOf('appstore.html') >= 0"
                          " && location.href.indexOf('cate_id=c4') >= 0 && !!" + button;
    if (!QTest::qWaitFor([&]() { return runScript(ready).toBool(); }, 30000))
        return {};
    runScript(button + ".click()");
    const auto installed = [this]() {
        const DesktopAppInfoPtr app = m_session->catalogue.findApp("a402");
        return app && app->isinstall == "1";
    };
    if (!QTest::qWaitFor(installed, 90000))
        return {};
    return m_session->catalogue.findApp("a402");
}

void TestAppCenterWidget::installAProgramFromTheStorePage()
{
    // The whole road of a local program: 记账本 (a402, category c4) has an
    // installer. Pressed in the page, it is downloaded, run, found among
    // the installed software, registered with its paths and put on the
    // desktop.
    const DesktopAppInfoPtr app = installJizhang();
    QVERIFY(app);
    // The installer put its program in the user's folder and a shortcut on
    // the user's desktop. The watch may see the program first, the shortcut
    // first, or both in one look; whichever path the record ends with is
    // the one the service has.
    const QString program = jizhangFolder() + "/jizhang";
    QVERIFY(QFileInfo(program).isExecutable());
    QVERIFY(QFileInfo(jizhangShortcut()).isFile());
    QVERIFY2(app->install == jizhangShortcut() || app->install == program, qPrintable(app->install));
    QTRY_COMPARE_WITH_TIMEOUT(m_service->userApp(m_uid, "a402").value("private_exec_path").toString(),
                              app->install, 10000);
    const QJsonObject row = m_service->userApp(m_uid, "a402");
    QCOMPARE(row.value("is_install").toVariant().toString(), QString("1"));
    // The installer is kept in the application's download folder.
    QVERIFY(QFileInfo::exists(m_dir.filePath("downloadApp/a402/jizhang-setup.sh")));
}

void TestAppCenterWidget::uninstallFromTheUninstallPage()
{
    // The desktop beside the app centre, linked as start-up links them:
    // the app centre reports an uninstallation, the desktop tells the
    // service and takes the record off the catalogue.
    QLumiqDesk desk(m_session->userInfo, m_session->serviceLinks, m_session->catalogue);
    connect(m_window.data(), &QAppCenterWidget::uninstallationCompleteSlot, &desk,
            &QLumiqDesk::uninstallationCompleteSlot);
    desk.show();
    QVERIFY(QTest::qWaitForWindowExposed(&desk));
    const auto iconOnDesk = [&desk]() {
        if (!desk.popupGrid())
            return false;
        for (DragButton *b : desk.popupGrid()->buttons()) {
            if (b->appInfo() && b->appInfo()->id == "a402")
                return true;
        }
        return false;
    };
    emit desk.categoryTabs().at(3)->ELCSignal(1);
    QCOMPARE(desk.popupCategory(), QString("c4"));

    const DesktopAppInfoPtr app = installJizhang();
    QVERIFY(app);
    QTRY_VERIFY_WITH_TIMEOUT(iconOnDesk(), 10000);
    QVERIFY(QFileInfo(jizhangFolder() + "/jizhang").isExecutable());
    // What the uninstall page hands on is the uninstaller the installation
    // registered, and the service has it too.
    QCOMPARE(app->uninstall, jizhangFolder() + "/uninstall.sh");
    QTRY_COMPARE_WITH_TIMEOUT(m_service->userApp(m_uid, "a402").value("private_unload_path").toString(),
                              app->uninstall, 10000);

    // The uninstall-management page of the category, and its "卸载".
    m_window->onPushButton_unload();
    QCOMPARE(m_window->pageMode(), 2);
    QPushButton *c4 = categoryButton(3);
    QVERIFY(c4);
    c4->click();
    const QString row = "document.querySelector('li.app[data-app=\"a402\"]')";
    const QString ready = "location.href.indexOf('myapps.html') >= 0 && location.href.indexOf('cate_id=c4') >= 0"
                          " && !!" + row + " && !!" + row + ".querySelector('button')";
    QTRY_VERIFY_WITH_TIMEOUT(runScript(ready).toBool(), 30000);
    QSignalSpy reported(m_window.data(), &QAppCenterWidget::uninstallationCompleteSlot);
    runScript(row + ".querySelector('button').click()");

    // Gone from the catalogue and the desktop, from the service, from disk;
    // the page took its row away.
    QTRY_VERIFY_WITH_TIMEOUT(!m_session->catalogue.findApp("a402"), 60000);
    QCOMPARE(reported.count(), 1);
    QVERIFY(!iconOnDesk());
    QTRY_VERIFY_WITH_TIMEOUT(m_service->userApp(m_uid, "a402").isEmpty(), 10000);
    QVERIFY(!QFileInfo::exists(jizhangFolder()));
    QVERIFY(!QFileInfo::exists(jizhangEntry()));
    QVERIFY(!QFileInfo::exists(jizhangShortcut()));
    QTRY_VERIFY_WITH_TIMEOUT(!runScript("!!" + row).toBool(), 15000);
    // Shown again, the page lists what the service has: not it.
    m_window->reopen();
    QTRY_VERIFY_WITH_TIMEOUT(runScript("location.href.indexOf('myapps.html') >= 0"
                                       " && document.readyState === 'complete'"
                                       " && document.querySelectorAll('li.app').length > 0 && !" + row).toBool(),
                             30000);
    // The record itself lives on for whoever still holds it.
    QCOMPARE(app->id, QString("a402"));
}

QList<QMsgDlg *> TestAppCenterWidget::boxes()
{
    QList<QMsgDlg *> found;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMsgDlg *>(w); box && box->isVisible())
            found << box;
    return found;
}

void TestAppCenterWidget::secondInstallBringsTheRowForward()
{
    // 记账本 is offered twice (a push offer, then again from a reloaded
    // page) while its installer is still on its way.
    const QString offer = QStringLiteral(
        "{\"alias\":\"lumiqPushApp\",\"data\":{\"cate_id\":\"c4\",\"app_id\":\"a402\",\"app_name\":\"记账本\","
        "\"type\":\"2\",\"url\":\"%1\",\"icon\":\"%2\"}}")
                              .arg(m_service->installerUrl("jizhang-setup.sh"),
                                   m_service->baseUrl() + "images/app/a402/icon.png");
    QVERIFY(m_service->setStallAfter(40000));
    m_window->pushInstall(offer);
    auto *list = m_window->findChild<QListWidget *>("listWidget");
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), 1, 20000);
    // The bytes so far, wherever the download keeps them.
    const auto partialSize = [this] {
        QDirIterator it(m_dir.filePath("downloadApp"), {"jizhang-setup.sh_tmp"}, QDir::Files,
                        QDirIterator::Subdirectories);
        return it.hasNext() ? QFileInfo(it.next()).size() : qint64(-1);
    };
    QTRY_COMPARE_WITH_TIMEOUT(partialSize(), qint64(40000), 20000);
    QWidget *row = list->itemWidget(list->item(0));

    m_window->pushInstall(offer);
    QTest::qWait(500);
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->itemWidget(list->item(0)), row);
    QCOMPARE(list->currentRow(), 0);
    QVERIFY(list->isVisible());
    QCOMPARE(row->findChild<QLabel *>("labelStatus")->text(), QStringLiteral("正在下载"));
    QCOMPARE(partialSize(), qint64(40000));

    // The one download goes on to an installed application: paused and
    // continued by the user, it takes the rest after its 40000 bytes.
    auto *toggle = row->findChild<QToolButton *>("stop_start_toolButton");
    toggle->click();
    QCOMPARE(row->findChild<QLabel *>("labelStatus")->text(), QStringLiteral("停止下载"));
    QVERIFY(m_service->setStallAfter(-1));
    toggle->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_session->catalogue.findApp("a402")
                                 && m_session->catalogue.findApp("a402")->isinstall == "1",
                             90000);
    QVERIFY(QFileInfo::exists(m_dir.filePath("downloadApp/a402/jizhang-setup.sh")));
}

void TestAppCenterWidget::messagesWaitTheirTurnAndPagesGoOn()
{
    // Boxes stay until answered here.
    const QByteArray answer = qgetenv("ORVANE_AUTO_ANSWER");
    qunsetenv("ORVANE_AUTO_ANSWER");
    struct Restore
    {
        QByteArray value;
        ~Restore() { qputenv("ORVANE_AUTO_ANSWER", value); }
    } restore{answer};

    // The page asks to install two applications the service does not
    // know, each twice: each install ends in "应用添加失败！"; and to open
    // 记账本, which is not installed yet: its shortcut message.
    QTRY_VERIFY_WITH_TIMEOUT(runScript("!!(window.qt && qt.webChannelTransport)").toBool(), 20000);
    const QString present = R"({"data":{"cate_id":"c4","app_id":"zz8","app_name":"x","type":"1"}})";
    const QString refused = R"({"data":{"cate_id":"c4","app_id":"zz9","app_name":"x","type":"1"}})";
    runScript(QStringLiteral("new QWebChannel(qt.webChannelTransport, function (ch) {"
                             " var b = ch.objects.QJsInterface;"
                             " [%1, %2, %1, %2].forEach(function (r) { b.install(JSON.stringify(r)); });"
                             " b.open(JSON.stringify({data: {cate_id: 'c4', app_id: 'a402'}})); }); true")
                  .arg(present, refused));
    QTRY_COMPARE_WITH_TIMEOUT(boxes().size(), 1, 20000);
    // While the box is up, the web views go on working.
    QCOMPARE(runScript("6 * 7").toInt(), 42);

    QStringList texts;
    while (!boxes().isEmpty()) {
        QCOMPARE(boxes().size(), 1);
        QMsgDlg *box = boxes().first();
        texts << box->text();
        const QPointer<QMsgDlg> gone(box);
        box->findChild<QPushButton *>("yesButton")->click();
        QTRY_VERIFY(gone.isNull());
        // The next one, if any, follows on its own.
        QTest::qWait(300);
    }
    // Told, one box after another; the same message waiting twice is told
    // once.
    QVERIFY(!texts.isEmpty());
    QVERIFY(texts.size() <= 5);
    QCOMPARE(QSet<QString>(texts.begin(), texts.end()),
             (QSet<QString>{AppFlows::addFailed().text, brokenShortcutText()}));
}

QTEST_MAIN(TestAppCenterWidget)
#include "tst_appcenterwidget.moc"
