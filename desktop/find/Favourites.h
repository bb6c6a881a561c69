#pragma once

#include "catalogue/DesktopAppInfo.h"

#include <QString>
#include <QStringList>

// The user's "常用" applications: the ones pinned by hand, then the ones
// launched most recently. Kept per user in one small JSON file beside
// Config.ini ({"<uid>": {"pinned": [ids], "recent": [ids]}}), replaced
// whole on every change so that a crash or a full disk never leaves half
// a file. Other users' lists in the file are kept as they are.
class Favourites
{
public:
    static constexpr int kMaxRecent = 9;

    // appDirPath()/Favourites.json
    static QString defaultPath();

    Favourites(const QString &path, const QString &uid);

    // Reads the user's lists; a missing or unreadable file gives empty lists.
    void load();

    QStringList pinned() const { return m_pinned; }
    QStringList recent() const { return m_recent; }
    bool isPinned(const QString &appId) const { return m_pinned.contains(appId); }

    // Each change is saved at once; false when the file could not be written
    // (the lists in memory keep the change for this run).
    bool pin(const QString &appId);
    bool unpin(const QString &appId);
    // A launch: the application moves to the front of the recent list.
    bool noteLaunched(const QString &appId);
    // Drops ids that are no longer in the catalogue; saves only on a change.
    bool keepOnly(const DesktopAppCatalogue &catalogue);

    // The "常用" tab: pinned applications in pinning order, then the recent
    // ones not pinned, newest first; ids the catalogue lacks are skipped.
    DesktopAppList commonApps(const DesktopAppCatalogue &catalogue) const;

private:
    bool save() const;

    QString m_path;
    QString m_uid;
    QStringList m_pinned;
    QStringList m_recent;
};
