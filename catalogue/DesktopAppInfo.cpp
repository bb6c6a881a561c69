#include "catalogue/DesktopAppInfo.h"

void registerDesktopAppTypes()
{
    qRegisterMetaType<DesktopAppInfoPtr>("DesktopAppInfoPtr");
}

bool operator==(const desktopAppInfo &a, const desktopAppInfo &b)
{
    return a.cateid == b.cateid && a.desc == b.desc && a.execpath == b.execpath
        && a.icon == b.icon && a.id == b.id && a.isinstall == b.isinstall
        && a.isremove == b.isremove && a.name == b.name && a.params == b.params
        && a.sort == b.sort && a.type == b.type && a.nosign == b.nosign && a.url == b.url
        && a.install == b.install && a.uninstall == b.uninstall;
}

bool operator==(const DesktopAppCategory &a, const DesktopAppCategory &b)
{
    return a.icon == b.icon && a.id == b.id && a.name == b.name;
}

bool sameCatalogue(const DesktopAppCatalogue &a, const DesktopAppCatalogue &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (!a[i].first || !b[i].first || *a[i].first != *b[i].first)
            return false;
        const DesktopAppList &x = a[i].second;
        const DesktopAppList &y = b[i].second;
        if (x.size() != y.size())
            return false;
        for (int j = 0; j < x.size(); ++j) {
            if (!x[j] || !y[j] || *x[j] != *y[j])
                return false;
        }
    }
    return true;
}

int categoryIndex(const DesktopAppCatalogue &catalogue, const QString &categoryId)
{
    for (int i = 0; i < catalogue.size(); ++i) {
        if (catalogue[i].first && catalogue[i].first->id == categoryId)
            return i;
    }
    return -1;
}

DesktopAppInfoPtr findApp(const DesktopAppCatalogue &catalogue, const QString &appId)
{
    for (const auto &entry : catalogue) {
        for (const auto &app : entry.second) {
            if (app && app->id == appId)
                return app;
        }
    }
    return {};
}

bool removeApp(DesktopAppCatalogue &catalogue, const DesktopAppInfoPtr &app)
{
    bool removed = false;
    for (auto &entry : catalogue)
        removed = entry.second.removeAll(app) > 0 || removed;
    return removed;
}
