#include "appcenter/core/DownloadFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>

namespace DownloadFiles {

namespace {
const QString kPartialSuffix = QStringLiteral("_tmp");
} // namespace

QString fileNameOf(const QUrl &url)
{
    const QString name = url.fileName(QUrl::FullyDecoded);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
        || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QChar(0)))
        return QString();
    return name;
}

QString folderOf(const QString &dir, const QString &key)
{
    const QString folder = QDir(dir).filePath(QStringLiteral("downloadApp"));
    if (key.isEmpty())
        return folder;
    // Ids come from the service and its pages: only a short plain name
    // becomes a folder name as it is.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    const QString name = plain.match(key).hasMatch()
        ? key
        : QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    return QDir(folder).filePath(name);
}

QString partialPath(const QString &folder, const QString &fileName)
{
    return QDir(folder).filePath(fileName + kPartialSuffix);
}

QString finalPath(const QString &partialPath)
{
    return partialPath.endsWith(kPartialSuffix) ? partialPath.left(partialPath.size() - kPartialSuffix.size())
                                                : QString();
}

QByteArray ResumeRecord::validator() const
{
    // A weak tag may not be used for a range of bytes.
    if (etag.startsWith('"'))
        return etag;
    return lastModified;
}

bool ResumeRecord::continues(const QString &address, qint64 localSize) const
{
    return address == url && !validator().isEmpty() && localSize > 0
        && (length < 0 || localSize <= length);
}

QString recordPath(const QString &partialPath)
{
    return partialPath + QStringLiteral(".resume");
}

std::optional<ResumeRecord> readRecord(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject o = QJsonDocument::fromJson(file.read(64 * 1024)).object();
    if (o.isEmpty())
        return std::nullopt;
    ResumeRecord record;
    record.url = o.value(QStringLiteral("url")).toString();
    record.etag = o.value(QStringLiteral("etag")).toString().toLatin1();
    record.lastModified = o.value(QStringLiteral("lastModified")).toString().toLatin1();
    record.length = qint64(o.value(QStringLiteral("length")).toDouble(-1));
    return record;
}

bool writeRecord(const QString &path, const ResumeRecord &record)
{
    const QJsonObject o{
        {QStringLiteral("url"), record.url},
        {QStringLiteral("etag"), QString::fromLatin1(record.etag)},
        {QStringLiteral("lastModified"), QString::fromLatin1(record.lastModified)},
        {QStringLiteral("length"), double(record.length)},
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(o).toJson(QJsonDocument::Compact));
    return file.commit();
}

} // namespace DownloadFiles
