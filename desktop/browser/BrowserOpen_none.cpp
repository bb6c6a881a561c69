#include "desktop/browser/BrowserOpen.h"

#include "desktop/DesktopLog.h"

QWidget *openBrowserWindow(const QString &address, const QString &)
{
    qCWarning(lcDesktop) << "no built-in browser in this build, not opening" << address;
    return nullptr;
}
