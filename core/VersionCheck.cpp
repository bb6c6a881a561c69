#include "core/VersionCheck.h"

#include <QStringList>

#include <climits>

namespace VersionCheck {

int cToInt(const QString &text)
{
    int i = 0;
    const int n = text.size();
    auto isCSpace = [](QChar c) {
        return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')
            || c == QLatin1Char('\v') || c == QLatin1Char('\f') || c == QLatin1Char('\r');
    };
    while (i < n && isCSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    long long value = 0;
    for (; i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text[i].unicode() - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

QVector<int> parts(const QString &version)
{
    QVector<int> numbers;
    const QStringList texts = version.split(QLatin1Char('.'));
    for (const QString &t : texts)
        numbers.append(cToInt(t));
    return numbers;
}

bool isNewer(const QString &installed, const QString &offered)
{
    const QVector<int> have = parts(installed);
    if (have.size() != 3)
        return false;
    const QVector<int> offer = parts(offered);
    if (offer.size() != 3)
        return false;
    for (int i = 0; i < 3; ++i) {
        if (offer[i] != have[i])
            return offer[i] > have[i];
    }
    return false;
}

} // namespace VersionCheck
