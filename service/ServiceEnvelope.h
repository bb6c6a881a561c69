#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// The answer every service operation sends: {"code", "message", "data"}.
// Callers read it through this one helper instead of parsing by hand.
struct ServiceEnvelope
{
    bool valid = false; // the answer parsed as a JSON object
    int code = 0;       // 0 when absent or not a number
    QString message;    // empty when absent or not a string
    QJsonValue data;
    QJsonObject object; // the whole answer

    // Parses the UTF-8 text of an answer; raw non-ASCII text and "\u"
    // escapes both survive.
    static ServiceEnvelope parse(const QString &answer);
    static ServiceEnvelope parse(const QByteArray &utf8);

    // "code" 200.
    bool isSuccess() const { return valid && code == 200; }
    // "code" 200 and "message" exactly "ok", as the update check, the
    // application list, the notices and the push lookup require.
    bool isOk() const { return isSuccess() && message == QLatin1String("ok"); }

    QJsonObject dataObject() const { return data.toObject(); }
};

// A member read as text: a missing key or any non-string value reads as
// empty, as every reader of the answers expects.
QString jsonText(const QJsonObject &object, const QString &key);
QString jsonText(const QJsonValue &value);
