#include "platform/WebAddress.h"

#include <QUrl>

namespace WebAddress {

QString forBrowser(const QString &text, QString *why)
{
    auto refuse = [why](const QString &reason) {
        if (why)
            *why = reason;
        return QString();
    };
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return refuse(QStringLiteral("empty address"));
    const QUrl url(trimmed, QUrl::TolerantMode);
    if (!url.isValid())
        return refuse(QStringLiteral("not an address: %1").arg(url.errorString()));
    // QUrl keeps schemes in lower case, so "HTTP://" passes as well.
    const QString scheme = url.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return refuse(QStringLiteral("scheme \"%1\" is not http or https").arg(scheme));
    if (url.host().isEmpty())
        return refuse(QStringLiteral("no host"));
    return url.toString(QUrl::FullyEncoded);
}

} // namespace WebAddress
