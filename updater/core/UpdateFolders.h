#pragma once

#include <QString>

// Where an update of one client folder keeps its work: everything lies
// beside the client folder, on its file system, so that the new folder
// can be swapped in with a rename.
//
//   <parent>/<name>                  the client folder
//   <parent>/.<name>-update/         work folder: the download
//                                    (downloadApp/), the staging folder,
//                                    the journal
//   <parent>/.<name>-update.lock     held by the one update at work
struct UpdateFolders
{
    explicit UpdateFolders(const QString &clientDir);

    QString client;
    QString work;
    QString staging;
    QString journal;
    QString lock;
    // Written into the staging folder; after the swap it tells which
    // folder holds the new client.
    QString stagingMark() const;
    QString clientMark() const;
    static QString markName();
};
