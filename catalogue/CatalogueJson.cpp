#include "catalogue/CatalogueJson.h"

#include "service/ServiceEnvelope.h"

#include <QJsonArray>

namespace CatalogueJson {

// Every value is read as a JSON string: a number or any other type reads
// as empty text.
static DesktopAppInfoPtr appFromJson(const QJsonObject &o)
{
    auto app = DesktopAppInfoPtr::create();
    app->cateid = jsonText(o, QStringLiteral("cate_id"));
    app->desc = jsonText(o, QStringLiteral("desc"));
    app->execpath = jsonText(o, QStringLiteral("exec_path"));
    app->icon = jsonText(o, QStringLiteral("icon"));
    app->id = jsonText(o, QStringLiteral("id"));
    app->isinstall = jsonText(o, QStringLiteral("is_install"));
    app->isremove = jsonText(o, QStringLiteral("is_remove"));
    app->name = jsonText(o, QStringLiteral("name"));
    app->params = jsonText(o, QStringLiteral("params"));
    app->sort = jsonText(o, QStringLiteral("sort"));
    app->type = jsonText(o, QStringLiteral("type"));
    app->nosign = jsonText(o, QStringLiteral("nosign"));
    app->url = jsonText(o, QStringLiteral("url"));
    app->install = jsonText(o, QStringLiteral("private_exec_path"));
    app->uninstall = jsonText(o, QStringLiteral("private_unload_path"));
    return app;
}

bool fromAppArray(const QJsonValue &app, DesktopAppCatalogue *out)
{
    out->clear();
    if (!app.isArray())
        return false;
    const QJsonArray categories = app.toArray();
    for (const QJsonValue &entry : categories) {
        const QJsonObject c = entry.toObject();
        auto category = DesktopAppCategoryPtr::create();
        category->icon = jsonText(c, QStringLiteral("icon"));
        category->id = jsonText(c, QStringLiteral("id"));
        category->name = jsonText(c, QStringLiteral("name"));
        DesktopAppList apps;
        const QJsonArray children = c.value(QStringLiteral("child")).toArray();
        for (const QJsonValue &child : children)
            apps.append(appFromJson(child.toObject()));
        out->append(qMakePair(category, apps));
    }
    return true;
}

QStringList iconAddresses(const DesktopAppCatalogue &catalogue)
{
    QStringList addresses;
    for (const auto &entry : catalogue) {
        addresses.append(entry.first->icon);
        for (const auto &app : entry.second)
            addresses.append(app->icon);
    }
    return addresses;
}

void resolveIcons(DesktopAppCatalogue &catalogue,
                  const std::function<QString(const QString &)> &resolve)
{
    for (auto &entry : catalogue) {
        entry.first->icon = resolve(entry.first->icon);
        for (auto &app : entry.second)
            app->icon = resolve(app->icon);
    }
}

} // namespace CatalogueJson
