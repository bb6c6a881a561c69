#include "appcenter/flows/AppRequest.h"

#include "service/ServiceEnvelope.h"

#include <QJsonDocument>
#include <QJsonObject>

AppRequest AppRequest::parse(const QString &strJson)
{
    AppRequest r;
    const QJsonDocument doc = QJsonDocument::fromJson(strJson.toUtf8());
    if (!doc.isObject())
        return r;
    r.valid = true;
    const QJsonObject data = doc.object().value(QStringLiteral("data")).toObject();
    auto text = [&data](const char *key) { return jsonText(data, QLatin1String(key)); };
    r.cateId = text("cate_id");
    r.appId = text("app_id");
    r.appName = text("app_name");
    r.icon = text("icon");
    r.desc = text("desc");
    r.execPath = text("exec_path");
    r.params = text("params");
    r.sort = text("sort");
    r.type = text("type");
    r.url = text("url");
    r.isRemove = text("is_remove");
    r.nosign = text("nosign");
    return r;
}

DesktopAppInfoPtr AppRequest::toRecord() const
{
    auto app = DesktopAppInfoPtr::create();
    app->cateid = cateId;
    app->id = appId;
    app->name = appName;
    app->icon = icon;
    app->desc = desc;
    app->execpath = execPath;
    app->params = params;
    app->sort = sort;
    app->type = type;
    app->url = url;
    app->isremove = isRemove;
    app->nosign = nosign;
    app->isinstall = QStringLiteral("0");
    return app;
}
