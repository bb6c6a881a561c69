#pragma once

#include <QList>
#include <QMetaType>
#include <QPair>
#include <QSharedPointer>
#include <QString>

// One application as every part of the client knows it. All values are
// texts, flags and numbers too, exactly as the service sends them.
struct desktopAppInfo
{
    QString cateid;
    QString desc;
    QString execpath;
    QString icon;      // local path of the cached icon, forward slashes
    QString id;
    QString isinstall;
    QString isremove;
    QString name;
    QString params;
    QString sort;
    QString type;
    QString nosign;
    QString url;
    QString install;   // program path found on this computer
    QString uninstall; // uninstaller path found on this computer
};

// Records are shared, not owned by one holder. The catalogue, the desktop
// window's icons, the app centre's download rows and the installed-software
// watchers each keep a DesktopAppInfoPtr; when one flow removes an
// application from the catalogue, a watcher or row that still holds it keeps
// a valid record until it lets go. Nobody ever holds a raw desktopAppInfo*.
using DesktopAppInfoPtr = QSharedPointer<desktopAppInfo>;

struct DesktopAppCategory
{
    QString icon; // local path of the cached icon, forward slashes
    QString id;
    QString name;
};

using DesktopAppCategoryPtr = QSharedPointer<DesktopAppCategory>;
using DesktopAppList = QList<DesktopAppInfoPtr>;
using DesktopAppCatalogueEntry = QPair<DesktopAppCategoryPtr, DesktopAppList>;

// The user's applications grouped by category, in the service's order.
using DesktopAppCatalogue = QList<DesktopAppCatalogueEntry>;

Q_DECLARE_METATYPE(DesktopAppInfoPtr)

// Registers DesktopAppInfoPtr for queued signals; safe to call repeatedly.
void registerDesktopAppTypes();
