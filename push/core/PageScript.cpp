#include "push/core/PageScript.h"

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

} // namespace PageScript
