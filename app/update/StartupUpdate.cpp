#include "app/update/StartupUpdate.h"

#include "app/update/StartupLog.h"
#include "service/SrvInterface.h"
#include "ui/QMsgDlg.h"

#include <QDateTime>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

namespace StartupUpdate {

UpdateCheck::Outcome run()
{
    const QTime now = QTime::currentTime();
    QRandomGenerator random(static_cast<quint32>(now.second() * 1000 + now.msec()));
    QThread::msleep(random.generate() % 100);

    UpdateCheck::Hooks hooks;
    hooks.query = [](QString *answer) {
        SrvInterface service;
        return service.getNewNSVSoftwareToAll(SrvInterface::kUpdateRegionId, answer);
    };
    hooks.ask = []() {
        QMsgDlg box(QStringLiteral("更新提示"), QStringLiteral("发现新版本，是否立即更新？"));
        return box.exec() == 1;
    };
    hooks.startUpdater = [](const QString &program) {
        if (!QProcess::startDetached(program, QStringList()))
            qCWarning(lcStartup) << "cannot start" << program;
    };
    return UpdateCheck::run(hooks, UpdateCheck::iniPath());
}

} // namespace StartupUpdate
