#include "push/bridge/BridgeOrigins.h"

#include <QDir>
#include <QFileInfo>

BridgeOrigins::BridgeOrigins(const QString &clientDir)
{
    if (!clientDir.isEmpty()) {
        m_clientDir = QDir::cleanPath(QFileInfo(clientDir).absoluteFilePath());
        m_canonicalClientDir = QFileInfo(m_clientDir).canonicalFilePath();
    }
}

QString BridgeOrigins::originOf(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    int port = -1;
    if (scheme == QLatin1String("http"))
        port = url.port(80);
    else if (scheme == QLatin1String("https"))
        port = url.port(443);
    if (port < 0 || url.host().isEmpty())
        return QString();
    return QStringLiteral("%1://%2:%3").arg(scheme, url.host().toLower()).arg(port);
}

void BridgeOrigins::allowAddress(const QString &address)
{
    const QString origin = originOf(QUrl(address.trimmed()));
    if (!origin.isEmpty())
        m_origins.insert(origin);
}

void BridgeOrigins::allowAddresses(const QStringList &addresses)
{
    for (const QString &address : addresses)
        allowAddress(address);
}

bool BridgeOrigins::allows(const QUrl &url) const
{
    if (url.isLocalFile()) {
        if (m_clientDir.isEmpty())
            return false;
        QString path = QDir::cleanPath(url.toLocalFile());
        const QFileInfo info(path);
        if (info.exists())
            path = info.canonicalFilePath();
        for (const QString &root : {m_clientDir, m_canonicalClientDir}) {
            if (!root.isEmpty() && path.startsWith(root + QLatin1Char('/')))
                return true;
        }
        return false;
    }
    const QString origin = originOf(url);
    return !origin.isEmpty() && m_origins.contains(origin);
}

QStringList BridgeOrigins::origins() const
{
    QStringList list = m_origins.values();
    list.sort();
    return list;
}
