#pragma once

#include <QString>
#include <QStringList>

// An uninstaller's command line as the installed-software list gives it.
struct UninstallCommand
{
    QString program;
    QStringList arguments;

    // A Windows line ("\"C:\\App\\uninst.exe\" /S"): the program is
    // everything up to and including the first ".exe", the arguments the
    // rest after the character that follows it, split at every space with
    // empty pieces kept; double quotes are dropped throughout.
    //
    // A line without ".exe" (every Linux uninstaller) is split as a shell
    // would split a plain word list: blanks separate words, single and
    // double quotes group them and are removed, a backslash escapes the
    // next character. Nothing is ever run through a shell.
    //
    // An empty or blank line gives an empty program.
    static UninstallCommand split(const QString &line);
};
