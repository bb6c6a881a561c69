#include "login/core/CatalogueFetch.h"

#include "catalogue/CatalogueFile.h"
#include "catalogue/CatalogueJson.h"
#include "login/core/LoginLog.h"
#include "login/core/LoginTexts.h"
#include "service/ServiceEnvelope.h"

#include <QHash>
#include <QJsonObject>

namespace CatalogueFetch {

bool run(const Hooks &hooks, const QString &token, const QString &uid, const QString &filePath,
         DesktopAppCatalogue *catalogue)
{
    QString answer;
    if (!hooks.requestApps(uid, token, &answer)) {
        hooks.message(LoginTexts::catalogueFailed());
        return false;
    }
    const ServiceEnvelope envelope = ServiceEnvelope::parse(answer);
    if (!envelope.valid) {
        qCWarning(lcLogin) << "application list is not a JSON object";
        return false;
    }
    if (!envelope.isOk()) {
        hooks.message(LoginTexts::catalogueFailed());
        return false;
    }
    catalogue->clear();
    DesktopAppCatalogue fetched;
    const QJsonValue app = envelope.dataObject().value(QStringLiteral("app"));
    if (!CatalogueJson::fromAppArray(app, &fetched)) {
        qCWarning(lcLogin) << "application list has no \"app\" array";
        return false;
    }

    const QStringList addresses = CatalogueJson::iconAddresses(fetched);
    const QStringList paths = hooks.fetchIcons(addresses);
    QHash<QString, QString> local;
    for (int i = 0; i < addresses.size() && i < paths.size(); ++i)
        local.insert(addresses[i], paths[i]);
    CatalogueJson::resolveIcons(fetched, [&local](const QString &address) {
        return local.value(address);
    });

    *catalogue = fetched;
    // A cache that cannot be written only affects a later offline sign-in.
    CatalogueFile::write(filePath, *catalogue);
    return true;
}

} // namespace CatalogueFetch
