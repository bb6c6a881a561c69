#include "refservice/JsonText.h"

#include <QJsonDocument>
#include <QUrl>

namespace JsonText {

std::string escapeNonAscii(const QByteArray &utf8Json)
{
    const QString text = QString::fromUtf8(utf8Json);
    std::string out;
    out.reserve(size_t(utf8Json.size()));
    char buf[8];
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x80) {
            out += char(u);
        } else {
            // UTF-16 units map one to one onto JSON's \u escapes, so
            // surrogate pairs come out as pairs of escapes.
            std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(u));
            out += buf;
        }
    }
    return out;
}

std::string serialize(const QJsonObject &object, bool raw)
{
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return raw ? json.toStdString() : escapeNonAscii(json);
}

QJsonObject envelope(int code, const QString &message, const QJsonValue &data)
{
    return QJsonObject{{QStringLiteral("code"), code},
                       {QStringLiteral("message"), message},
                       {QStringLiteral("data"), data}};
}

QMap<QString, QString> parseForm(const std::string &text)
{
    QMap<QString, QString> form;
    const QByteArray bytes = QByteArray::fromStdString(text);
    for (QByteArray pair : bytes.split('&')) {
        if (pair.isEmpty())
            continue;
        pair.replace('+', ' ');
        const int eq = pair.indexOf('=');
        const QByteArray key = eq < 0 ? pair : pair.left(eq);
        const QByteArray value = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        const QString k = QString::fromUtf8(QByteArray::fromPercentEncoding(key));
        if (!form.contains(k))
            form.insert(k, QString::fromUtf8(QByteArray::fromPercentEncoding(value)));
    }
    return form;
}

std::string queryOf(const std::string &target)
{
    const auto q = target.find('?');
    if (q == std::string::npos)
        return std::string();
    std::string query = target.substr(q + 1);
    const auto hash = query.find('#');
    if (hash != std::string::npos)
        query.erase(hash);
    return query;
}

quint32 timeCheckValue(qint64 t)
{
    qint64 r = t % 10000;
    if (r < 0)
        r += 10000;
    return quint32(3 * r + 2345);
}

} // namespace JsonText
