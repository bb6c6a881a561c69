#include "push/core/NoticeList.h"

#include "service/ServiceEnvelope.h"
#include "push/core/PageScript.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace NoticeList {

namespace {

// A JSON string, written by Qt's own writer so it always parses back.
QString jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    // "[" + string + "]"
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

} // namespace

bool arrayText(const QString &answer, QString *array)
{
    const ServiceEnvelope env = ServiceEnvelope::parse(answer);
    if (!env.isOk())
        return false;
    const QJsonArray items = env.dataObject().value(QLatin1String("item")).toArray();
    QStringList objects;
    for (const QJsonValue &v : items) {
        const QJsonObject item = v.toObject();
        // Built by hand so the keys keep their order.
        objects.append(QStringLiteral("{\"title\":%1,\"time\":%2,\"article\":%3}")
                           .arg(jsonString(jsonText(item, QStringLiteral("title"))),
                                jsonString(jsonText(item, QStringLiteral("created"))),
                                jsonString(jsonText(item, QStringLiteral("message")))));
    }
    *array = QLatin1Char('[') + objects.join(QLatin1Char(',')) + QLatin1Char(']');
    return true;
}

QString addLiScript(const QString &answer)
{
    QString array;
    if (!arrayText(answer, &array))
        return QString();
    return PageScript::call(QStringLiteral("addLi"), {array});
}

} // namespace NoticeList
