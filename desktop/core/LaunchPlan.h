#pragma once

#include "catalogue/DesktopAppInfo.h"

#include <QString>
#include <QStringList>

// What a double-click on an icon does, decided without touching the
// system: the desktop window carries the plan out through the platform
// layer and the browser window.
struct LaunchPlan
{
    enum class Kind {
        Nothing,     // unknown type, or a web or page target that is empty
        Browser,     // open `target` in a new browser window
        Program,     // start `target` in `workingDirectory`, no arguments
        Shortcut,    // hand `target` to the desktop's own opener
        BrokenShortcut, // show the shortcut message (no target, or one refused)
    };
    Kind kind = Kind::Nothing;
    QString target;
    QString workingDirectory;
};

// "此快捷方式已经失效，请卸载后重新安装！" after a line break: the message of a
// local program without a target and of a shortcut that cannot be opened.
QString brokenShortcutText();

// The plan for an application.
//   appAuth: the user's app_auth, appended to a web target when nosign is "1".
//   appDir: the client folder (forward slashes), base of shipped pages.
//   shortcutSuffixes: the file endings that mark a shortcut on this system,
//     compared case-sensitively (".lnk" always counts, as the catalogue
//     may carry Windows shortcuts).
LaunchPlan planLaunch(const desktopAppInfo &app, const QString &appAuth, const QString &appDir,
                      const QStringList &shortcutSuffixes);

// A browser target is acceptable: http or https, or a file inside the
// client folder. Anything else (javascript:, data:, foreign files) is not
// handed to the web engine.
bool isAllowedBrowserTarget(const QString &address, const QString &appDir);

// An uninstall command line split into program and arguments.
struct CommandLine
{
    QString program;
    QStringList arguments;
    bool isEmpty() const { return program.isEmpty(); }
};

// With a lower-case ".exe" in it: the program is everything up to and
// including the first ".exe", the arguments the text after the character
// that follows it, split at every blank with empty parts kept; double
// quotes are dropped from both. Without one: split by the shell's quoting
// rules (QProcess::splitCommand), never run by a shell.
CommandLine splitUninstallCommand(const QString &command);
