#include "service/RequestText.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QUrl>

namespace RequestText {

quint32 timeCheckValue(qint64 t)
{
    // The service computes the same pair; keep the remainder non-negative
    // even for clocks before 1970.
    qint64 r = t % 10000;
    if (r < 0)
        r += 10000;
    return quint32(3 * r + 2345);
}

QString timeCheckParams(qint64 t)
{
    return QStringLiteral("t_=%1&p_=%2").arg(t).arg(timeCheckValue(t));
}

QString timeCheckParamsNow()
{
    return timeCheckParams(QDateTime::currentSecsSinceEpoch());
}

QString encodeValue(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

QString formText(const Params &params)
{
    QString text;
    for (const auto &p : params) {
        if (!text.isEmpty())
            text += QLatin1Char('&');
        text += p.first + QLatin1Char('=') + encodeValue(p.second);
    }
    return text;
}

QString clientParams(const QString &hardwareAddress, const QString &osFamily,
                     const QString &osDisplayName, const QString &version)
{
    return QStringLiteral("&i_=%1&d_=%2&dv_=%3&v_=V%4")
        .arg(encodeValue(hardwareAddress), encodeValue(osFamily), encodeValue(osDisplayName),
             encodeValue(version));
}

QString windowsVersionName(quint32 major, quint32 minor, quint32 platformId,
                           quint32 productType, int serverR2)
{
    const bool workstation = productType == 1;
    switch (major) {
    case 4:
        if (minor == 0 && platformId == 2)
            return QStringLiteral("Microsoft Windows NT 4.0");
        if (minor == 0 && platformId == 1)
            return QStringLiteral("Microsoft Windows 95");
        if (minor == 10)
            return QStringLiteral("Microsoft Windows 98");
        if (minor == 90)
            return QStringLiteral("Microsoft Windows Me");
        break;
    case 5:
        if (minor == 0)
            return QStringLiteral("Microsoft Windows 2000");
        if (minor == 1)
            return QStringLiteral("Microsoft Windows XP");
        if (minor == 2) {
            if (workstation)
                return QStringLiteral("Microsoft Windows XP Professional x64 Edition");
            return serverR2 == 0 ? QStringLiteral("Microsoft Windows Server 2003")
                                 : QStringLiteral("Microsoft Windows Server 2003 R2");
        }
        break;
    case 6:
        if (minor == 0)
            return workstation ? QStringLiteral("Microsoft Windows Vista")
                               : QStringLiteral("Microsoft Windows Server 2008");
        if (minor == 1)
            return workstation ? QStringLiteral("Microsoft Windows 7")
                               : QStringLiteral("Microsoft Windows Server 2008 R2");
        break;
    case 10:
        return QStringLiteral("Microsoft Windows 10");
    default:
        break;
    }
    return QString();
}

QString osDisplayName(const QString &name, const QString &servicePack)
{
    return name + QLatin1Char(' ') + servicePack;
}

QString accountKey(const QString &account)
{
    for (const QChar c : account) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return QStringLiteral("username");
    }
    return QStringLiteral("phone");
}

QString md5Hex(const QString &text)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

QString loginBody(const QString &account, const QString &password)
{
    return formText({{accountKey(account), account}, {QStringLiteral("pwd"), md5Hex(password)}});
}

QString plainUrl(const QString &base, const QString &path, const QString &timeCheck,
                 const QString &identity)
{
    return base + path + timeCheck + identity;
}

QString userUrl(const QString &base, const QString &path, const QString &timeCheck,
                const QString &identity, const QString &uid, const QString &token,
                const Params &extra)
{
    QString url = plainUrl(base, path, timeCheck, identity) + QLatin1Char('&')
        + formText({{QStringLiteral("uid"), uid}, {QStringLiteral("token"), token}});
    if (!extra.isEmpty())
        url += QLatin1Char('&') + formText(extra);
    return url;
}

QString updateUrl(const QString &base, const QString &path, const QString &timeCheck,
                  const QString &identity, int regionId)
{
    return plainUrl(base, path, timeCheck, identity) + QStringLiteral("&region_id=%1").arg(regionId);
}

QString loginUrl(const QString &base, const QString &timeCheck, const QString &identity)
{
    return base + QStringLiteral("NSVUserService/login/json?") + timeCheck + identity;
}

} // namespace RequestText
