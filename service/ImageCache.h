#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QNetworkReply;
class QSaveFile;
class QTimer;
class QEventLoop;

namespace ImageCache {

constexpr int kTimeoutMs = 10000;

// "CacheImage" below the base directory, forward slashes.
QString cacheDir(const QString &baseDir);

// Cache file name of an address: hex SHA-1 of the whole address, then "."
// and the suffix of the path's last component when it has one. Two
// addresses never share a file; one address always maps to the same one.
// Empty when the address is empty or its path ends in "/".
QString cacheFileName(const QString &address);

// The path a download of the address into baseDir reports, whether or not
// the picture arrives: baseDir itself when either is empty, the cache
// folder when the address names no file, else the cache file.
QString localPath(const QString &baseDir, const QString &address);

} // namespace ImageCache

// Downloads one picture into the cache. A transfer is either awaited with
// run() (nested event loop on the caller's thread) or started with begin()
// and reported by finished_signal(). Only a complete body that came with
// status 200 becomes the cache file; a failed, refused or timed-out
// transfer is aborted and leaves no partial file (an earlier complete copy
// of the same address stays).
//
// A plain QObject: the download never needs a thread of its own.
class CloudDownload : public QObject
{
    Q_OBJECT
public:
    explicit CloudDownload(QObject *parent = nullptr);
    ~CloudDownload() override;

    void setDownloadInfo(const QString &baseDir, const QString &address);

    // Runs the transfer to its end or its time-out.
    void run();
    // Starts the transfer and returns at once; finished_signal() follows.
    // Returns false, and no signal follows, when nothing was sent (no
    // address, no file name in it, cache not writable).
    bool begin();

    // Before the run: the base directory; afterwards the cache path, whether
    // or not the picture arrived.
    QString localPath() const { return m_localPath; }
    // True when the run stored a picture.
    bool succeeded() const { return m_succeeded; }
    bool isRunning() const { return !m_reply.isNull(); }

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

signals:
    void readProgress(qint64 received, qint64 total);
    void finished_signal();

public slots:
    void requestTimeout();
    void requestFinished();
    void httpReadyRead();

private:
    void finish(bool ok);

    QString m_localPath;
    QPointer<QNetworkReply> m_reply;
    QPointer<QEventLoop> m_loop;
    QTimer *m_timer = nullptr;
    QString m_address;
    std::unique_ptr<QSaveFile> m_file;
    int m_timeoutMs = ImageCache::kTimeoutMs;
    bool m_succeeded = false;
    bool m_writeFailed = false;
};

// Downloads a picture into appDirPath/CacheImage and returns the local path
// with forward slashes (the folder itself for an address that names no
// file). Waits at most 10 s.
QString fetchImageToCache(const QString &address);
// The same into baseDir/CacheImage.
QString fetchImageToCache(const QString &address, const QString &baseDir);
