#pragma once

#include "catalogue/DesktopAppInfo.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

#include <functional>

// Mapping of the service's application list onto the catalogue.
namespace CatalogueJson {

// Builds the catalogue from "data"."app". The icon fields hold the icon
// addresses as sent; resolveIcons() turns them into local paths.
// Returns false when the value is not an array (out is left empty).
bool fromAppArray(const QJsonValue &app, DesktopAppCatalogue *out);

// Icon addresses in the order a one-at-a-time fetch would download them:
// each category's icon, then its applications' icons, category by category.
QStringList iconAddresses(const DesktopAppCatalogue &catalogue);

// Replaces every icon address with resolve(address).
void resolveIcons(DesktopAppCatalogue &catalogue,
                  const std::function<QString(const QString &)> &resolve);

} // namespace CatalogueJson
