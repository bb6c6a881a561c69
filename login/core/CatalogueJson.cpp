#include "CatalogueJson.h"

#include <QJsonArray>

namespace CatalogueJson {

QString text(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QString();
}

static DesktopAppInfoPtr appFromJson(const QJsonObject &o)
{
    auto app = DesktopAppInfoPtr::create();
    app->cateid = text(o, QStringLiteral("cate_id"));
    app->desc = text(o, QStringLiteral("desc"));
    app->execpath = text(o, QStringLiteral("exec_path"));
    app->icon = text(o, QStringLiteral("icon"));
    app->id = text(o, QStringLiteral("id"));
    app->isinstall = text(o, QStringLiteral("is_install"));
    app->isremove = text(o, QStringLiteral("is_remove"));
    app->name = text(o, QStringLiteral("name"));
    app->params = text(o, QStringLiteral("params"));
    app->sort = text(o, QStringLiteral("sort"));
    app->type = text(o, QStringLiteral("type"));
    app->nosign = text(o, QStringLiteral("nosign"));
    app->url = text(o, QStringLiteral("url"));
    app->install = text(o, QStringLiteral("private_exec_path"));
    app->uninstall = text(o, QStringLiteral("private_unload_path"));
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
        category->icon = text(c, QStringLiteral("icon"));
        category->id = text(c, QStringLiteral("id"));
        category->name = text(c, QStringLiteral("name"));
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
