#pragma once

#include "catalogue/DesktopAppInfo.h"

#include <QString>
#include <QStringList>

#include <functional>

// Fills the catalogue from the service's application list, caches every
// icon and writes DesktopApp.xml. The transport and the icon download are
// supplied by the caller.
namespace CatalogueFetch {

struct Hooks
{
    std::function<bool(const QString &uid, const QString &token, QString *answer)> requestApps;
    std::function<void(const QString &text)> message;
    // Local paths of the icons, one per address and in the same order.
    std::function<QStringList(const QStringList &addresses)> fetchIcons;
};

bool run(const Hooks &hooks, const QString &token, const QString &uid, const QString &filePath,
         DesktopAppCatalogue *catalogue);

} // namespace CatalogueFetch
