#include "app/update/UpdateCheck.h"

#include "app/update/StartupLog.h"
#include "core/AppPaths.h"
#include "core/Settings.h"
#include "core/VersionCheck.h"
#include "platform/Platform.h"
#include "service/ServiceEnvelope.h"

#include <QJsonObject>

namespace UpdateCheck {

QString iniPath()
{
    return Settings::versionPath();
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
        qCDebug(lcStartup) << "no version answer";
        return Outcome::NoUpdate;
    }
    const QString installed = Settings::installedVersion(ini);
    Offer offer;
    if (!offerFrom(answer, installed, &offer)) {
        qCDebug(lcStartup) << "no newer version than" << installed;
        return Outcome::NoUpdate;
    }
    // Recorded before the question: the updater reads the offer from here.
    Settings::recordUpdateOffer(offer.version, offer.url, ini);
    qCDebug(lcStartup) << "offering version" << offer.version << "over" << installed;
    if (!hooks.ask())
        return Outcome::Declined;
    const QString program = updaterPath();
    if (!hooks.startUpdater(program)) {
        qCWarning(lcStartup) << "cannot start" << program << "; going on to the sign-in";
        hooks.updaterFailed();
        return Outcome::UpdaterFailed;
    }
    return Outcome::Accepted;
}

} // namespace UpdateCheck
