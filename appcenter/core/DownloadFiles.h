#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

// Where a download lives on disk and what is kept beside it.
namespace DownloadFiles {

// The installer's file name: the last segment of the address's decoded
// path. Empty when that names no plain file in the folder ("", ".", "..",
// or a name that carries a separator).
QString fileNameOf(const QUrl &url);

// dir + "/downloadApp", and with a key (an application's id) the folder
// of that application's downloads in it: dir + "/downloadApp/" + key, so
// that two applications whose installers share a file name never share
// a file. A key that is no plain name stands for itself as a digest.
QString folderOf(const QString &dir, const QString &key = QString());

// The partial file's name ends in "_tmp"; the final file is the same
// without it.
QString partialPath(const QString &folder, const QString &fileName);
QString finalPath(const QString &partialPath);

// Beside a partial file: the address it came from and the first answer's
// validators and length, so that a continuation, in this run or a later
// one, can make sure the server still has the same file.
struct ResumeRecord
{
    QString url;
    QByteArray etag;
    QByteArray lastModified;
    qint64 length = -1;

    // What If-Range carries: a strong entity tag, else the date. Empty
    // when the server gave neither; then nothing can be continued.
    QByteArray validator() const;
    // A partial file of localSize bytes can be continued from this record
    // for a download from url.
    bool continues(const QString &url, qint64 localSize) const;
};

QString recordPath(const QString &partialPath);
std::optional<ResumeRecord> readRecord(const QString &path);
// Written whole or not at all.
bool writeRecord(const QString &path, const ResumeRecord &record);

} // namespace DownloadFiles
