#pragma once

#include <QString>
#include <QStringList>

class QFileDevice;

// The few operating-system services the client needs, behind one interface.
// Platform_linux.cpp implements them for Linux; a Windows build supplies
// Platform_windows.cpp with the same functions. Windows code never needs
// an #ifdef.
namespace Platform {

// "linux" or "windows": the system family the service is told about.
QString osFamily();

// The running system's own display name, e.g. "Debian GNU/Linux 12
// (bookworm)". Empty when the system does not say.
QString osPrettyName();

// Locks the signed-in user's session, as the lock button asks. False when
// nothing on this machine would lock it.
bool lockSession();

// Makes the picture file the system desktop's wallpaper. False when the file
// cannot be read or no desktop service on this machine took it.
bool setDesktopWallpaper(const QString &picturePath);

// The picture the system's desktop shows (GNOME's picture-uri), when it
// can be read and names a local file; empty otherwise. Runs a short
// program: not for every paint.
QString systemWallpaper();

// Hands a web address to the user's default browser. Only http and https
// addresses with a host are handed over; anything else is refused with a
// diagnostic line. False when refused or when no opener could be started.
bool openInBrowser(const QString &address);

// The signed-in user's own desktop folder.
QString userDesktopFolder();

// Where the installed-software list comes from: the applications folders
// of the XDG data directories, most important first, and the package
// database (ORVANE_DPKG_STATUS overrides its path for tests).
QStringList applicationFolders();
QString packageDatabasePath();

// File name of a desktop shortcut for an application name:
// name + ".desktop" on Linux, name + ".lnk" on Windows.
QString shortcutFileName(const QString &name);

// True when path names an existing desktop shortcut file: a launcher
// (".desktop") on Linux, a shell link on Windows.
bool isDesktopShortcut(const QString &path);

// Writes what the open file holds in the system's buffers to the disk
// itself, so that a power cut after a later rename cannot leave a file of
// the new name with missing data.
bool flushToDisk(QFileDevice &file);

// Moves the file from onto to in one step, replacing a file of that name.
bool replaceFile(const QString &from, const QString &to);

// Swaps two folders (or files) of one file system in one step, so that
// no moment exists at which either name is missing. False when the file
// system cannot (errno tells), or either is missing.
bool exchangePaths(const QString &a, const QString &b);

// True while a process of this id exists.
bool isProcessRunning(qint64 pid);

// File endings that mark a desktop shortcut of this system (".desktop").
QStringList shortcutSuffixes();

// Starts a program on its own, outside the client's process tree, with
// arguments passed as they are (no shell). False when it did not start.
bool startProgram(const QString &program, const QStringList &arguments,
                  const QString &workingDirectory = QString());

// Opens a desktop shortcut by the system's own rules for such entries
// (on Linux "gio launch", never a text editor). False when the file is no
// usable shortcut or the opener is missing.
bool openShortcut(const QString &path);

// The one-time arrangement of the system desktop's own icons beside the
// client's desktop window. Linux desktops keep their icon layout to
// themselves, so there is nothing to arrange here.
void adjustShellDesktopIcons();

} // namespace Platform
