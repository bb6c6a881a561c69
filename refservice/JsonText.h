#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <string>

// Small text helpers of the reference service, free of any socket.
namespace JsonText {

// Compact JSON. Unless raw is set, every non-ASCII character is written as
// a "\u" escape (surrogate pairs beyond the BMP), as the client's older
// releases need.
std::string serialize(const QJsonObject &object, bool raw);

// Replaces every non-ASCII character of a UTF-8 JSON text by "\u" escapes.
std::string escapeNonAscii(const QByteArray &utf8Json);

// {"code": code, "message": message, "data": data}
QJsonObject envelope(int code, const QString &message, const QJsonValue &data = QJsonObject());

// Decodes "a=1&b=x%26y" the way form parsers do ("+" is a blank). A key
// given twice keeps its first value.
QMap<QString, QString> parseForm(const std::string &text);

// The query part of a request target ("/p?x=1" gives "x=1").
std::string queryOf(const std::string &target);

// p = 3 * (t mod 10000) + 2345
quint32 timeCheckValue(qint64 t);

} // namespace JsonText
