#include "desktop/find/PinyinInitials.h"

#include <QTextCodec>

namespace {

struct Start
{
    quint16 code; // GB2312 code of the first character with this initial
    char letter;
};

// No character of the first level starts with i, u or v.
constexpr Start kStarts[] = {
    {0xB0A1, 'a'}, {0xB0C5, 'b'}, {0xB2C1, 'c'}, {0xB4EE, 'd'}, {0xB6EA, 'e'}, {0xB7A2, 'f'},
    {0xB8C1, 'g'}, {0xB9FE, 'h'}, {0xBBF7, 'j'}, {0xBFA6, 'k'}, {0xC0AC, 'l'}, {0xC2E8, 'm'},
    {0xC4C3, 'n'}, {0xC5B6, 'o'}, {0xC5BE, 'p'}, {0xC6DA, 'q'}, {0xC8BB, 'r'}, {0xC8F6, 's'},
    {0xCBFA, 't'}, {0xCDDA, 'w'}, {0xCEF4, 'x'}, {0xD1B9, 'y'}, {0xD4D1, 'z'},
};
constexpr quint16 kLastCode = 0xD7F9;

QTextCodec *gb2312()
{
    static QTextCodec *codec = QTextCodec::codecForName("GB2312");
    return codec;
}

} // namespace

namespace PinyinInitials {

QChar of(QChar c)
{
    if (c.unicode() < 0x80)
        return c.isLetterOrNumber() ? c.toLower() : QChar();
    if (c.unicode() < 0x4E00 || c.unicode() > 0x9FFF)
        return QChar();
    const QByteArray bytes = gb2312()->fromUnicode(&c, 1);
    if (bytes.size() != 2)
        return QChar();
    const quint16 code = quint16((quint8(bytes[0]) << 8) | quint8(bytes[1]));
    if (code < kStarts[0].code || code > kLastCode)
        return QChar();
    char letter = kStarts[0].letter;
    for (const Start &start : kStarts) {
        if (code < start.code)
            break;
        letter = start.letter;
    }
    return QLatin1Char(letter);
}

QString of(const QString &text)
{
    QString initials;
    initials.reserve(text.size());
    for (const QChar c : text) {
        const QChar initial = of(c);
        if (!initial.isNull())
            initials += initial;
    }
    return initials;
}

} // namespace PinyinInitials
