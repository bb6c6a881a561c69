#include "push/bridge/PageScript.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace PageScript {

namespace {

// "0" or a non-zero digit first: a leading zero would read as an octal
// number in older scripts. At most 15 digits, so the number stays exact.
bool isPlainInteger(const QString &value)
{
    static const QRegularExpression integer(QStringLiteral("^-?(0|[1-9][0-9]{0,14})$"));
    return integer.match(value).hasMatch() && value != QLatin1String("-0");
}

} // namespace

QString literal(const QString &value)
{
    if (isPlainInteger(value))
        return value;
    // A one-element JSON array holds exactly one correctly escaped string.
    QString text = QString::fromUtf8(
        QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact));
    text = text.mid(1, text.size() - 2);
    text.replace(QChar(0x2028), QLatin1String("\\u2028"));
    text.replace(QChar(0x2029), QLatin1String("\\u2029"));
    return text;
}

QString call(const QString &function, const QStringList &arguments)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z_$][A-Za-z0-9_$]*$"));
    if (!name.match(function).hasMatch())
        return QString();
    QStringList literals;
    literals.reserve(arguments.size());
    for (const QString &argument : arguments)
        literals.append(literal(argument));
    return function + QLatin1Char('(') + literals.join(QLatin1Char(',')) + QStringLiteral(");");
}

} // namespace PageScript
