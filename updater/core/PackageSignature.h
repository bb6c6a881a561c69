#pragma once

#include <QByteArray>
#include <QString>

// Update packages are signed as a whole with Ed25519; the 64-byte
// signature is served beside the package (its address + ".sig").
namespace PackageSignature {

constexpr int kSignatureBytes = 64;
constexpr int kPublicKeyBytes = 32;

enum class Check { Valid, Invalid, Unreadable };

// Checks signature over every byte of the file at packagePath. The file
// is mapped, not read into memory.
Check verifyFile(const QString &packagePath, const QByteArray &signature, const QByteArray &publicKey);

} // namespace PackageSignature
