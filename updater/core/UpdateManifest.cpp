#include "updater/core/UpdateManifest.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace UpdateManifest {

QString fileName()
{
    return QStringLiteral("UpdateManifest.json");
}

QString product()
{
    return QStringLiteral("OrvaneDesk");
}

Manifest read(const QString &folder)
{
    Manifest manifest;
    QFile file(folder + QLatin1Char('/') + fileName());
    if (!file.open(QIODevice::ReadOnly))
        return manifest;
    const QJsonObject o = QJsonDocument::fromJson(file.read(64 * 1024)).object();
    const QJsonValue version = o.value(QStringLiteral("version"));
    manifest.valid = o.value(QStringLiteral("product")).toString() == product() && version.isString()
        && !version.toString().isEmpty();
    manifest.version = version.toString();
    return manifest;
}

QByteArray make(const QString &version)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("product"), product()}, {QStringLiteral("version"), version}})
        .toJson();
}

} // namespace UpdateManifest
