#pragma once

#include <QString>

// Which texts may go to the user's web browser. Pages hand the client
// whatever they like; only web addresses leave it, never a local file, a
// script or another program's scheme.
namespace WebAddress {

// The text parsed as an address in tolerant mode, fully percent-encoded,
// when it is an http or https address with a host; otherwise empty, with
// the reason in *why (when given).
QString forBrowser(const QString &text, QString *why = nullptr);

} // namespace WebAddress
