#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QNetworkReply;
class QSaveFile;
class QTimer;
class QEventLoop;

namespace ImageCache {

constexpr int kTimeoutMs = 10000;
// A picture that may go on into the cache behind a wait that ended takes
// at most this long.
constexpr int kLateTimeoutMs = 60000;
// No picture a service points to comes near this; a body that passes it
// (counted after decompression) is cut off and fails like any transfer.
constexpr qint64 kMaxPictureBytes = 16 * 1024 * 1024;

// Pictures come over http and https only: another scheme could name a
// local file (the stored password) or a FIFO that never ends.
bool isFetchable(const QString &address);

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
// status 200 becomes the cache file, readable by its owner only; a failed,
// refused, oversized or timed-out transfer, or one that cannot be written
// in full, is aborted and leaves no partial file (an earlier complete copy
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
    // address, no file name in it, not http or https, cache not writable).
    bool begin();

    // Before the run: the base directory; afterwards the cache path, whether
    // or not the picture arrived.
    QString localPath() const { return m_localPath; }
    // True when the run stored a picture.
    bool succeeded() const { return m_succeeded; }
    bool isRunning() const { return !m_reply.isNull(); }

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    void setMaxBytes(qint64 bytes) { m_maxBytes = bytes; }

signals:
    void readProgress(qint64 received, qint64 total);
    void finished_signal();

public slots:
    void requestTimeout();
    void requestFinished();
    void httpReadyRead();

private:
    void finish(bool ok);
    void fail();

    QString m_localPath;
    QPointer<QNetworkReply> m_reply;
    QPointer<QEventLoop> m_loop;
    QTimer *m_timer = nullptr;
    QString m_address;
    std::unique_ptr<QSaveFile> m_file;
    int m_timeoutMs = ImageCache::kTimeoutMs;
    qint64 m_maxBytes = ImageCache::kMaxPictureBytes;
    qint64 m_received = 0;
    bool m_succeeded = false;
};

// Tells the widgets that show a cached picture when a download has written
// it anew, so that a picture that arrives after its widget was built still
// reaches it. Lives in the GUI thread.
class PictureLanding : public QObject
{
    Q_OBJECT
public:
    static PictureLanding *instance();

    // Calls show() each time a download stores the picture at path (a cache
    // path as fetchImageToCache and the catalogue name it), for as long as
    // context lives; in context's thread. Disconnect the result to stop.
    static QMetaObject::Connection follow(QObject *context, const QString &path,
                                          std::function<void()> show);

signals:
    // A complete picture was stored at this path (forward slashes).
    void landed(const QString &path);

private:
    PictureLanding() = default;
};

// Downloads a picture into appDirPath/CacheImage and returns the local path
// with forward slashes (the folder itself for an address that names no
// file). Waits at most 10 s.
QString fetchImageToCache(const QString &address);
// The same into baseDir/CacheImage.
QString fetchImageToCache(const QString &address, const QString &baseDir);
