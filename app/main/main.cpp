#include "AppPaths.h"
#include "ClientFonts.h"
#include "ConfigFile.h"
#include "QLoginDialog.h"
#include "QMsgDlg.h"
#include "SingleInstance.h"
#include "StartupUpdate.h"

#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcStartup, "orvane.startup")

int main(int argc, char *argv[])
{
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

    AppPaths::setServerAddress(ConfigFile::chooseServerAddress());
    qCDebug(lcStartup) << "service address" << AppPaths::serverAddress();

    if (StartupUpdate::run() == UpdateCheck::Outcome::Accepted) {
        qCDebug(lcStartup) << "updater started, start-up ends";
        return 0;
    }

    const int autoLogin = ConfigFile::readFlag(QStringLiteral("/userinfo/flag"));
    qCDebug(lcStartup) << "auto-login flag" << autoLogin;

    // Owns the user's records; whatever reads them later must not outlive it.
    QLoginDialog loginDialog;
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

    // The desktop window takes over from here once it exists; until then a
    // successful sign-in is where start-up ends.
    qCDebug(lcStartup) << "signed in with" << loginDialog.desktopAppCatalogue().size()
                       << "categories; no desktop window in this build, start-up ends";
    return 0;
}
