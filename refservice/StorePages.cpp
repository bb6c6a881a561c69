#include "refservice/StorePages.h"

#include "refservice/JsonText.h"

#include <QFile>
#include <QJsonObject>
#include <QWebChannel>

#include <httplib.h>

#include <mutex>

// Resources of a static library are registered only when asked for.
static void registerPages()
{
    Q_INIT_RESOURCE(pages);
    // The web channel's script is a resource of its library, which the
    // linker would drop if nothing of it were used.
    const QMetaObject *volatile channel = &QWebChannel::staticMetaObject;
    Q_UNUSED(channel);
}

namespace {

const char *contentType(const QString &name)
{
    if (name.endsWith(QLatin1String(".css")))
        return "text/css; charset=utf-8";
    if (name.endsWith(QLatin1String(".js")))
        return "text/javascript; charset=utf-8";
    return "text/html; charset=utf-8";
}

bool serveFile(const QString &resource, const QString &name, httplib::Response &res)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    res.set_content(file.readAll().toStdString(), contentType(name));
    return true;
}

} // namespace

namespace StorePages {

bool handle(Store &store, const QString &base, const QString &path,
            const QMap<QString, QString> &query, httplib::Response &res)
{
    if (!path.startsWith(QLatin1String("/pages/")))
        return false;
    static std::once_flag registered;
    std::call_once(registered, registerPages);
    const QString name = path.mid(7);
    if (name == QLatin1String("qwebchannel.js")) {
        // The web channel's own script, as the Qt library linked here ships it.
        return serveFile(QStringLiteral(":/qtwebchannel/qwebchannel.js"), name, res);
    }
    if (name == QLatin1String("api/apps")) {
        const auto user = store.userByUid(query.value(QStringLiteral("uid")));
        QJsonObject answer{{QStringLiteral("code"), user ? 200 : 401}};
        if (user) {
            const bool mine = query.value(QStringLiteral("scope")) == QLatin1String("mine");
            answer.insert(QStringLiteral("data"),
                          store.storeApps(*user, query.value(QStringLiteral("cate_id")),
                                          query.value(QStringLiteral("keywords")), mine, base));
        }
        res.set_content(JsonText::serialize(answer, true), "application/json; charset=utf-8");
        return true;
    }
    if (name.contains(QLatin1Char('/')))
        return false;
    return serveFile(QStringLiteral(":/pages/") + name, name, res);
}

} // namespace StorePages
