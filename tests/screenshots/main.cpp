// Renders the client's windows in their usual states to PNG files:
//
//     orvane-screenshots [--wallpaper FILE] OUTPUT_DIR
//
// Translucent windows are painted onto a wallpaper, so their transparent
// parts and shadows show as they would on a desktop; opaque ones are saved
// as they render. Every file written is printed on its own line.

#include "appcenter/DownloadFinishItem.h"
#include "appcenter/DownloadItem.h"
#include "core/AppPaths.h"
#include "desktop/browser/BrowserOpen.h"
#include "desktop/window/QLumiqDesk.h"
#include "tests/desktop/DeskFixture.h"
#include "core/Settings.h"
#include "desktop/settings/QSettingDlg.h"
#include "login/core/LoginTexts.h"
#include "login/dialog/QLoginDialog.h"
#include "push/PushPopups.h"
#include "push/QAcceptMsgWidget.h"
#include "tests/screenshots/FindShots.h"
#include "tests/screenshots/Scene.h"
#include "tests/support/RefServiceProcess.h"
#include "ui/ClientFonts.h"
#include "ui/QMsgDlg.h"
#include "updater/QUpdaterDlg.h"
#ifdef ORVANE_SCREENSHOT_APPCENTRE
#include "appcenter/window/QAppCenterWidget.h"
#include "appcenter/window/QAppRenewDlg.h"
#include <QFileInfo>
#include <QListWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#endif
#ifdef ORVANE_SCREENSHOT_WEB
#include "desktop/usercenter/QUserInfoDlg.h"
#include "push/QMsgListDialog.h"
#include <QWebEngineView>
#endif

#include <QApplication>
#include <QCommandLineParser>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QLoggingCategory>
#include <QPushButton>
#include <QScreen>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

// Wallpaper showing around a translucent window.
constexpr int kMargin = 24;

class Shots
{
public:
    Shots(const QString &dir, const QImage &wallpaper)
        : m_dir(dir)
        , m_wallpaper(wallpaper)
    {
    }

    bool failed() const { return m_failed; }

    void save(const QString &name, const QImage &image)
    {
        const QString path = m_dir.filePath(name + QStringLiteral(".png"));
        if (image.isNull() || !image.save(path)) {
            fail(QStringLiteral("could not write %1").arg(path));
            return;
        }
        QTextStream(stdout) << path << '\n';
    }

    // Opaque windows as they render; translucent ones on the wallpaper.
    void save(const QString &name, QWidget *window)
    {
        if (!window->testAttribute(Qt::WA_TranslucentBackground)) {
            save(name, window->grab().toImage());
            return;
        }
        save(name, onDesktop({window}));
    }

    QImage onDesktop(const QList<QWidget *> &windows) const
    {
        const QScreen *screen = QGuiApplication::primaryScreen();
        Scene scene(m_wallpaper, screen ? screen->geometry() : QRect(0, 0, 1920, 1080));
        for (QWidget *window : windows)
            scene.add(window);
        return scene.crop(kMargin);
    }

    void fail(const QString &why)
    {
        QTextStream(stderr) << "orvane-screenshots: " << why << '\n';
        m_failed = true;
    }

private:
    QDir m_dir;
    QImage m_wallpaper;
    bool m_failed = false;
};

// Keeps the pointer off the windows, which are centred on the screen, so
// that no shot shows a hover state by chance.
void parkPointer()
{
    QCursor::setPos(0, 0);
    QTest::qWait(20);
}

bool showAndWait(QWidget *window)
{
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return false;
    // Lets the fade-in end, so that nothing painted later differs.
    QTest::qWait(250);
    return true;
}

// Moves the pointer onto a child, so that it shows its hover picture. On a
// platform that cannot move the pointer the shot is left out.
void hoverShot(Shots &shots, QWidget *window, const char *child, const QString &name)
{
    auto *target = window->findChild<QWidget *>(QLatin1String(child));
    if (!target)
        return shots.fail(QStringLiteral("%1 has no %2").arg(window->objectName(), child));
    QCursor::setPos(target->mapToGlobal(target->rect().center()));
    if (QTest::qWaitFor([target]() { return target->underMouse(); }, 2000)) {
        QTest::qWait(50);
        shots.save(name, window);
    } else {
        QTextStream(stderr) << "orvane-screenshots: no pointer here, " << name << " left out\n";
    }
    parkPointer();
}

void messageBoxes(Shots &shots)
{
    struct State
    {
        const char *name;
        QString title;
        QString text;
        bool hovers;
    };
    const State states[] = {
        {"QMsgDlg-short", LoginTexts::title(), LoginTexts::requestFailed(), true},
        {"QMsgDlg-long", LoginTexts::title(), LoginTexts::offlineMismatch(), false},
        // A question without the leading line break, and a text that needs
        // more lines than the label was drawn for.
        {"QMsgDlg-question", QStringLiteral("更新提示"), QStringLiteral("发现新版本，是否立即更新？"), false},
        {"QMsgDlg-overflow", LoginTexts::title(),
         QStringLiteral("\r\n应用“办公套件专业版”的安装程序没有在规定时间内完成，"
                        "请检查网络连接与磁盘空间后重新下载安装，或者联系公司管理员。"),
         false},
    };
    for (const State &state : states) {
        QMsgDlg box(state.title, state.text);
        if (!showAndWait(&box)) {
            shots.fail(QStringLiteral("%1 was never shown").arg(state.name));
            continue;
        }
        shots.save(QLatin1String(state.name), &box);
        if (state.hovers) {
            hoverShot(shots, &box, "closeButton", QStringLiteral("QMsgDlg-close-hover"));
            hoverShot(shots, &box, "yesButton", QStringLiteral("QMsgDlg-confirm-hover"));
        }
    }
}

// A login dialog reading its Config.ini from a folder of its own.
class LoginFixture
{
public:
    explicit LoginFixture(const QByteArray &config = QByteArray())
    {
        AppPaths::setAppDirPathOverride(m_dir.path());
        if (!config.isEmpty()) {
            QFile file(m_dir.filePath(QStringLiteral("Config.ini")));
            if (file.open(QIODevice::WriteOnly))
                file.write(config);
        }
        dialog.reset(new QLoginDialog(session));
    }
    ~LoginFixture()
    {
        dialog.reset();
        AppPaths::setAppDirPathOverride(QString());
    }

    QLineEdit *account() const { return dialog->findChild<QLineEdit *>(QStringLiteral("accountLineEdit")); }
    QLineEdit *password() const { return dialog->findChild<QLineEdit *>(QStringLiteral("pwdLineEdit")); }
    QPushButton *loginButton() const { return dialog->findChild<QPushButton *>(QStringLiteral("loginButton")); }

    QTemporaryDir m_dir;
    Session session;
    QScopedPointer<QLoginDialog> dialog;
};

void loginDialog(Shots &shots)
{
    // Nothing listens here: a login attempt is refused at once.
    AppPaths::setServerAddress(QStringLiteral("http://127.0.0.1:9/"));

    {
        LoginFixture login;
        if (!showAndWait(login.dialog.data()))
            return shots.fail(QStringLiteral("the login dialog was never shown"));
        shots.save(QStringLiteral("QLoginDialog-empty"), login.dialog.data());
        hoverShot(shots, login.dialog.data(), "loginButton", QStringLiteral("QLoginDialog-login-hover"));
        hoverShot(shots, login.dialog.data(), "closeButton", QStringLiteral("QLoginDialog-close-hover"));
    }
    {
        // Filled from the remembered account, as on every start after the first.
        LoginFixture login("[userinfo]\nrember=1\nusername=13800138000\nuserpwd=demo1234\n");
        if (!showAndWait(login.dialog.data()))
            return shots.fail(QStringLiteral("the login dialog was never shown"));
        shots.save(QStringLiteral("QLoginDialog-filled"), login.dialog.data());
    }
    {
        // Typing into the account field: the field has the focus picture.
        LoginFixture login;
        if (!showAndWait(login.dialog.data()))
            return shots.fail(QStringLiteral("the login dialog was never shown"));
        QApplication::setActiveWindow(login.dialog.data());
        login.account()->setFocus();
        QTest::keyClicks(login.account(), QStringLiteral("demo"));
        QTest::qWait(50);
        shots.save(QStringLiteral("QLoginDialog-typing"), login.dialog.data());
    }
    {
        // A login against the silent address: while its message box is up
        // the dialog still shows the attempt (controls disabled, spinner).
        LoginFixture login;
        login.account()->setText(QStringLiteral("demo"));
        login.password()->setText(QStringLiteral("demo1234"));
        if (!showAndWait(login.dialog.data()))
            return shots.fail(QStringLiteral("the login dialog was never shown"));

        bool seen = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&]() {
            QMsgDlg *box = nullptr;
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (auto *candidate = qobject_cast<QMsgDlg *>(widget); candidate && candidate->isVisible())
                    box = candidate;
            }
            // The waits below run the event loop, and with it this timer.
            if (!box || seen)
                return;
            seen = true;
            poll.stop();
            if (!QTest::qWaitForWindowExposed(box))
                shots.fail(QStringLiteral("the login message box was never shown"));
            QTest::qWait(250);
            shots.save(QStringLiteral("QLoginDialog-loading"), login.dialog.data());
            shots.save(QStringLiteral("QLoginDialog-message"), shots.onDesktop({login.dialog.data(), box}));
            box->findChild<QPushButton *>(QStringLiteral("yesButton"))->click();
        });
        poll.start(20);
        // Clicked with the mouse, as most people do: the pointer stays on the
        // button while it is disabled.
        QPushButton *button = login.loginButton();
        QCursor::setPos(button->mapToGlobal(button->rect().center()));
        if (!QTest::qWaitFor([button]() { return button->underMouse(); }, 2000))
            QTextStream(stderr) << "orvane-screenshots: no pointer here, the login button is not hovered\n";
        // Runs the whole attempt, message box included.
        button->click();
        parkPointer();
        if (!seen)
            shots.fail(QStringLiteral("the login attempt ended without a message box"));
    }
    AppPaths::setServerAddress(QString());
}

DragButton *iconOf(QLumiqDesk &desk, const QString &appId)
{
    if (!desk.popupGrid())
        return nullptr;
    for (DragButton *b : desk.popupGrid()->buttons()) {
        if (b->appInfo() && b->appInfo()->id == appId)
            return b;
    }
    return nullptr;
}

// The right-hand part of the desktop, where the top bar, tabs and grid are,
// at full size.
QImage rightPart(const QImage &screen)
{
    const int r = qRound(screen.devicePixelRatio());
    return screen.copy(QRect(screen.width() - 620 * r, 0, 620 * r, 520 * r));
}

void sendMouse(QWidget *w, QEvent::Type type, const QPoint &pos, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, pos, w->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// The demo user's desktop, signed in to the reference service.
void desktop(Shots &shots)
{
    RefServiceProcess service;
    if (!service.isRunning())
        return shots.fail(QStringLiteral("reference service: %1").arg(service.errorText()));
    DeskFixture fixture(service);
    if (!fixture.signedIn())
        return shots.fail(QStringLiteral("the demo account did not sign in"));
    Settings::setDesktopWallpaper(Scene::wallpaperPath());
    QLumiqDesk::setScreenAreaOverride(QSize(1920, 1040));
    QLumiqDesk desk(fixture.session.userInfo, fixture.session.serviceLinks, fixture.session.catalogue);
    desk.move(0, 0);
    if (!showAndWait(&desk) || !desk.popupGrid())
        return shots.fail(QStringLiteral("the desktop was never shown"));
    QTest::qWait(100);

    auto scene = [&](const QList<QWidget *> &extra = {}) {
        QList<QWidget *> windows{&desk};
        if (desk.popupGrid())
            windows << desk.popupGrid();
        windows << extra;
        return shots.onDesktop(windows);
    };
    const QImage whole = scene();
    shots.save(QStringLiteral("QLumiqDesk"), whole);
    shots.save(QStringLiteral("QLumiqDesk-grid"), rightPart(whole));

    // A category of two applications: the add button takes the third cell.
    emit desk.categoryTabs().at(1)->ELCSignal(1);
    QTest::qWait(100);
    shots.save(QStringLiteral("QLumiqDesk-small-grid"), rightPart(scene()));
    emit desk.firstTab()->ELCSignal(1);
    QTest::qWait(100);

    // Hovered: the icon grows to full size.
    if (DragButton *excel = iconOf(desk, QStringLiteral("a102"))) {
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(excel, &enter);
        if (!QTest::qWaitFor([excel]() { return excel->scale() >= 1.0; }, 2000))
            shots.fail(QStringLiteral("the hovered icon never grew"));
        shots.save(QStringLiteral("QLumiqDesk-hover"), rightPart(scene()));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(excel, &leave);
        if (!QTest::qWaitFor([excel]() { return excel->scale() <= DragButton::kBaseScale; }, 2000))
            shots.fail(QStringLiteral("the icon never shrank back"));
    }

    // Dragged: Word held between the second row's cells, the others making room.
    if (DragButton *word = iconOf(desk, QStringLiteral("a101"))) {
        sendMouse(word, QEvent::MouseButtonPress, QPoint(30, 30), Qt::LeftButton);
        sendMouse(word, QEvent::MouseMove, QPoint(75, 120), Qt::LeftButton);
        QTest::qWait(50);
        shots.save(QStringLiteral("QLumiqDesk-drag"), rightPart(scene()));
        sendMouse(word, QEvent::MouseButtonRelease, QPoint(75, 120), Qt::NoButton);
        QTest::qWait(50);
        shots.save(QStringLiteral("QLumiqDesk-dropped"), rightPart(scene()));
    }

    // The icon's context menu.
    if (DragButton *online = iconOf(desk, QStringLiteral("a103"))) {
        QMenu *menu = desk.iconMenu();
        menu->popup(online->mapToGlobal(QPoint(online->width() / 2, online->height() / 2)));
        if (QTest::qWaitForWindowExposed(menu)) {
            QTest::qWait(100);
            shots.save(QStringLiteral("QLumiqDesk-menu"), rightPart(scene({menu})));
        } else {
            shots.fail(QStringLiteral("the icon menu was never shown"));
        }
        menu->hide();
    }

    // A web application in the built-in browser.
    QWidget *browser = openBrowserWindow(service.baseUrl() + QStringLiteral("apps/a103/index.html"));
    if (browser) {
        browser->move(200, 120);
        if (!QTest::qWaitForWindowExposed(browser))
            shots.fail(QStringLiteral("the browser window was never shown"));
        QTest::qWait(2500);
        shots.save(QStringLiteral("ZBrowser"), browser->grab().toImage());
        browser->close();
        QTest::qWait(100);
    }
}

QString pushMessage(const QString &alias, const QJsonObject &data)
{
    return QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("alias"), alias},
                                                       {QStringLiteral("uuid"), QStringLiteral("shot")},
                                                       {QStringLiteral("data"), data}})
                                 .toJson(QJsonDocument::Compact));
}

// The pop-ups in the bottom-right corner and the message centre, with
// pictures and notices from a reference service of their own.
void pushWindows(Shots &shots)
{
    RefServiceProcess service;
    if (!service.isRunning())
        return shots.fail(QStringLiteral("no reference service: %1").arg(service.errorText()));
    QTemporaryDir appDir;
    AppPaths::setAppDirPathOverride(appDir.path());
    AppPaths::setServerAddress(service.baseUrl());

    {
        QAcceptMsgWidget popup(pushMessage(
            QStringLiteral("lumiqPushNotice"),
            {{QStringLiteral("title"), QStringLiteral("系统维护通知")},
             {QStringLiteral("content"), QStringLiteral("本周六 22:00 至 24:00 进行系统维护，期间云桌面暂停服务，"
                                                        "请提前保存好手头的工作。维护结束后无需重新登录。")}}));
        popup.moveToCorner();
        if (!showAndWait(&popup))
            return shots.fail(QStringLiteral("the notice pop-up was never shown"));
        shots.save(QStringLiteral("QAcceptMsgWidget-notice"), &popup);
        hoverShot(shots, &popup, "moreButton", QStringLiteral("QAcceptMsgWidget-more-hover"));
    }
    {
        // What a flood leaves beyond the pop-ups shown: one summing up the rest.
        QAcceptMsgWidget popup{QString()};
        popup.showSummary(PushPopups::summaryText(1997));
        popup.moveToCorner();
        if (!showAndWait(&popup))
            return shots.fail(QStringLiteral("the summary pop-up was never shown"));
        shots.save(QStringLiteral("QAcceptMsgWidget-summary"), &popup);
    }
    for (const QString &price : {QString(), QStringLiteral("¥ 29.90 / 年")}) {
        QAcceptMsgWidget popup(pushMessage(
            QStringLiteral("lumiqPushApp"),
            {{QStringLiteral("app_id"), QStringLiteral("a303")},
             {QStringLiteral("name"), QStringLiteral("接口文档")},
             {QStringLiteral("desc"), QStringLiteral("服务接口说明，开发同事人手一份；支持全文搜索与离线阅读。")},
             {QStringLiteral("price"), price},
             {QStringLiteral("icon"), service.baseUrl() + QStringLiteral("images/app/a303/icon.png")}}));
        QSignalSpy picture(&popup, &QAcceptMsgWidget::pictureSettled);
        popup.moveToCorner();
        if (!showAndWait(&popup) || (picture.isEmpty() && !picture.wait(10000)))
            return shots.fail(QStringLiteral("the offer pop-up was never complete"));
        QTest::qWait(50);
        shots.save(price.isEmpty() ? QStringLiteral("QAcceptMsgWidget-offer-free")
                                   : QStringLiteral("QAcceptMsgWidget-offer-priced"),
                   &popup);
        if (price.isEmpty())
            hoverShot(shots, &popup, "installButton", QStringLiteral("QAcceptMsgWidget-install-hover"));
    }

#ifdef ORVANE_SCREENSHOT_WEB
    {
        // The message centre reads the keys of a signed-in user.
        const auto credentials = service.demoCredentials();
        QDir(appDir.path()).mkpath(QStringLiteral("cloudNew"));
        QFile::copy(QStringLiteral(ORVANE_CLIENT_DIR "/cloudNew/index.html"),
                    appDir.filePath(QStringLiteral("cloudNew/index.html")));
        Settings::writeSignIn({credentials.second, credentials.first, QStringLiteral("demo"),
                               QStringLiteral("demo1234")});
        service.push({{QStringLiteral("uid"), credentials.first},
                      {QStringLiteral("kind"), QStringLiteral("notice")},
                      {QStringLiteral("title"), QStringLiteral("欢迎使用消息中心")},
                      {QStringLiteral("content"), QStringLiteral("系统通知会在这里保留。\n第二行：换行照常显示。")},
                      {QStringLiteral("created"), QStringLiteral("2026-12-12 20:00:00")}});
        QMsgListDialog dialog;
        QSignalSpy shown(&dialog, &QMsgListDialog::noticesShown);
        if (!showAndWait(&dialog) || (shown.isEmpty() && !shown.wait(20000)))
            return shots.fail(QStringLiteral("the message centre got no notices"));
        // The page draws after the call; give it a few frames.
        QTest::qWait(800);
        shots.save(QStringLiteral("QMsgListDialog"), &dialog);
    }
#endif
    AppPaths::setServerAddress(QString());
    AppPaths::setAppDirPathOverride(QString());
}

void wallpaperDialog(Shots &shots)
{
    QSettingDlg dialog;
    if (!showAndWait(&dialog))
        return shots.fail(QStringLiteral("the wallpaper dialog was never shown"));
    shots.save(QStringLiteral("QSettingDlg"), &dialog);
    hoverShot(shots, &dialog, "strawberryButton", QStringLiteral("QSettingDlg-thumbnail-hover"));
    hoverShot(shots, &dialog, "closeButton", QStringLiteral("QSettingDlg-close-hover"));
}

#ifdef ORVANE_SCREENSHOT_WEB
void userCentre(Shots &shots)
{
    // The demo user's page, served by a reference service of its own.
    RefServiceProcess service;
    if (!service.isRunning())
        return shots.fail(QStringLiteral("no reference service: %1").arg(service.errorText()));
    LoginUserInfo user;
    user.user_center = service.baseUrl() + QStringLiteral("pages/user_center.html?uid=")
                       + service.demoCredentials().first;
    // The page only needs an object to talk to; nothing is clicked here.
    QObject bridge;
    BridgeOrigins origins;
    origins.allowAddress(service.baseUrl());
    QUserInfoDlg dialog(user, origins, &bridge);
    bool loaded = false;
    QObject::connect(dialog.view(), &QWebEngineView::loadFinished, [&loaded](bool ok) { loaded = ok; });
    if (!showAndWait(&dialog))
        return shots.fail(QStringLiteral("the user centre was never shown"));
    if (!QTest::qWaitFor([&loaded]() { return loaded; }, 30000))
        return shots.fail(QStringLiteral("the user page did not load"));
    // Lets the avatar arrive and the page paint.
    QTest::qWait(1000);
    shots.save(QStringLiteral("QUserInfoDlg"), &dialog);
}
#endif

// A server that sends the first part of a large installer and then
// nothing more, so that rows stay mid-download.
class StalledServer : public QTcpServer
{
public:
    StalledServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    socket->readAll();
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 48234496\r\nETag: \"s1\"\r\n\r\n");
                    socket->write(QByteArray(19 * 1024 * 1024, '#'));
                });
            }
        });
        listen(QHostAddress::LocalHost);
    }
    QString url(const QString &name) const
    {
        return QStringLiteral("http://127.0.0.1:%1/downloads/%2").arg(serverPort()).arg(name);
    }
};

void downloadRows(Shots &shots)
{
    QTemporaryDir dir;
    StalledServer server;
    const QString icon = QStringLiteral(":/QOrvaneDesk/image/qv64.ico");
    auto app = [&](const QString &name, const QString &url) {
        auto record = DesktopAppInfoPtr::create();
        record->name = name;
        record->icon = icon;
        record->type = QStringLiteral("2");
        record->url = url;
        return record;
    };
    auto row = [&](const DesktopAppInfoPtr &record) {
        auto *job = new DownloadJob(record, dir.path());
        job->manager()->setLauncher([](const QString &) { return true; });
        return new DownloadItem(nullptr, record, 1, job);
    };
    auto received = [](DownloadItem *item) {
        return QTest::qWaitFor([item] { return item->job()->manager()->bytesReceived() > 0; }, 5000);
    };

    QScopedPointer<DownloadItem> downloading(row(app(QStringLiteral("速绘画板"), server.url(QStringLiteral("suhui-setup.sh")))));
    if (!showAndWait(downloading.data()) || !received(downloading.data()))
        return shots.fail(QStringLiteral("the download row never received data"));
    QTest::qWait(1300); // a speed measured over more than one interval
    shots.save(QStringLiteral("DownloadItem-downloading"), downloading.data());

    QScopedPointer<DownloadItem> paused(row(app(QStringLiteral("记账本"), server.url(QStringLiteral("jizhang-setup.sh")))));
    if (!showAndWait(paused.data()) || !received(paused.data()))
        return shots.fail(QStringLiteral("the paused row never received data"));
    paused->job()->pause();
    QTest::qWait(50);
    shots.save(QStringLiteral("DownloadItem-paused"), paused.data());

    // An address that names no file fails at once, in red.
    QScopedPointer<DownloadItem> failed(row(app(QStringLiteral("终端助手"), server.url(QString()))));
    if (!showAndWait(failed.data())
        || !QTest::qWaitFor([&] { return failed->job()->state() == DownloadJob::State::Failed; }, 5000))
        return shots.fail(QStringLiteral("the failing row never failed"));
    QTest::qWait(50);
    shots.save(QStringLiteral("DownloadItem-failed"), failed.data());

    DownloadFinishItem finished(icon, QStringLiteral("速绘画板"), 2);
    if (!showAndWait(&finished))
        return shots.fail(QStringLiteral("the finished row was never shown"));
    shots.save(QStringLiteral("DownloadFinishItem"), &finished);
    downloading->job()->cancel();
    paused->job()->cancel();
}


#ifdef ORVANE_SCREENSHOT_APPCENTRE
// True once the view shows a page whose address contains part, fully
// loaded, with its rows (or its empty note) and every picture drawn.
bool pageReady(QWebEngineView *view, const QString &part, int timeoutMs = 30000)
{
    const QString script = QStringLiteral(
        "location.href.indexOf('%1') >= 0 && document.readyState === 'complete'"
        " && (document.querySelectorAll('li.app').length > 0 || !!document.querySelector('.empty'))"
        " && Array.from(document.images).every(function (i) { return i.complete; })").arg(part);
    const bool ready = QTest::qWaitFor([&]() {
        // The answer may come after a look gave up waiting for it.
        auto answer = std::make_shared<QVariant>();
        view->page()->runJavaScript(script, [answer](const QVariant &v) { *answer = v; });
        return QTest::qWaitFor([answer]() { return answer->isValid(); }, 2000) && answer->toBool();
    }, timeoutMs);
    // A few frames for the page to paint what it has.
    QTest::qWait(ready ? 400 : 0);
    return ready;
}

// The app centre of the demo user: the store and uninstall-management
// pages, the download page with rows in both lists, and the renewal dialog
// beside the window, as its button opens it.
void appCentre(Shots &shots)
{
    RefServiceProcess service;
    if (!service.isRunning())
        return shots.fail(QStringLiteral("reference service: %1").arg(service.errorText()));
    DeskFixture fixture(service);
    if (!fixture.signedIn())
        return shots.fail(QStringLiteral("the demo account did not sign in"));
    // Rows that stay mid-download, from a server that stops sending.
    StalledServer stalled;

    QAppCenterWidget centre(fixture.session);
    if (!showAndWait(&centre))
        return shots.fail(QStringLiteral("the app centre was never shown"));
    if (!pageReady(centre.view(), QStringLiteral("appstore.html")))
        return shots.fail(QStringLiteral("the store page did not load"));
    shots.save(QStringLiteral("QAppCenterWidget-store"), &centre);

    // A category with an application still to install and the others
    // already on the desktop.
    const auto categories = fixture.session.serviceLinks.appCategoryLinks;
    for (QPushButton *b : centre.findChildren<QPushButton *>()) {
        if (categories.size() > 3 && b->text() == categories.at(3).first)
            b->click();
    }
    if (pageReady(centre.view(), QStringLiteral("cate_id=c4")))
        shots.save(QStringLiteral("QAppCenterWidget-store-category"), &centre);
    else
        shots.fail(QStringLiteral("the store page of the fourth category did not load"));

    centre.onPushButton_unload();
    if (pageReady(centre.view(), QStringLiteral("myapps.html")))
        shots.save(QStringLiteral("QAppCenterWidget-myapps"), &centre);
    else
        shots.fail(QStringLiteral("the uninstall-management page did not load"));

    // The download page: empty, then with rows in both lists.
    centre.onDownload_pushButton();
    centre.onBeing_pushButton();
    QTest::qWait(50);
    shots.save(QStringLiteral("QAppCenterWidget-downloads-empty"), &centre);

    const auto record = [&](const QString &appId, const QString &url) {
        const DesktopAppInfoPtr known = fixture.session.catalogue.findApp(appId);
        auto copy = known ? DesktopAppInfoPtr::create(*known) : DesktopAppInfoPtr::create();
        copy->url = url;
        return copy;
    };
    for (const QString &id : {QStringLiteral("a201"), QStringLiteral("a302"), QStringLiteral("a402")}) {
        const DesktopAppInfoPtr app = fixture.session.catalogue.findApp(id);
        if (!app)
            return shots.fail(QStringLiteral("the demo catalogue has no %1").arg(id));
        centre.startDownLoadApp(record(id, stalled.url(QFileInfo(app->url).fileName())));
    }
    const QList<DownloadItem *> rows = centre.findChildren<DownloadItem *>();
    const bool receiving = rows.size() == 3 && QTest::qWaitFor([&rows]() {
        for (DownloadItem *row : rows) {
            if (row->job()->manager()->bytesReceived() <= 0)
                return false;
        }
        return true;
    }, 10000);
    if (!receiving)
        return shots.fail(QStringLiteral("the app centre's download rows never received data"));
    // A speed measured over more than one interval; one row paused.
    QTest::qWait(1300);
    rows.last()->job()->pause();
    QTest::qWait(50);
    centre.onBeing_pushButton();
    shots.save(QStringLiteral("QAppCenterWidget-downloading"), &centre);

    // Finished downloads, as a row that completed hands them over (the
    // watch for their installation finds nothing here and ends with the
    // window).
    for (const QString &id : {QStringLiteral("a201"), QStringLiteral("a302")})
        centre.addFinishListWidget(0, record(id, QString()), 2);
    centre.onFinish_pushButton();
    QTest::qWait(50);
    shots.save(QStringLiteral("QAppCenterWidget-finished"), &centre);
    for (DownloadItem *row : rows)
        row->job()->cancel();

    // The renewal dialog where the window's button puts it.
    centre.onPushButton_app();
    pageReady(centre.view(), QStringLiteral("appstore.html"));
    QAppRenewDlg renew(fixture.session.serviceLinks.appRenewals + QStringLiteral("?uid=") + Settings::uid(),
                       fixture.session);
    renew.move(centre.geometry().right() + 5, centre.geometry().top());
    if (!showAndWait(&renew) || !pageReady(renew.view(), QStringLiteral("renewals.html")))
        return shots.fail(QStringLiteral("the renewal dialog's page did not load"));
    shots.save(QStringLiteral("QAppRenewDlg"), &renew);
    shots.save(QStringLiteral("QAppCenterWidget-renew"), shots.onDesktop({&centre, &renew}));
}
#endif
} // namespace

// The updater's window through its steps, and the box of a refused package.
void updaterWindow(Shots &shots)
{
    UpdateFlow::Options options;
    options.clientDir = QDir::tempPath() + QStringLiteral("/orvane-screenshots-client");
    options.version = QStringLiteral("9.9.9");
    UpdateFlow flow(options);
    QUpdaterDlg window(&flow);
    if (!showAndWait(&window))
        return shots.fail(QStringLiteral("the updater window was never shown"));
    window.showState(UpdateFlow::State::WaitingForClient);
    shots.save(QStringLiteral("QUpdaterDlg-waiting"), &window);
    window.showState(UpdateFlow::State::Downloading);
    window.showDownload(9 << 20, 24 << 20, 3 << 20, 5);
    shots.save(QStringLiteral("QUpdaterDlg-downloading"), &window);
    window.showState(UpdateFlow::State::Unpacking);
    QTest::qWait(100);
    shots.save(QStringLiteral("QUpdaterDlg-unpacking"), &window);

    UpdateFlow::Result refused;
    refused.error = UpdateFlow::Error::Signature;
    QMsgDlg box(QStringLiteral("更新提示"), refused.message());
    if (!showAndWait(&box))
        return shots.fail(QStringLiteral("the updater's box was never shown"));
    shots.save(QStringLiteral("QMsgDlg-update-refused"), &box);
}

int main(int argc, char *argv[])
{
    // The browser window's web engine: no sandbox under the virtual X
    // server, GL contexts shared with ours.
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    installClientFontSubstitutes();
    // The windows' own diagnostics would bury the list of files written.
    QLoggingCategory::setFilterRules(QStringLiteral("orvane.*.debug=false"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Saves the client's windows as PNG files."));
    parser.addHelpOption();
    const QCommandLineOption wallpaperOption(
        QStringLiteral("wallpaper"), QStringLiteral("Picture behind translucent windows."),
        QStringLiteral("file"), QStringLiteral(ORVANE_DEFAULT_WALLPAPER));
    parser.addOption(wallpaperOption);
    parser.addPositionalArgument(QStringLiteral("output"), QStringLiteral("Folder for the PNG files."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    const QString out = parser.positionalArguments().constFirst();
    if (!QDir().mkpath(out)) {
        QTextStream(stderr) << "orvane-screenshots: cannot create " << out << '\n';
        return 1;
    }
    const QImage wallpaper(parser.value(wallpaperOption));
    if (wallpaper.isNull()) {
        QTextStream(stderr) << "orvane-screenshots: cannot read the wallpaper "
                            << parser.value(wallpaperOption) << '\n';
        return 1;
    }

    Scene::setWallpaperPath(parser.value(wallpaperOption));
    Shots shots(out, wallpaper);
    parkPointer();
    messageBoxes(shots);
    loginDialog(shots);
    desktop(shots);
    desktopFindShots({[&](const QString &name, const QImage &image) { shots.save(name, image); },
                      [&](const QList<QWidget *> &windows) { return shots.onDesktop(windows); },
                      [&](const QString &why) { shots.fail(why); }});
    wallpaperDialog(shots);
#ifdef ORVANE_SCREENSHOT_WEB
    userCentre(shots);
#endif
    pushWindows(shots);
    downloadRows(shots);
    updaterWindow(shots);
#ifdef ORVANE_SCREENSHOT_APPCENTRE
    appCentre(shots);
#endif
    return shots.failed() ? 1 : 0;
}
