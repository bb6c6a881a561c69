#pragma once

#include <QString>
#include <QStringList>

// The files of a client folder that belong to its user rather than to the
// program: the account and service choice, the cached catalogue and
// pictures, downloaded installers, the push log, the favourites and the web
// engine's profile. Whoever replaces a client folder with a new copy (the
// updater, the per-user launcher) carries exactly these over.
namespace UserFiles {

// Names relative to the client folder; folders among them are carried whole.
QStringList names();

// Copies every user file and folder present in fromDir into toDir,
// replacing what toDir has of the same name. Nothing of toDir outside the
// list is touched. False with a reason when anything could not be copied;
// toDir may then hold part of the copy, so callers copy into a staging
// folder that they drop on failure.
bool carryOver(const QString &fromDir, const QString &toDir, QString *error = nullptr);

} // namespace UserFiles
