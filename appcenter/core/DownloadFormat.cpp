#include "appcenter/core/DownloadFormat.h"

#include <QDateTime>
#include <QStringList>
#include <QtGlobal>

#include <limits>

QString formatSize(qint64 bytes, bool perSecond)
{
    constexpr qint64 kKB = 1024;
    constexpr qint64 kMB = kKB * 1024;
    constexpr qint64 kGB = kMB * 1024;
    qint64 value = 0;
    QString unit = QStringLiteral(" B");
    if (bytes >= kGB) {
        value = bytes / kGB;
        unit = QStringLiteral(" GB");
    } else if (bytes >= kMB) {
        value = bytes / kMB;
        unit = QStringLiteral(" MB");
    } else if (bytes >= kKB) {
        value = bytes / kKB;
        unit = QStringLiteral(" KB");
    } else if (bytes > 0) {
        value = bytes;
    }
    if (perSecond)
        unit += QStringLiteral("/S");
    return QStringLiteral("%1%2").arg(value).arg(unit);
}

QString formatTime(qint64 seconds)
{
    if (seconds <= 0)
        return QStringLiteral("0s");
    const qint64 days = seconds / 86400;
    const qint64 hours = seconds % 86400 / 3600;
    const qint64 minutes = seconds % 3600 / 60;
    const qint64 secs = seconds % 60;
    QStringList parts;
    if (days > 0)
        parts << QStringLiteral("%1d").arg(days);
    if (hours > 0)
        parts << QStringLiteral("%1h").arg(hours);
    if (minutes > 0)
        parts << QStringLiteral("%1m").arg(minutes);
    if (secs > 0)
        parts << QStringLiteral("%1s").arg(secs);
    return parts.join(QLatin1Char(' '));
}

ProgressScale progressScale(qint64 received, qint64 total)
{
    ProgressScale scale;
    if (total <= 0)
        return scale;
    received = qBound<qint64>(0, received, total);
    // Both figures halved alike until the total fits: the proportion stays.
    int shift = 0;
    while ((total >> shift) > std::numeric_limits<int>::max())
        ++shift;
    scale.maximum = int(total >> shift);
    scale.value = int(received >> shift);
    return scale;
}

QString pictureStyle(const QString &path)
{
    // Quoted: a cache path may hold spaces or brackets.
    QString quoted = path;
    quoted.replace(QLatin1Char('\\'), QLatin1Char('/')).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QStringLiteral("border-image: url(\"%1\");").arg(quoted);
}

QString finishedText(const QDateTime &when)
{
    return QStringLiteral("下载完成   ") + when.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}
