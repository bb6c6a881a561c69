#pragma once

#include <QString>
#include <QUrl>

// Deployment values of the sign-in.
namespace LoginDeployment {

// The host the start-up connectivity probe looks up: the service's own.
// Whether the service can be reached is what decides between an online and
// an offline sign-in, so a service on this machine (or on a network without
// internet access) counts as reachable. Empty when the address has no host.
QString probeHost(const QString &serverAddress);

// The account site's registration page.
QUrl registerPageUrl();

} // namespace LoginDeployment
