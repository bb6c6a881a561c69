#include "app/update/StartupUpdate.h"

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
        QMsgDlg box(UpdateCheck::title(), QStringLiteral("发现新版本，是否立即更新？"));
        return box.exec() == 1;
    };
    hooks.startUpdater = [](const QString &program) {
        return QProcess::startDetached(program, QStringList());
    };
    hooks.updaterFailed = []() {
        QMsgDlg box(UpdateCheck::title(), UpdateCheck::updaterFailedText());
        box.exec();
    };
    return UpdateCheck::run(hooks, UpdateCheck::iniPath());
}

} // namespace StartupUpdate
