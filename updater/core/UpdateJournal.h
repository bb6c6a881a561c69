#pragma once

#include "updater/core/UpdateFolders.h"

#include <QString>

#include <optional>

// What an update was about to do when it swapped the folders, so that a
// later start can tell whether the swap happened and finish it, or undo
// what came before it. Written whole or not at all.
namespace UpdateJournal {

struct Entry
{
    QString mark;    // also in the new folder's mark file
    QString version; // the version being installed
};

bool write(const UpdateFolders &folders, const Entry &entry);
std::optional<Entry> read(const UpdateFolders &folders);

// The folder the old client was moved to when the file system could not
// swap two folders in one step (two renames instead).
QString previousFolder(const UpdateFolders &folders);

enum class Settled {
    Clean,      // nothing was left, or only a staging folder, now gone
    Finished,   // the new folder was in place: the old one is gone now
    RolledBack, // the swap had not happened: the client folder is the old one
    Busy,       // an update is at work (only from settleAtStart)
    Failed,     // a folder could not be moved back; see the log
};

// After an update that was cut short: the caller holds the update lock.
// The partial download is kept for a continuation.
Settled settle(const UpdateFolders &folders);

// The client's start: settles when no update is at work. Costs one look
// at the file system when nothing was left.
Settled settleAtStart(const QString &clientDir);

// Removes the mark from the client folder and the work folder with the
// old client in it: the new client runs.
bool finish(const UpdateFolders &folders);

} // namespace UpdateJournal
