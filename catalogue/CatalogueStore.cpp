#include "catalogue/CatalogueStore.h"

CatalogueStore::CatalogueStore(QObject *parent)
    : QObject(parent)
{
    registerDesktopAppTypes();
}

int CatalogueStore::categoryIndex(const QString &categoryId) const
{
    return ::categoryIndex(m_catalogue, categoryId);
}

DesktopAppList CatalogueStore::apps(const QString &categoryId) const
{
    const int index = categoryIndex(categoryId);
    return index < 0 ? DesktopAppList() : m_catalogue[index].second;
}

DesktopAppInfoPtr CatalogueStore::findApp(const QString &appId) const
{
    return ::findApp(m_catalogue, appId);
}

QString CatalogueStore::categoryOf(const DesktopAppInfoPtr &app) const
{
    if (!app)
        return QString();
    for (const auto &entry : m_catalogue) {
        if (entry.first && entry.second.contains(app))
            return entry.first->id;
    }
    return QString();
}

void CatalogueStore::reset(const DesktopAppCatalogue &catalogue)
{
    m_catalogue = catalogue;
    emit changed(Change{Change::Reset, QString(), DesktopAppInfoPtr()});
}

bool CatalogueStore::addApp(const QString &categoryId, const DesktopAppInfoPtr &app)
{
    const int index = categoryIndex(categoryId);
    if (index < 0 || !app || contains(app))
        return false;
    m_catalogue[index].second.append(app);
    emit changed(Change{Change::Added, categoryId, app});
    return true;
}

bool CatalogueStore::removeApp(const DesktopAppInfoPtr &app)
{
    const QString categoryId = categoryOf(app);
    if (categoryId.isEmpty())
        return false;
    ::removeApp(m_catalogue, app);
    emit changed(Change{Change::Removed, categoryId, app});
    return true;
}

bool CatalogueStore::updateApp(const DesktopAppInfoPtr &app,
                               const std::function<void(desktopAppInfo &)> &edit)
{
    const QString categoryId = categoryOf(app);
    if (categoryId.isEmpty())
        return false;
    edit(*app);
    emit changed(Change{Change::Updated, categoryId, app});
    return true;
}
