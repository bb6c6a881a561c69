#pragma once

#include "catalogue/DesktopAppInfo.h"

#include <QObject>
#include <QString>

#include <functional>

// Owns the signed-in user's catalogue and is the only way to change it.
// Every change is announced by exactly one changed() signal, after it is
// made, so that each window that shows the catalogue can refresh itself
// however the change came about (the desktop, the app centre, a watcher,
// the page bridge).
//
// The records stay shared (DesktopAppInfoPtr): a window that still shows a
// record the store has dropped keeps a valid one. Readers get the
// catalogue as const; nobody writes a record the store holds but through
// updateApp().
class CatalogueStore : public QObject
{
    Q_OBJECT
public:
    struct Change
    {
        enum Kind { Reset, Added, Removed, Updated };
        Kind kind = Reset;
        QString categoryId;    // Added, Removed, Updated: the category involved
        DesktopAppInfoPtr app; // Added, Removed, Updated: the record involved
    };

    explicit CatalogueStore(QObject *parent = nullptr);

    const DesktopAppCatalogue &catalogue() const { return m_catalogue; }
    bool isEmpty() const { return m_catalogue.isEmpty(); }
    int categoryCount() const { return m_catalogue.size(); }

    // Position of the category with this id, or -1.
    int categoryIndex(const QString &categoryId) const;
    // The applications of a category in their order; empty for an unknown id.
    DesktopAppList apps(const QString &categoryId) const;
    // The first application with this id in any category, or null.
    DesktopAppInfoPtr findApp(const QString &appId) const;
    // The id of the category holding this very record; empty when none does.
    QString categoryOf(const DesktopAppInfoPtr &app) const;
    bool contains(const DesktopAppInfoPtr &app) const { return !categoryOf(app).isEmpty(); }

    // Replaces the whole catalogue (a sign-in, a reload).
    void reset(const DesktopAppCatalogue &catalogue);
    // Appends the record to the category. False (and no signal) for an
    // unknown category, a null record or one the store holds already.
    bool addApp(const QString &categoryId, const DesktopAppInfoPtr &app);
    // Takes the record off the catalogue. False when the store did not
    // hold it.
    bool removeApp(const DesktopAppInfoPtr &app);
    // Edits a record the store holds. False (the edit is not run) when the
    // store does not hold it.
    bool updateApp(const DesktopAppInfoPtr &app, const std::function<void(desktopAppInfo &)> &edit);

signals:
    void changed(const CatalogueStore::Change &change);

private:
    DesktopAppCatalogue m_catalogue;
};

Q_DECLARE_METATYPE(CatalogueStore::Change)
