#include "desktop/launch/AppLaunch.h"

#include "core/AppPaths.h"
#include "desktop/DesktopLog.h"
#include "desktop/browser/BrowserOpen.h"
#include "desktop/core/LaunchPlan.h"
#include "platform/Platform.h"
#include "ui/QMsgDlg.h"

#include <QPointer>

namespace AppLaunch {

void launch(const desktopAppInfo &app, const QString &appAuth, QWidget *parent, const Tell &tell)
{
    const LaunchPlan plan = planLaunch(app, appAuth, AppPaths::appDirPath(), Platform::shortcutSuffixes());
    qCDebug(lcDesktop) << "launching" << app.id << "type" << app.type << "as" << int(plan.kind)
                       << plan.target;
    switch (plan.kind) {
    case LaunchPlan::Kind::Nothing:
        return;
    case LaunchPlan::Kind::Browser:
        openBrowserWindow(plan.target);
        return;
    case LaunchPlan::Kind::Program:
        // A program that does not start shows nothing, as before.
        if (!Platform::startProgram(plan.target, {}, plan.workingDirectory))
            qCWarning(lcDesktop) << "program did not start:" << plan.target;
        return;
    case LaunchPlan::Kind::Shortcut:
        if (Platform::openShortcut(plan.target))
            return;
        break;
    case LaunchPlan::Kind::BrokenShortcut:
        break;
    }
    if (tell) {
        tell(QStringLiteral("提示"), brokenShortcutText());
        return;
    }
    // On the heap: the parent may go while the box waits.
    const QPointer<QMsgDlg> box = new QMsgDlg(QStringLiteral("提示"), brokenShortcutText(), parent);
    box->exec();
    delete box.data();
}

} // namespace AppLaunch
