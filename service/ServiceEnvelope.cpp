#include "service/ServiceEnvelope.h"

#include <QJsonDocument>

ServiceEnvelope ServiceEnvelope::parse(const QString &answer)
{
    return parse(answer.toUtf8());
}

ServiceEnvelope ServiceEnvelope::parse(const QByteArray &utf8)
{
    ServiceEnvelope env;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(utf8, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return env;
    env.valid = true;
    env.object = doc.object();
    const QJsonValue code = env.object.value(QLatin1String("code"));
    env.code = code.isDouble() ? code.toInt() : 0;
    env.message = jsonText(env.object, QStringLiteral("message"));
    env.data = env.object.value(QLatin1String("data"));
    return env;
}

QString jsonText(const QJsonValue &value)
{
    return value.isString() ? value.toString() : QString();
}

QString jsonText(const QJsonObject &object, const QString &key)
{
    return jsonText(object.value(key));
}
