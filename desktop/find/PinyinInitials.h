#pragma once

#include <QString>

// The initials of a Chinese name as people type them to find it ("速绘画板"
// → "shhb"). The 3,755 common characters (the first level of GB2312) are
// stored in the order of their pinyin, so the code of a character tells its
// first letter; the table below holds the first code of each letter. Rarer
// characters, and those outside GB2312, have no initial here and are left
// out; of a character with several readings the first is taken.
namespace PinyinInitials {

// The initial of one character, lower case; a null QChar when it has none.
QChar of(QChar c);

// Initials of the Chinese characters, ASCII letters and digits of the text
// in their order, lower case; everything else is left out.
QString of(const QString &text);

} // namespace PinyinInitials
