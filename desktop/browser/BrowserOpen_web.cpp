#include "desktop/browser/BrowserOpen.h"

#include "desktop/DesktopLog.h"
#include "desktop/browser/ZBrowser.h"

QWidget *openBrowserWindow(const QString &address, const QString &title)
{
    auto *browser = new ZBrowser;
    browser->setAttribute(Qt::WA_DeleteOnClose);
    browser->openUrl(address, title);
    browser->show();
    qCDebug(lcDesktop) << "browser opened" << address;
    return browser;
}
