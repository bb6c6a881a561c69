#include "ui/ClientFonts.h"

#include <QFont>
#include <QStringList>

void installClientFontSubstitutes()
{
    // Substitutes are only used when the named family is not installed.
    QFont::insertSubstitutions(QStringLiteral("微软雅黑"),
                               {QStringLiteral("Microsoft YaHei"), QStringLiteral("WenQuanYi Micro Hei"),
                                QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Droid Sans Fallback")});
}
