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

// A plain decimal integer ("0", "101", "-7"; no leading zero, at most 15
// digits, so it stays exact) as it stands, for pages that compare ids as
// numbers; every other value quoted().
QString literal(const QString &value);

// "name(101,\"a\");" with every argument a literal(). Empty when function
// is no plain script name (letters, digits, "_" and "$", not starting with
// a digit).
QString callWithNumbers(const QString &function, const QStringList &arguments);

} // namespace PageScript
