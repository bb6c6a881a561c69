#pragma once

#include <QString>

// What the desktop's wallpaper and lock buttons end in: the system does it,
// or the user is told in a message box that this machine could not.
// Each returns false when it told the user so.

// The desktop's answer to QSettingDlg::modifyWindowsBk; on failure
// "设置桌面墙纸失败！" under "提示".
bool setWallpaperOrTell(const QString &strPicPath);

// The lock button.
bool lockSessionOrTell();

namespace SystemActionTexts {
QString lockFailed();
} // namespace SystemActionTexts
