#include "refservice/UpdatePackages.h"

#include "core/UserFiles.h"
#include "updater/core/UpdateManifest.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <archive.h>
#include <archive_entry.h>
#include <sodium.h>

#include <memory>
#include <unistd.h>

namespace {

// PKCS#8 form of an Ed25519 private key: this prefix, then the 32-byte seed.
const QByteArray kPrivatePrefix = QByteArray::fromHex("302e020100300506032b657004220420");

struct Entry
{
    QString relative;
    QFileInfo info;
};

bool leftOut(const QString &relative)
{
    const QString first = relative.section(QLatin1Char('/'), 0, 0);
    static const QStringList program{QStringLiteral("orvane-service"), QStringLiteral("UpdaterVer.ini"),
                                     UpdateManifest::fileName()};
    return first.startsWith(QLatin1Char('.')) || program.contains(first) || UserFiles::names().contains(first);
}

QList<Entry> entriesOf(const QString &dir)
{
    QList<Entry> entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString relative = QDir(dir).relativeFilePath(it.filePath());
        if (!leftOut(relative))
            entries << Entry{relative, it.fileInfo()};
    }
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.relative < b.relative; });
    return entries;
}

struct WriteDeleter
{
    void operator()(archive *a) const { archive_write_free(a); }
};

bool addData(archive *a, const QString &name, const QByteArray &data, int mode)
{
    archive_entry *e = archive_entry_new();
    archive_entry_set_pathname_utf8(e, name.toUtf8().constData());
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, mode);
    archive_entry_set_size(e, data.size());
    archive_entry_set_mtime(e, QDateTime::currentSecsSinceEpoch(), 0);
    bool ok = archive_write_header(a, e) == ARCHIVE_OK
        && archive_write_data(a, data.constData(), size_t(data.size())) == data.size();
    archive_entry_free(e);
    return ok;
}

bool addFile(archive *a, const Entry &entry)
{
    archive_entry *e = archive_entry_new();
    archive_entry_set_pathname_utf8(e, entry.relative.toUtf8().constData());
    archive_entry_set_mtime(e, entry.info.lastModified().toSecsSinceEpoch(), 0);
    const int mode = entry.info.isExecutable() ? 0755 : 0644;
    bool ok = true;
    if (entry.info.isSymLink()) {
        archive_entry_set_filetype(e, AE_IFLNK);
        archive_entry_set_perm(e, 0777);
        // The link as it is written, not where it leads from here.
        char target[4096];
        const ssize_t n = ::readlink(QFile::encodeName(entry.info.filePath()).constData(), target, sizeof target - 1);
        target[n > 0 ? n : 0] = '\0';
        archive_entry_set_symlink(e, target);
        ok = archive_write_header(a, e) == ARCHIVE_OK;
    } else if (entry.info.isDir()) {
        archive_entry_set_filetype(e, AE_IFDIR);
        archive_entry_set_perm(e, 0755);
        ok = archive_write_header(a, e) == ARCHIVE_OK;
    } else {
        QFile file(entry.info.filePath());
        ok = file.open(QIODevice::ReadOnly);
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, mode);
        archive_entry_set_size(e, file.size());
        ok = ok && archive_write_header(a, e) == ARCHIVE_OK;
        while (ok && !file.atEnd()) {
            const QByteArray chunk = file.read(1 << 20);
            ok = archive_write_data(a, chunk.constData(), size_t(chunk.size())) == chunk.size();
        }
    }
    archive_entry_free(e);
    return ok;
}

} // namespace

UpdatePackages::UpdatePackages(const QString &clientDir, const QString &privateKeyPath, const QString &cacheDir)
    : m_clientDir(clientDir)
    , m_keyPath(privateKeyPath)
    , m_cacheDir(cacheDir)
{
}

QString UpdatePackages::versionOf(const QString &fileName, bool *signature)
{
    static const QRegularExpression re(QStringLiteral("^OrvaneDesk-([0-9A-Za-z_.-]+?)\\.tar\\.gz(\\.sig)?$"));
    const QRegularExpressionMatch m = re.match(fileName);
    if (!m.hasMatch())
        return QString();
    if (signature)
        *signature = !m.captured(2).isEmpty();
    return m.captured(1);
}

bool UpdatePackages::loadKey(QString *error)
{
    if (m_keyLoaded)
        return true;
    QFile file(m_keyPath);
    if (m_keyPath.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("no update signing key at '%1'").arg(m_keyPath);
        return false;
    }
    QByteArray base64;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.startsWith("-----"))
            base64 += line.trimmed();
    }
    const QByteArray der = QByteArray::fromBase64(base64);
    if (der.size() != kPrivatePrefix.size() + 32 || !der.startsWith(kPrivatePrefix)) {
        *error = QStringLiteral("%1 is not an Ed25519 private key").arg(m_keyPath);
        return false;
    }
    unsigned char publicKey[32];
    if (sodium_init() < 0
        || crypto_sign_seed_keypair(publicKey, m_secretKey,
                                    reinterpret_cast<const unsigned char *>(der.constData() + kPrivatePrefix.size()))
            != 0) {
        *error = QStringLiteral("cannot use the key");
        return false;
    }
    m_keyLoaded = true;
    return true;
}

std::optional<UpdatePackages::Package> UpdatePackages::package(const QString &version, const QString &sourceDir,
                                                               QString *error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!loadKey(error))
        return std::nullopt;
    const QString source = sourceDir.isEmpty() ? m_clientDir : sourceDir;
    if (!QFileInfo(source).isDir()) {
        *error = QStringLiteral("no client folder %1").arg(source);
        return std::nullopt;
    }
    const QList<Entry> entries = entriesOf(source);
    // The same files, version and key give the same package.
    QCryptographicHash fingerprint(QCryptographicHash::Sha1);
    fingerprint.addData(version.toUtf8() + '\0' + QFileInfo(source).absoluteFilePath().toUtf8() + '\0');
    fingerprint.addData(reinterpret_cast<const char *>(m_secretKey + 32), 32);
    for (const Entry &entry : entries) {
        fingerprint.addData(entry.relative.toUtf8() + '\0' + QByteArray::number(entry.info.size()) + '\0'
                            + QByteArray::number(entry.info.lastModified().toMSecsSinceEpoch()) + '\0');
    }
    const QString stem = QStringLiteral("%1/OrvaneDesk-%2-%3")
                             .arg(m_cacheDir, version, QString::fromLatin1(fingerprint.result().toHex().left(16)));
    Package made{stem + QStringLiteral(".tar.gz"), stem + QStringLiteral(".tar.gz.sig")};
    if (QFileInfo::exists(made.path) && QFileInfo::exists(made.signature))
        return made;

    QDir().mkpath(m_cacheDir);
    // Packages of earlier builds are not asked for again.
    const QDateTime stale = QDateTime::currentDateTime().addDays(-1);
    for (const QFileInfo &old : QDir(m_cacheDir).entryInfoList(QDir::Files)) {
        if (old.lastModified() < stale)
            QFile::remove(old.filePath());
    }
    // Made under a name of this process, then renamed: services that make
    // the same package at once never see each other's half.
    const QString partial = made.path + QStringLiteral(".%1.part").arg(::getpid());
    {
        std::unique_ptr<archive, WriteDeleter> a(archive_write_new());
        archive_write_set_format_pax_restricted(a.get());
        archive_write_add_filter_gzip(a.get());
        archive_write_set_filter_option(a.get(), "gzip", "compression-level", "3");
        bool ok = archive_write_open_filename(a.get(), QFile::encodeName(partial).constData()) == ARCHIVE_OK;
        for (const Entry &entry : entries) {
            if (!ok)
                break;
            ok = addFile(a.get(), entry);
        }
        ok = ok && addData(a.get(), UpdateManifest::fileName(), UpdateManifest::make(version), 0644);
        ok = ok && addData(a.get(), QStringLiteral("UpdaterVer.ini"),
                           QStringLiteral("[MAINVER]\ncurver=%1\n").arg(version).toUtf8(), 0644);
        ok = ok && archive_write_close(a.get()) == ARCHIVE_OK;
        if (!ok) {
            *error = QStringLiteral("cannot make %1: %2").arg(partial, QString::fromLocal8Bit(archive_error_string(a.get())));
            QFile::remove(partial);
            return std::nullopt;
        }
    }
    QFile file(partial);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(partial);
        return std::nullopt;
    }
    const uchar *data = file.map(0, file.size());
    unsigned char signature[crypto_sign_BYTES];
    if (!data || crypto_sign_detached(signature, nullptr, data, quint64(file.size()), m_secretKey) != 0) {
        *error = QStringLiteral("cannot sign %1").arg(partial);
        QFile::remove(partial);
        return std::nullopt;
    }
    file.close();
    QSaveFile sig(made.signature);
    if (!sig.open(QIODevice::WriteOnly) || sig.write(reinterpret_cast<const char *>(signature), sizeof signature) != sizeof signature
        || !sig.commit() || ::rename(QFile::encodeName(partial).constData(), QFile::encodeName(made.path).constData()) != 0) {
        *error = QStringLiteral("cannot keep %1").arg(made.path);
        QFile::remove(partial);
        return std::nullopt;
    }
    return made;
}
