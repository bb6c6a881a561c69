#include "push/core/PageScript.h"

#include <QRegularExpression>

namespace PageScript {

namespace {

void appendEscape(QString &out, ushort unit)
{
    out += QStringLiteral("\\u%1").arg(unit, 4, 16, QLatin1Char('0'));
}

} // namespace

QString quoted(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        const ushort u = c.unicode();
        switch (u) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            // Everything outside printable ASCII is escaped by its UTF-16
            // unit, so line separators, NULs and unpaired surrogates cannot
            // change the meaning of the line or be mangled on the way. The
            // characters that matter to HTML and to the other quote are
            // escaped as well.
            if (u < 0x20 || u >= 0x7f || u == '\'' || u == '<' || u == '>' || u == '&')
                appendEscape(out, u);
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

QString call(const QString &function, const QStringList &arguments)
{
    QStringList quotedArgs;
    quotedArgs.reserve(arguments.size());
    for (const QString &a : arguments)
        quotedArgs.append(quoted(a));
    return function + QLatin1Char('(') + quotedArgs.join(QLatin1Char(',')) + QStringLiteral(");");
}

QString literal(const QString &value)
{
    static const QRegularExpression integer(QStringLiteral("^-?(0|[1-9][0-9]{0,14})$"));
    if (value != QLatin1String("-0") && integer.match(value).hasMatch())
        return value;
    return quoted(value);
}

QString callWithNumbers(const QString &function, const QStringList &arguments)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z_$][A-Za-z0-9_$]*$"));
    if (!name.match(function).hasMatch())
        return QString();
    QStringList literals;
    literals.reserve(arguments.size());
    for (const QString &a : arguments)
        literals.append(literal(a));
    return function + QLatin1Char('(') + literals.join(QLatin1Char(',')) + QStringLiteral(");");
}

} // namespace PageScript
