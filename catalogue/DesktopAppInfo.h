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

// Field-by-field comparison (the shared pointers themselves are not
// compared).
bool operator==(const desktopAppInfo &a, const desktopAppInfo &b);
inline bool operator!=(const desktopAppInfo &a, const desktopAppInfo &b) { return !(a == b); }
bool operator==(const DesktopAppCategory &a, const DesktopAppCategory &b);
inline bool operator!=(const DesktopAppCategory &a, const DesktopAppCategory &b) { return !(a == b); }
bool sameCatalogue(const DesktopAppCatalogue &a, const DesktopAppCatalogue &b);

// Position of the category with this id, or -1.
int categoryIndex(const DesktopAppCatalogue &catalogue, const QString &categoryId);

// The first application with this id in any category, or null.
DesktopAppInfoPtr findApp(const DesktopAppCatalogue &catalogue, const QString &appId);

// Takes the application out of every list that holds it; holders of the
// record elsewhere keep it. Returns false when no list held it.
bool removeApp(DesktopAppCatalogue &catalogue, const DesktopAppInfoPtr &app);

// Registers DesktopAppInfoPtr for queued signals; safe to call repeatedly.
void registerDesktopAppTypes();
