#include "push/core/PushMessage.h"

#include "service/ServiceEnvelope.h"

#include <QJsonDocument>
#include <QJsonObject>

PushMessage PushMessage::parse(const QString &text)
{
    PushMessage m;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    if (!doc.isObject())
        return m;
    const QJsonObject root = doc.object();
    m.alias = jsonText(root, QStringLiteral("alias"));
    m.uuid = jsonText(root, QStringLiteral("uuid"));
    const QJsonObject data = root.value(QLatin1String("data")).toObject();
    auto field = [&data](const char *key) { return jsonText(data, QLatin1String(key)); };

    if (m.alias == QLatin1String("lumiqPushNotice")) {
        m.kind = Kind::Notice;
        m.noticeId = field("uuid");
        m.title = field("title");
        m.content = field("content");
    } else if (m.alias == QLatin1String("lumiqPushApp")) {
        m.kind = Kind::App;
        m.appUuid = field("uuid");
        m.pushId = field("push_id");
        m.appId = field("app_id");
        m.type = field("type");
        m.name = field("name");
        m.url = field("url");
        m.icon = field("icon");
        m.desc = field("desc");
        m.params = field("params");
        m.execPath = field("exec_path");
        m.price = field("price");
        m.cateId = field("cate_id");
        m.sort = field("sort");
    } else {
        m.kind = Kind::Other;
    }
    return m;
}

QString PushMessage::priceText() const
{
    return offerPriceText(price);
}

QString offerPriceText(const QString &price)
{
    return price.isEmpty() ? QStringLiteral("免费") : price;
}

namespace PushPopup {

QPoint topLeft(const QRect &available, const QSize &size)
{
    // right() and bottom() are left + width - 1 and top + height - 1.
    return QPoint(available.right() - size.width(), available.bottom() - size.height());
}

} // namespace PushPopup
