#pragma once

#include <QString>
#include <QStringList>

// The text of every script call native code makes in a page, built in
// this one place so that no value can break out of its argument: a plain
// decimal integer goes in as a number (pages compare ids as numbers),
// every other value as a JSON string literal, with U+2028 and U+2029
// escaped as well (older script engines end a line there).
namespace PageScript {

// A value as a script literal.
QString literal(const QString &value);

// "function(arg, ...);", or empty when function is no plain script name
// (letters, digits, "_" and "$", not starting with a digit).
QString call(const QString &function, const QStringList &arguments);

} // namespace PageScript
