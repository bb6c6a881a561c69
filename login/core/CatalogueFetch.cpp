#include "CatalogueFetch.h"

#include "CatalogueFile.h"
#include "CatalogueJson.h"
#include "LoginTexts.h"
#include "ServiceEnvelope.h"

#include <QHash>
#include <QJsonObject>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcCatalogueFetch, "orvane.catalogue")

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
        qCWarning(lcCatalogueFetch) << "application list is not a JSON object";
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
        qCWarning(lcCatalogueFetch) << "application list has no \"app\" array";
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
