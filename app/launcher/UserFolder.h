#pragma once

#include <QString>

// The user's own copy of an installed client folder. The installed folder
// (/opt/orvanedesk) belongs to root and cannot hold what the client writes
// beside itself, so each user runs a copy under $XDG_DATA_HOME/OrvaneDesk.
//
// A folder's version is "MAINVER/curver" of its UpdaterVer.ini, the key the
// installer and the client's updater write. The copy is replaced by the
// installed folder only when that is newer; a copy the updater brought to a
// newer version is never taken back. The user's files (UserFiles::names())
// are carried over, and the new copy is assembled in a staging folder and
// swapped in by renames, so a refresh cut short never leaves a half folder.
namespace UserFolder {

enum class Plan {
    Create,  // no copy yet
    Refresh, // the installed folder is newer, or the copy is unusable
    Keep,    // same version, or the copy is newer
};

// What prepare() would do; the executable's name tells a usable copy.
Plan plan(const QString &installedDir, const QString &userDir, const QString &executable);

struct Result
{
    Plan plan = Plan::Keep;
    bool ok = false;
    QString error; // why, when !ok
};

// Brings userDir into shape: finishes a swap that was cut short, drops
// staging leftovers, then creates or refreshes the copy as plan() says.
// On failure the previous copy, if any, is left as it was. The caller
// makes sure no client runs from userDir meanwhile.
Result prepare(const QString &installedDir, const QString &userDir, const QString &executable);

// Siblings of userDir used while swapping.
QString stagingDir(const QString &userDir);
QString previousDir(const QString &userDir);

} // namespace UserFolder
