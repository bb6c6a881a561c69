#pragma once

#include <QString>
#include <QStringList>

// Script text that native code runs in a page. Every argument goes in as a
// quoted script string that reads back exactly as given, whatever it holds
// (quotes, backslashes, line breaks, "</script>", lone surrogates), so no
// text from the service or the user can end the call or add script.
namespace PageScript {

// A double-quoted script string literal of the text; ASCII only.
QString quoted(const QString &text);

// "name(\"a\",\"b\");" with every argument quoted.
QString call(const QString &function, const QStringList &arguments);

} // namespace PageScript
