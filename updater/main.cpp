// UpdaterNew: installs the version the client offered (UpdaterVer.ini's
// "mainver" and "fileurl"). The client starts it with no arguments from
// its own folder and ends; this program waits for that, installs, and
// starts the client again: the new one, or the old one after a failure.

#include "core/AppPaths.h"
#include "core/Settings.h"
#include "ui/ClientFonts.h"
#include "ui/QMsgDlg.h"
#include "updater/QUpdaterDlg.h"
#include "updater/UpdaterView.h"
#include "updater/core/UpdateFlow.h"
#include "updater/core/UpdateKey.h"
#include "updater/core/UpdaterLog.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("UpdaterNew"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/QOrvaneDesk/image/qv64.ico")));
    installClientFontSubstitutes();

    UpdateFlow::Options options;
    options.clientDir = AppPaths::appDirPath();
    options.version = Settings::offeredVersion();
    options.url = Settings::offeredUrl();
    options.publicKey = UpdateKey::builtIn();
    // Test hook: stop for good at a point of the flow, to be killed there.
    options.holdAt = qEnvironmentVariable("ORVANE_UPDATER_HOLD_AT");

    UpdateFlow flow(options);
    QUpdaterDlg window(&flow);
    int exitCode = 0;
    QObject::connect(&flow, &UpdateFlow::finished, &app, [&](const UpdateFlow::Result &result) {
        window.hide();
        if (!result.ok()) {
            exitCode = result.error == UpdateFlow::Error::Cancelled ? 0 : 1;
            const QString text = result.message();
            if (!text.isEmpty()) {
                QMsgDlg box(QStringLiteral("更新提示"), text);
                box.exec();
            }
            if (result.restartClient()) {
                qint64 pid = 0;
                const QString program = UpdateFlow::clientProgram(options.clientDir);
                if (!UpdateFlow::startDetached(program, &pid))
                    qCWarning(lcUpdater) << "cannot start" << program;
            }
        }
        qCInfo(lcUpdater) << "updater ends with" << exitCode;
        QApplication::exit(exitCode);
    });
    window.show();
    QTimer::singleShot(0, &flow, &UpdateFlow::start);
    return app.exec();
}
