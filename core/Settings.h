#pragma once

#include <QString>

// The one place that knows the keys of Config.ini and UpdaterVer.ini.
//
// There is deliberately no long-lived settings object: every call opens the
// file afresh and drops it at once, so a value written by one part is seen
// by the next reader. Config.ini is read and written as GB18030, the
// superset of GB2312 that holds every character (a file GB2312 can hold
// keeps its bytes), and, because it holds the remembered password, every
// write leaves it readable and writable by its owner only. UpdaterVer.ini holds ASCII only
// and is opened without a codec.
//
// Every function takes the file's path last, defaulting to the file beside
// the executable; tests point it elsewhere.
namespace Settings {

// appDirPath()/Config.ini and appDirPath()/UpdaterVer.ini
QString configPath();
QString versionPath();

// [server]: the service base address chosen by "flag": empty or "0" picks
// the test server, anything else the official one.
QString chooseServerAddress(const QString &path = configPath());

// [userinfo]
// "flag" as an integer, or -1 when the key is absent.
int autoLoginFlag(const QString &path = configPath());
// "rember" is "1": the login fields are filled from the stored account.
bool rememberCredentials(const QString &path = configPath());
QString userName(const QString &path = configPath());
QString userPassword(const QString &path = configPath());

// [connect]: the sign-in keys every user request carries.
QString uid(const QString &path = configPath());
QString token(const QString &path = configPath());

// What an accepted online sign-in leaves behind.
struct SignIn
{
    QString token;
    QString uid;
    QString account;  // exactly as typed
    QString password; // exactly as typed
};

// Writes the six sign-in keys together, in their contractual order, in one
// settings object. False when the file could not be written; a file its
// owner may not write (locked by an administrator) is left untouched,
// mode and all, and a write that cannot complete keeps the previous file.
bool writeSignIn(const SignIn &signIn, const QString &path = configPath());

// An administrator's Config.ini presets the service for new users: its
// "flag", "testserver" and "officialserver" of [server] are written into
// the user's file, but only while that file has no [server] key at all,
// so a user's own choice of service is never changed or mixed with the
// administrator's. The file made for it is owner-only like every write.
enum class ServerSeed { Seeded, UserHasServer, NothingToSeed, Failed };
ServerSeed seedServerGroup(const QString &adminPath, const QString &path = configPath());

// [desktop] "wallpaper": the picture last chosen in the wallpaper dialog,
// which the desktop shows where the screen shows nothing beneath it.
QString desktopWallpaper(const QString &path = configPath());
bool setDesktopWallpaper(const QString &picturePath, const QString &path = configPath());

// UpdaterVer.ini: the installed version ("curver"), and the offer the
// updater program reads ("mainver", "fileurl").
QString installedVersion(const QString &path = versionPath());
bool recordUpdateOffer(const QString &version, const QString &url,
                       const QString &path = versionPath());
// The offer as the updater reads it back.
QString offeredVersion(const QString &path = versionPath());
QString offeredUrl(const QString &path = versionPath());
// The updater stamps the version it installs into the new folder's file.
bool setInstalledVersion(const QString &version, const QString &path = versionPath());

} // namespace Settings
