#include "updater/core/PackageUnpack.h"

#include "updater/core/UpdaterLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <memory>

namespace PackageUnpack {

QString checkEntry(const QString &name, Kind kind, const QString &linkTarget, QString *why)
{
    const auto refuse = [why](const QString &reason) {
        if (why)
            *why = reason;
        return QString();
    };
    if (name.isEmpty() || name.contains(QChar(0)))
        return refuse(QStringLiteral("an entry without a name"));
    if (name.startsWith(QLatin1Char('/')))
        return refuse(QStringLiteral("absolute name %1").arg(name));
    QStringList parts;
    for (const QString &part : name.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String(".."))
            return refuse(QStringLiteral("name leaving the folder %1").arg(name));
        parts << part;
    }
    if (parts.isEmpty()) {
        if (kind == Kind::Directory)
            return QStringLiteral("."); // the archive's root: nothing to make
        return refuse(QStringLiteral("an entry without a name"));
    }
    switch (kind) {
    case Kind::File:
    case Kind::Directory:
        break;
    case Kind::SymLink: {
        if (linkTarget.isEmpty() || linkTarget.startsWith(QLatin1Char('/')))
            return refuse(QStringLiteral("link %1 to %2").arg(name, linkTarget));
        // Where the link points, from the folder it lies in.
        QStringList at = parts.mid(0, parts.size() - 1);
        for (const QString &part : linkTarget.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            if (part == QLatin1String("."))
                continue;
            if (part == QLatin1String("..")) {
                if (at.isEmpty())
                    return refuse(QStringLiteral("link %1 leaving the folder").arg(name));
                at.removeLast();
            } else {
                at << part;
            }
        }
        break;
    }
    case Kind::HardLink:
        return refuse(QStringLiteral("hard link %1").arg(name));
    case Kind::Other:
        return refuse(QStringLiteral("special file %1").arg(name));
    }
    return parts.join(QLatin1Char('/'));
}

namespace {

struct ReadDeleter
{
    void operator()(archive *a) const { archive_read_free(a); }
};
struct WriteDeleter
{
    void operator()(archive *a) const { archive_write_free(a); }
};

Kind kindOf(archive_entry *entry)
{
    if (archive_entry_hardlink(entry))
        return Kind::HardLink;
    switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
        return Kind::File;
    case AE_IFDIR:
        return Kind::Directory;
    case AE_IFLNK:
        return Kind::SymLink;
    default:
        return Kind::Other;
    }
}

Result failed(Outcome outcome, const QString &detail)
{
    Result result;
    result.outcome = outcome;
    result.detail = detail;
    return result;
}

// A write that failed for want of room is told apart from other failures.
Outcome writeOutcome(archive *a)
{
    const int error = archive_errno(a);
    return error == ENOSPC || error == EDQUOT ? Outcome::DiskFull : Outcome::WriteFailed;
}

} // namespace

Result unpack(const QString &archivePath, const QString &stagingDir, const std::atomic<bool> *cancel)
{
    std::unique_ptr<archive, ReadDeleter> in(archive_read_new());
    archive_read_support_format_tar(in.get());
    archive_read_support_filter_gzip(in.get());
    archive_read_support_filter_xz(in.get());
    archive_read_support_filter_zstd(in.get());
    if (archive_read_open_filename(in.get(), QFile::encodeName(archivePath).constData(), 256 * 1024) != ARCHIVE_OK)
        return failed(Outcome::Broken, QString::fromLocal8Bit(archive_error_string(in.get())));

    std::unique_ptr<archive, WriteDeleter> out(archive_write_disk_new());
    // Never through a link, never "..": the checks above, enforced again
    // where the files are made. Modes and times as packed.
    archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME
                                                  | ARCHIVE_EXTRACT_SECURE_SYMLINKS
                                                  | ARCHIVE_EXTRACT_SECURE_NODOTDOT);
    // Without links in it, or the write-side check would refuse every entry.
    const QString root = QFileInfo(stagingDir).canonicalFilePath();
    if (root.isEmpty())
        return failed(Outcome::WriteFailed, QStringLiteral("no staging folder %1").arg(stagingDir));
    Result result;
    archive_entry *entry = nullptr;
    for (;;) {
        const int r = archive_read_next_header(in.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r < ARCHIVE_WARN)
            return failed(Outcome::Broken, QString::fromLocal8Bit(archive_error_string(in.get())));
        if (cancel && cancel->load())
            return failed(Outcome::Cancelled, QString());
        const QString name = QString::fromUtf8(archive_entry_pathname_utf8(entry)
                                                   ? archive_entry_pathname_utf8(entry)
                                                   : archive_entry_pathname(entry));
        const Kind kind = kindOf(entry);
        const QString target = kind == Kind::SymLink ? QFile::decodeName(archive_entry_symlink(entry)) : QString();
        QString why;
        const QString relative = checkEntry(name, kind, target, &why);
        if (relative.isEmpty())
            return failed(Outcome::Refused, why);
        if (relative == QLatin1String("."))
            continue;
        const QByteArray path = QFile::encodeName(root + QLatin1Char('/') + relative);
        archive_entry_set_pathname(entry, path.constData());
        // Owners are this user's; set-id bits have no place in a client folder.
        archive_entry_set_perm(entry, archive_entry_perm(entry) & 0777);
        if (archive_write_header(out.get(), entry) < ARCHIVE_WARN)
            return failed(writeOutcome(out.get()),
                          QString::fromLocal8Bit(archive_error_string(out.get())));
        if (kind == Kind::File) {
            const void *block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            for (;;) {
                const int rb = archive_read_data_block(in.get(), &block, &size, &offset);
                if (rb == ARCHIVE_EOF)
                    break;
                if (rb < ARCHIVE_WARN)
                    return failed(Outcome::Broken, QString::fromLocal8Bit(archive_error_string(in.get())));
                if (cancel && cancel->load())
                    return failed(Outcome::Cancelled, QString());
                if (archive_write_data_block(out.get(), block, size, offset) < ARCHIVE_WARN)
                    return failed(writeOutcome(out.get()),
                                  QString::fromLocal8Bit(archive_error_string(out.get())));
                result.bytes += qint64(size);
            }
        }
        if (archive_write_finish_entry(out.get()) < ARCHIVE_WARN)
            return failed(writeOutcome(out.get()), QString::fromLocal8Bit(archive_error_string(out.get())));
    }
    if (archive_write_close(out.get()) != ARCHIVE_OK)
        return failed(writeOutcome(out.get()), QString::fromLocal8Bit(archive_error_string(out.get())));
    result.outcome = Outcome::Done;
    return result;
}

} // namespace PackageUnpack
