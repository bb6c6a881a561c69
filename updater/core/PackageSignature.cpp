#include "updater/core/PackageSignature.h"

#include "updater/core/UpdaterLog.h"

#include <QFile>

#include <sodium.h>

namespace PackageSignature {

Check verifyFile(const QString &packagePath, const QByteArray &signature, const QByteArray &publicKey)
{
    if (sodium_init() < 0) {
        qCWarning(lcUpdater) << "libsodium cannot start";
        return Check::Unreadable;
    }
    if (signature.size() != kSignatureBytes || publicKey.size() != kPublicKeyBytes)
        return Check::Invalid;
    QFile file(packagePath);
    if (!file.open(QIODevice::ReadOnly))
        return Check::Unreadable;
    const qint64 size = file.size();
    const unsigned char *data = nullptr;
    static const unsigned char empty = 0;
    if (size > 0) {
        data = file.map(0, size);
        if (!data)
            return Check::Unreadable;
    } else {
        data = &empty;
    }
    const int result = crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(signature.constData()),
                                                   data, quint64(size),
                                                   reinterpret_cast<const unsigned char *>(publicKey.constData()));
    return result == 0 ? Check::Valid : Check::Invalid;
}

} // namespace PackageSignature
