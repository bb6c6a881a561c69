#include "service/IconFetch.h"

#include "service/ImageCache.h"

#include <QDir>
#include <QEventLoop>
#include <QHash>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

namespace IconFetch {

QStringList sequential(const QStringList &addresses, const QString &baseDir)
{
    QStringList paths;
    for (const QString &address : addresses)
        paths.append(fetchImageToCache(address, baseDir));
    return paths;
}

namespace {

struct HostQueue
{
    QStringList pending;
    int running = 0;
};

QString hostKey(const QString &address)
{
    const QUrl url(address, QUrl::TolerantMode);
    return url.host() + QLatin1Char(':') + QString::number(url.port(-1));
}

} // namespace

QStringList concurrent(const QStringList &addresses, const QString &baseDir, int perHost,
                       int timeoutMs)
{
    perHost = qMax(1, perHost);
    QHash<QString, QString> local;
    QHash<QString, HostQueue> hosts;
    QStringList hostOrder;
    int remaining = 0;
    for (const QString &address : addresses) {
        if (local.contains(address))
            continue;
        // What a one-at-a-time fetch reports even when its wait is cut
        // short (the thread told to quit): the path, picture or not.
        local.insert(address, QDir::fromNativeSeparators(ImageCache::localPath(baseDir, address)));
        const QString host = hostKey(address);
        if (!hosts.contains(host))
            hostOrder.append(host);
        hosts[host].pending.append(address);
        ++remaining;
    }

    QEventLoop loop;
    // Declared after everything the downloads' handlers use, so the
    // downloads (and their connections) go first.
    std::vector<std::unique_ptr<CloudDownload>> downloads;
    std::function<void(const QString &)> startNext = [&](const QString &host) {
        HostQueue &queue = hosts[host];
        while (queue.running < perHost && !queue.pending.isEmpty()) {
            const QString address = queue.pending.takeFirst();
            downloads.push_back(std::make_unique<CloudDownload>());
            CloudDownload *download = downloads.back().get();
            download->setDownloadInfo(baseDir, address);
            if (timeoutMs > 0)
                download->setTimeoutMs(timeoutMs);
            QObject::connect(download, &CloudDownload::finished_signal, download,
                             [&, download, address, host]() {
                                 local[address] = QDir::fromNativeSeparators(download->localPath());
                                 --hosts[host].running;
                                 --remaining;
                                 startNext(host);
                                 if (remaining == 0)
                                     loop.quit();
                             });
            if (download->begin()) {
                ++queue.running;
            } else {
                local[address] = QDir::fromNativeSeparators(download->localPath());
                --remaining;
            }
        }
    };
    for (const QString &host : hostOrder)
        startNext(host);
    if (remaining > 0)
        loop.exec();

    QStringList paths;
    for (const QString &address : addresses)
        paths.append(local.value(address));
    return paths;
}

} // namespace IconFetch
