#pragma once

#include <QString>

#include <mutex>
#include <optional>

// Update packages of the client, made from a client folder (the one the
// service lies in, i.e. the build's) with the offered version stamped in:
// every program file of the folder, "UpdateManifest.json" naming the
// version and an "UpdaterVer.ini" whose curver is the version; the user's
// files are left out. A gzip-compressed tar, signed as a whole with the
// build's development Ed25519 key; the 64-byte signature is served beside
// it ("….tar.gz.sig").
//
// Packages are kept in a cache folder shared by every service of this
// user, by version and by a fingerprint of the folder's files, so tests
// that ask for the same version again get it at once.
class UpdatePackages
{
public:
    UpdatePackages(const QString &clientDir, const QString &privateKeyPath, const QString &cacheDir);

    struct Package
    {
        QString path;      // the package
        QString signature; // its signature file
    };
    // The package of version made from sourceDir (empty: the client folder);
    // nullopt with a reason when it cannot be made.
    std::optional<Package> package(const QString &version, const QString &sourceDir, QString *error);

    // "OrvaneDesk-9.9.9.tar.gz" -> "9.9.9"; also for the ".sig" beside it.
    static QString versionOf(const QString &fileName, bool *signature);

private:
    bool loadKey(QString *error);

    QString m_clientDir;
    QString m_keyPath;
    QString m_cacheDir;
    std::mutex m_mutex;
    bool m_keyLoaded = false;
    unsigned char m_secretKey[64] = {};
};
