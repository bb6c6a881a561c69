#pragma once

#include <QString>

// Every sign-in message starts with CR LF, which the box shows as an empty
// first line.
namespace LoginTexts {

inline QString title() { return QStringLiteral("登录提示"); }

inline QString emptyFields() { return QStringLiteral("\r\n用户名或者密码不能为空！"); }
inline QString offlineMismatch() { return QStringLiteral("\r\n用户名或者密码不正确，请输入最后一次成功登入账号！"); }
inline QString requestFailed() { return QStringLiteral("\r\n登录失败！"); }
inline QString wrongCredentials() { return QStringLiteral("\r\n用户名或者密码不正确！"); }
inline QString catalogueFailed() { return QStringLiteral("\r\n获取桌面应用失败！"); }

// The message for a refusal code other than 200.
QString refusal(int code);

} // namespace LoginTexts
