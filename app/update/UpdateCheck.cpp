#include "UpdateCheck.h"

#include "AppPaths.h"
#include "Platform.h"
#include "ServiceEnvelope.h"
#include "VersionCheck.h"

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

bool offerFrom(const QString &answer, const QString &installed, Offer *offer)
{
    const ServiceEnvelope envelope = ServiceEnvelope::parse(answer);
    if (!envelope.isOk())
        return false;
    const QJsonObject data = envelope.dataObject();
    const QString version = jsonText(data, QStringLiteral("versionNumber"));
    if (!VersionCheck::isNewer(installed, version))
        return false;
    offer->version = version;
    offer->url = jsonText(data, QStringLiteral("downloadUrl"));
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
