#include "app/main/AppCentreLink.h"
#include "app/update/StartupLog.h"
#include "app/update/StartupUpdate.h"
#include "app/update/WindowSystemChoice.h"
#include "core/AppPaths.h"
#include "core/Settings.h"
#include "core/SingleInstance.h"
#include "desktop/window/QLumiqDesk.h"
#include "login/dialog/QLoginDialog.h"
#include "ui/ClientFonts.h"
#include "ui/QMsgDlg.h"
#include "updater/core/UpdateJournal.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

int main(int argc, char *argv[])
{
    // Before the application object: it connects to the window system.
    WindowSystemChoice::apply();
    // The built-in browser's web engine shares its GL contexts with ours.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OrvaneDesk"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/QOrvaneDesk/image/qv64.ico")));
    installClientFontSubstitutes();

    // Held until main returns, so a second start at any stage is refused.
    SingleInstance instance(QStringLiteral("OrvaneDesk"));
    if (!instance.tryAcquire()) {
        QMsgDlg box(QStringLiteral("启动提示"),
                    QStringLiteral("应用程序每次只能运行一个实例，请先关闭已打开实例！"));
        box.exec();
        return 0;
    }

    // An update that was cut short after its swap is finished here: this
    // client runs, so the old folder kept aside can go.
    UpdateJournal::settleAtStart(AppPaths::appDirPath());

    AppPaths::setServerAddress(Settings::chooseServerAddress());
    qCDebug(lcStartup) << "service address" << AppPaths::serverAddress();

    if (StartupUpdate::run() == UpdateCheck::Outcome::Accepted) {
        qCDebug(lcStartup) << "updater started, start-up ends";
        return 0;
    }

    const int autoLogin = Settings::autoLoginFlag();
    qCDebug(lcStartup) << "auto-login flag" << autoLogin;

    // The user's records; every window after the sign-in reads them.
    Session session;
    QLoginDialog loginDialog(session);
    bool signedIn = false;
    if (autoLogin == 1) {
        loginDialog.hide();
        signedIn = loginDialog.login();
        if (!signedIn) {
            qCDebug(lcStartup) << "automatic sign-in failed, showing the login dialog";
            signedIn = loginDialog.exec() == QDialog::Accepted;
        }
    } else {
        signedIn = loginDialog.exec() == QDialog::Accepted;
    }
    if (!signedIn) {
        qCDebug(lcStartup) << "login dialog closed, start-up ends";
        return 0;
    }

    qCDebug(lcStartup) << "signed in with" << session.catalogue.categoryCount() << "categories";

    // The desktop is a tool window; closing the last ordinary window (a
    // browser window, say) must not end the client.
    QApplication::setQuitOnLastWindowClosed(false);
    QLumiqDesk desk(session.userInfo, session.serviceLinks, session.catalogue);
    linkAppCentre(desk, session);
    desk.show();
    qCDebug(lcStartup) << "desktop shown with" << desk.categoryTabs().size() << "category tabs"
                       << (desk.popupGrid() ? "and the first category open" : "and no grid");

    // Test hook: ORVANE_QUIT_WHEN_SHOWN=1 ends the event loop as soon as it
    // runs, so a process-level test sees the desktop come up and the exit
    // code of the loop. Unset outside tests.
    if (qEnvironmentVariable("ORVANE_QUIT_WHEN_SHOWN") == QLatin1String("1"))
        QTimer::singleShot(0, &app, &QApplication::quit);

    const int result = app.exec();
    qCDebug(lcStartup) << "event loop ended with" << result;
    return result;
}
