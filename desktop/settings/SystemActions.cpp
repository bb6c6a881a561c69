#include "desktop/settings/SystemActions.h"

#include "desktop/settings/WallpaperChoice.h"
#include "platform/Platform.h"
#include "ui/QMsgDlg.h"

bool setWallpaperOrTell(const QString &strPicPath)
{
    if (Platform::setDesktopWallpaper(strPicPath))
        return true;
    QMsgDlg box(WallpaperChoice::failedTitle(), WallpaperChoice::failedText());
    box.exec();
    return false;
}

bool lockSessionOrTell()
{
    if (Platform::lockSession())
        return true;
    QMsgDlg box(WallpaperChoice::failedTitle(), SystemActionTexts::lockFailed());
    box.exec();
    return false;
}

namespace SystemActionTexts {

QString lockFailed()
{
    return QStringLiteral("\r\n锁屏失败，本机没有可用的锁屏服务！");
}

} // namespace SystemActionTexts
