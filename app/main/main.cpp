#include "AppPaths.h"
#include "ConfigFile.h"
#include "QMsgDlg.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcStartup, "orvane.startup")

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OrvaneDesk"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/QOrvaneDesk/image/qv64.ico")));

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

    // Update check goes here.

    const int autoLogin = ConfigFile::readFlag(QStringLiteral("/userinfo/flag"));
    qCDebug(lcStartup) << "auto-login flag" << autoLogin;

    // Sign-in and the desktop are not part of this build yet.
    qCDebug(lcStartup) << "start-up ends before sign-in";
    return 0;
}
