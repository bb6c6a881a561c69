#pragma once

#include <QByteArray>
#include <QString>

// The manifest every update package carries at its root,
// "UpdateManifest.json": {"product": "OrvaneDesk", "version": "9.9.9"}.
// The updater installs a package only when it names the offered version.
namespace UpdateManifest {

QString fileName();
QString product();

struct Manifest
{
    bool valid = false;
    QString version;
};

// From the folder the package was unpacked into.
Manifest read(const QString &folder);
QByteArray make(const QString &version);

} // namespace UpdateManifest
