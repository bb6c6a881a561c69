// Downloads one large generated file from the reference service on
// loopback twice, with curl and with DownLoadManager, into the same
// folder, and prints both throughputs, their ratio and the client's peak
// memory growth while it downloads.
//
//     bench_download [--size BYTES] [--dir FOLDER] [--runs N]
//
// The folder should be on a real disk (default: the current folder), not
// a memory file system, or the written file counts as memory.

#include "appcenter/core/DownLoadManager.h"
#include "tests/support/RefServiceProcess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

namespace {

// Resident memory of this process in KiB, from /proc.
qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

double mibPerSecond(qint64 bytes, qint64 ms)
{
    return ms > 0 ? double(bytes) / (1024.0 * 1024.0) / (double(ms) / 1000.0) : 0.0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("size"), QStringLiteral("File size in bytes (default 1 GiB)."),
                      QStringLiteral("bytes"), QString::number(qint64(1) << 30)});
    parser.addOption({QStringLiteral("dir"), QStringLiteral("Folder on the disk to download into."),
                      QStringLiteral("dir"), QDir::currentPath()});
    parser.addOption({QStringLiteral("runs"), QStringLiteral("Runs of each client (best is kept)."),
                      QStringLiteral("n"), QStringLiteral("1")});
    parser.process(app);
    const qint64 size = parser.value(QStringLiteral("size")).toLongLong();
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());
    QTextStream out(stdout);

    RefServiceProcess service;
    if (!service.isRunning()) {
        out << "reference service did not start: " << service.errorText() << '\n';
        return 1;
    }
    QTemporaryDir work(QDir(parser.value(QStringLiteral("dir"))).filePath(QStringLiteral("bench-download-XXXXXX")));
    if (!work.isValid()) {
        out << "cannot make a folder in " << parser.value(QStringLiteral("dir")) << '\n';
        return 1;
    }
    const QString url = service.blobUrl(size);
    const QString folder = work.filePath(QStringLiteral("downloadApp"));
    QDir().mkpath(folder);
    const QString target = QDir(folder).filePath(QFileInfo(QUrl(url).path()).fileName());
    out << "file: " << size << " bytes from " << url << "\ninto: " << folder << '\n';
    out.flush();

    qint64 bestCurlMs = -1;
    qint64 bestCurlSyncMs = -1;
    qint64 bestClientMs = -1;
    qint64 peakGrowthKiB = 0;
    for (int run = 0; run < runs; ++run) {
        QFile::remove(target);
        QElapsedTimer clock;
        clock.start();
        const int rc = QProcess::execute(QStringLiteral("curl"),
                                         {QStringLiteral("-sf"), QStringLiteral("-o"), target, url});
        const qint64 curlMs = clock.elapsed();
        if (rc != 0 || QFileInfo(target).size() != size) {
            out << "curl failed (" << rc << ")\n";
            return 1;
        }
        // The client puts its file on the disk before it names it finished;
        // curl does not, so its time is also given with the same flush.
        QProcess::execute(QStringLiteral("sync"), {target});
        const qint64 curlSyncMs = clock.elapsed();
        bestCurlMs = bestCurlMs < 0 ? curlMs : std::min(bestCurlMs, curlMs);
        bestCurlSyncMs = bestCurlSyncMs < 0 ? curlSyncMs : std::min(bestCurlSyncMs, curlSyncMs);
        QFile::remove(target);

        DownLoadManager manager;
        manager.setSupportBreakpoint(true);
        manager.setLauncher([](const QString &) { return true; });
        QEventLoop loop;
        bool ok = false;
        QObject::connect(&manager, &DownLoadManager::signalReplyFinished, &loop, [&](int) {
            ok = true;
            loop.quit();
        });
        QObject::connect(&manager, &DownLoadManager::signalDownloadError, &loop, [&] { loop.quit(); });
        qint64 lastByteMs = -1;
        QObject::connect(&manager, &DownLoadManager::signalDownloadProcess, &loop, [&](qint64 received, qint64) {
            if (received == size && lastByteMs < 0)
                lastByteMs = clock.elapsed();
        });
        const qint64 baseKiB = residentKiB();
        qint64 peakKiB = baseKiB;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] { peakKiB = std::max(peakKiB, residentKiB()); });
        sampler.start(50);
        clock.restart();
        manager.downloadFile(url, work.path());
        loop.exec();
        const qint64 clientMs = clock.elapsed();
        sampler.stop();
        peakKiB = std::max(peakKiB, residentKiB());
        if (!ok || QFileInfo(target).size() != size) {
            out << "DownLoadManager failed\n";
            return 1;
        }
        bestClientMs = bestClientMs < 0 ? clientMs : std::min(bestClientMs, clientMs);
        peakGrowthKiB = std::max(peakGrowthKiB, peakKiB - baseKiB);
        out << "run " << run + 1 << ": curl " << curlMs << " ms (" << curlSyncMs << " ms with the file synced), DownLoadManager "
            << clientMs << " ms (last byte written after " << lastByteMs << " ms)\n";
        out.flush();
        QFile::remove(target);
    }

    const double curlRate = mibPerSecond(size, bestCurlMs);
    const double curlSyncRate = mibPerSecond(size, bestCurlSyncMs);
    const double clientRate = mibPerSecond(size, bestClientMs);
    out << QStringLiteral("curl:                  %1 MiB/s\n").arg(curlRate, 0, 'f', 1);
    out << QStringLiteral("curl, then file synced: %1 MiB/s\n").arg(curlSyncRate, 0, 'f', 1);
    out << QStringLiteral("DownLoadManager:       %1 MiB/s (file synced before it is renamed)\n").arg(clientRate, 0, 'f', 1);
    out << QStringLiteral("ratio to curl:         %1 (target at least 0.9)\n").arg(curlRate > 0 ? clientRate / curlRate : 0, 0, 'f', 2);
    out << QStringLiteral("ratio to curl + sync:  %1\n").arg(curlSyncRate > 0 ? clientRate / curlSyncRate : 0, 0, 'f', 2);
    out << QStringLiteral("peak memory growth while downloading: %1 MiB (target under 50)\n")
               .arg(double(peakGrowthKiB) / 1024.0, 0, 'f', 1);
    return 0;
}
