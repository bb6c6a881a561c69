#include "service/IconFetch.h"

#include "service/ImageCache.h"

#include <QDir>
#include <QEventLoop>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include <functional>

namespace IconFetch {

QStringList sequential(const QStringList &addresses, const QString &baseDir)
{
    QStringList paths;
    for (const QString &address : addresses)
        paths.append(fetchImageToCache(address, baseDir));
    return paths;
}

namespace {

QString hostKey(const QString &address)
{
    const QUrl url(address, QUrl::TolerantMode);
    return url.host() + QLatin1Char(':') + QString::number(url.port(-1));
}

// The downloads of one call, a few per host at a time. It may outlive the
// call (the rest of its pictures still coming in), so it keeps everything
// its downloads need itself; its downloads are its children and go with it.
class Batch : public QObject
{
public:
    Batch(const QString &baseDir, int perHost, int timeoutMs, QObject *parent)
        : QObject(parent)
        , m_baseDir(baseDir)
        , m_perHost(qMax(1, perHost))
        , m_timeoutMs(timeoutMs)
    {
    }

    void add(const QString &address)
    {
        const QString host = hostKey(address);
        if (!m_hosts.contains(host))
            m_hostOrder.append(host);
        m_hosts[host].pending.append(address);
        ++m_remaining;
    }

    void start()
    {
        for (const QString &host : qAsConst(m_hostOrder))
            startNext(host);
    }

    bool isDone() const { return m_remaining == 0; }

    // Called once the last download has ended.
    std::function<void()> onDone;

private:
    struct HostQueue
    {
        QStringList pending;
        int running = 0;
    };

    void startNext(const QString &host)
    {
        HostQueue &queue = m_hosts[host];
        while (queue.running < m_perHost && !queue.pending.isEmpty()) {
            const QString address = queue.pending.takeFirst();
            auto *download = new CloudDownload(this);
            download->setDownloadInfo(m_baseDir, address);
            if (m_timeoutMs > 0)
                download->setTimeoutMs(m_timeoutMs);
            connect(download, &CloudDownload::finished_signal, this, [this, download, host]() {
                download->deleteLater();
                --m_hosts[host].running;
                --m_remaining;
                startNext(host);
                if (isDone() && onDone)
                    onDone();
            });
            if (download->begin()) {
                ++queue.running;
            } else {
                delete download;
                --m_remaining;
            }
        }
    }

    QString m_baseDir;
    int m_perHost;
    int m_timeoutMs;
    QHash<QString, HostQueue> m_hosts;
    QStringList m_hostOrder;
    int m_remaining = 0;
};

} // namespace

QStringList concurrent(const QStringList &addresses, const QString &baseDir, int perHost,
                       int timeoutMs, QObject *owner)
{
    // The paths depend on the addresses alone: what a one-at-a-time fetch
    // reports too, picture or not, also when a wait is cut short.
    QStringList paths;
    QSet<QString> seen;
    // With an owner a picture may go on past the wait, so its own time-out
    // is the late one: one cut off at the end of the wait would never come.
    auto *batch = new Batch(baseDir, perHost, owner ? ImageCache::kLateTimeoutMs : timeoutMs, owner);
    for (const QString &address : addresses) {
        paths.append(QDir::fromNativeSeparators(ImageCache::localPath(baseDir, address)));
        if (!seen.contains(address)) {
            seen.insert(address);
            batch->add(address);
        }
    }
    batch->start();

    const QPointer<Batch> guard(batch);
    if (!batch->isDone()) {
        // As long as one picture may take, however many there are.
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(batch, &QObject::destroyed, &loop, &QEventLoop::quit);
        batch->onDone = [&loop]() { loop.quit(); };
        deadline.start(timeoutMs > 0 ? timeoutMs : ImageCache::kTimeoutMs);
        loop.exec();
    }
    if (!guard)
        return paths; // its owner went during the wait, and took it along
    if (batch->isDone() || !owner) {
        delete batch; // ends whatever is still under way
        return paths;
    }
    // The rest completes into the cache behind the caller's back, each
    // picture within its own time-out; the batch goes when it is done or
    // with its owner, whichever comes first.
    batch->onDone = [batch]() { batch->deleteLater(); };
    return paths;
}

} // namespace IconFetch
