#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

// Which pages may reach the bridge: the origins of the addresses the
// service itself named (its own address, the store, the user's
// applications, renewal and user-centre pages) and the client's own pages
// in its folder. A page reached from one of them by a link or a redirect
// to anywhere else gets no bridge.
class BridgeOrigins
{
public:
    explicit BridgeOrigins(const QString &clientDir = QString());

    // Allows the origin of an http or https address; anything else
    // (empty, other schemes, no host) is ignored.
    void allowAddress(const QString &address);
    void allowAddresses(const QStringList &addresses);

    bool allows(const QUrl &url) const;

    // "scheme://host:port" with the scheme's default port filled in; empty
    // for anything but http and https with a host.
    static QString originOf(const QUrl &url);

    QStringList origins() const;

private:
    QString m_clientDir;
    QString m_canonicalClientDir;
    QSet<QString> m_origins;
};
