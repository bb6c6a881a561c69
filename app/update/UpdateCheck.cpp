#include "UpdateCheck.h"

#include "AppPaths.h"
#include "Platform.h"
#include "VersionCheck.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSettings>

Q_LOGGING_CATEGORY(lcUpdate, "orvane.update")

namespace UpdateCheck {

QString iniPath()
{
    return AppPaths::appFilePath(QStringLiteral("UpdaterVer.ini"));
}

QString updaterPath()
{
    const bool windows = Platform::osFamily() == QLatin1String("windows");
    return AppPaths::appFilePath(windows ? QStringLiteral("UpdaterNew.exe")
                                         : QStringLiteral("UpdaterNew"));
}

static QString stringValue(const QJsonObject &o, const QString &key)
{
    const QJsonValue v = o.value(key);
    return v.isString() ? v.toString() : QString();
}

bool offerFrom(const QString &answer, const QString &installed, Offer *offer)
{
    const QJsonDocument doc = QJsonDocument::fromJson(answer.toUtf8());
    if (!doc.isObject())
        return false;
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("code")).toInt() != 200
        || stringValue(root, QStringLiteral("message")) != QLatin1String("ok"))
        return false;
    const QJsonObject data = root.value(QStringLiteral("data")).toObject();
    const QString version = stringValue(data, QStringLiteral("versionNumber"));
    if (!VersionCheck::isNewer(installed, version))
        return false;
    offer->version = version;
    offer->url = stringValue(data, QStringLiteral("downloadUrl"));
    return true;
}

Outcome run(const Hooks &hooks, const QString &ini)
{
    QString answer;
    if (!hooks.query(&answer)) {
        qCDebug(lcUpdate) << "no version answer";
        return Outcome::NoUpdate;
    }
    QString installed;
    {
        QSettings settings(ini, QSettings::IniFormat);
        installed = settings.value(QStringLiteral("/MAINVER/curver")).toString();
    }
    Offer offer;
    if (!offerFrom(answer, installed, &offer)) {
        qCDebug(lcUpdate) << "no newer version than" << installed;
        return Outcome::NoUpdate;
    }
    // Recorded before the question: the updater reads the offer from here.
    {
        QSettings settings(ini, QSettings::IniFormat);
        settings.setValue(QStringLiteral("MAINVER/mainver"), offer.version);
        settings.setValue(QStringLiteral("MAINVER/fileurl"), offer.url);
    }
    qCDebug(lcUpdate) << "offering version" << offer.version << "over" << installed;
    if (!hooks.ask())
        return Outcome::Declined;
    hooks.startUpdater(updaterPath());
    return Outcome::Accepted;
}

} // namespace UpdateCheck
