#pragma once

#include <QString>

#include <atomic>

// Unpacks a verified update package (a tar archive, gzip-, xz- or
// zstd-compressed) into an empty staging folder with libarchive. Nothing
// may land outside the folder: absolute names, ".." and links that point
// out of it are refused, hard links and device files too, and nothing is
// ever written through a link.
namespace PackageUnpack {

enum class Kind { File, Directory, SymLink, HardLink, Other };

// The entry's name as it goes below the staging folder ("./a/b" gives
// "a/b"), or empty with a reason when the entry may not be unpacked.
QString checkEntry(const QString &name, Kind kind, const QString &linkTarget, QString *why);

enum class Outcome { Done, Refused, Broken, DiskFull, WriteFailed, Cancelled };

struct Result
{
    Outcome outcome = Outcome::Broken;
    QString detail;
    qint64 bytes = 0; // unpacked file bytes
};

// cancel is read between blocks; the folder keeps what was written so far.
Result unpack(const QString &archivePath, const QString &stagingDir, const std::atomic<bool> *cancel = nullptr);

} // namespace PackageUnpack
