// Start to desktop: the client signs in by itself against the reference
// service (a catalogue of N applications, each with its own icon) from a
// fresh copy of the client folder; the time from process start until the
// desktop window is on screen with its first grid, median of R runs. Then
// the memory of the client at rest (10 s after the desktop came up), with
// every process it started, beside a program with one web view measured
// the same way: sum of Pss from /proc/PID/smaps_rollup over the tree.
//
// With the web engine in the build it goes on to the install journey (see
// InstallJourney.h): from the store page's install call to the icon on the
// desktop for a 10 MiB installer, broken down into download, install,
// detection and registration; "journey" runs only that.
//
// Run on demand under a display:
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/bench_desktop [apps=200] [runs=5]
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/bench_desktop journey [runs=3] [bytes=10485760]

#include "tests/support/RefServiceProcess.h"
#ifdef ORVANE_BENCH_JOURNEY
#include "bench/desktop/InstallJourney.h"
#include <QApplication>
#endif

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

bool copyClientFolder(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString relative = QDir(from).relativeFilePath(source);
        if (relative == "Config.ini" || relative == "DesktopApp.xml" || relative.startsWith("CacheImage")
            || relative.startsWith("downloadApp") || relative.startsWith("demo-data"))
            continue;
        if (it.fileInfo().isDir())
            QDir().mkpath(to + '/' + relative);
        else if (!QFile::copy(source, to + '/' + relative))
            return false;
    }
    return true;
}

QList<qint64> children(qint64 pid)
{
    QList<qint64> list;
    QDir proc("/proc");
    for (const QString &entry : proc.entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 child = entry.toLongLong(&ok);
        if (!ok)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(child));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const int close = text.lastIndexOf(')');
        const QList<QByteArray> fields = text.mid(close + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toLongLong() == pid)
            list << child;
    }
    return list;
}

// Pss of the process and all its descendants, in KiB.
qint64 treePss(qint64 pid)
{
    qint64 total = 0;
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (rollup.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : rollup.readAll().split('\n')) {
            if (line.startsWith("Pss:"))
                total += line.mid(4).trimmed().split(' ').first().toLongLong();
        }
    }
    for (qint64 child : children(pid))
        total += treePss(child);
    return total;
}

QProcessEnvironment clientEnvironment(const QString &runtime)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    env.insert("QT_LOGGING_RULES", "orvane.*=false\norvane.desktop.info=true");
    return env;
}

void stop(QProcess &process)
{
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "bench_desktop: needs a display (run it under xvfb-run)\n");
        return 2;
    }
#ifdef ORVANE_BENCH_JOURNEY
    // The journey runs the app centre's web engine in this process.
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const int journeyRuns = 3;
    const qint64 installerBytes = qint64(10) << 20;
    if (argc > 1 && QByteArray(argv[1]) == "journey") {
        return runInstallJourney(argc > 2 ? QByteArray(argv[2]).toInt() : journeyRuns,
                                 argc > 3 ? QByteArray(argv[3]).toLongLong() : installerBytes);
    }
#else
    QCoreApplication app(argc, argv);
#endif
    const int apps = argc > 1 ? QByteArray(argv[1]).toInt() : 200;
    const int runs = argc > 2 ? QByteArray(argv[2]).toInt() : 5;

    RefServiceProcess service;
    if (!service.isRunning() || !service.setCatalogueSize(apps)) {
        std::fprintf(stderr, "bench_desktop: reference service: %s\n", qPrintable(service.errorText()));
        return 1;
    }

    QList<qint64> times;
    qint64 clientPss = -1;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir place;
        QTemporaryDir runtime;
        const QString folder = place.filePath("OrvaneDesk");
        if (!copyClientFolder(QStringLiteral(ORVANE_BIN_DIR), folder))
            return 1;
        QFile config(folder + "/Config.ini");
        config.open(QIODevice::WriteOnly);
        config.write("[server]\nflag=0\ntestserver=" + service.baseUrl().toUtf8()
                     + "\n[userinfo]\nrember=1\nflag=1\nusername=demo\nuserpwd=demo1234\n");
        config.close();

        QProcess client;
        client.setProcessEnvironment(clientEnvironment(runtime.path()));
        client.setProcessChannelMode(QProcess::MergedChannels);
        QElapsedTimer timer;
        timer.start();
        client.start(folder + "/OrvaneDesk", QStringList());
        QByteArray output;
        qint64 shown = -1;
        while (timer.elapsed() < 60000 && client.state() != QProcess::NotRunning) {
            client.waitForReadyRead(20);
            output += client.readAll();
            if (output.contains("desktop window exposed")) {
                shown = timer.elapsed();
                break;
            }
        }
        if (shown < 0) {
            std::fprintf(stderr, "bench_desktop: the desktop never came up:\n%s\n", output.constData());
            stop(client);
            return 1;
        }
        times << shown;
        std::printf("run %d: desktop on screen after %lld ms\n", run + 1, shown);
        std::fflush(stdout);
        if (run == runs - 1) {
            QThread::sleep(10);
            clientPss = treePss(client.processId());
        }
        stop(client);
    }
    std::sort(times.begin(), times.end());
    const qint64 median = times.at(times.size() / 2);
    std::printf("start to desktop, %d applications: median %lld ms of %d runs (target 1500 ms)\n", apps,
                median, runs);

    const QString oneView = QStringLiteral(ORVANE_BENCH_DIR) + "/bench_oneview";
    if (!QFile::exists(oneView)) {
        std::printf("client at rest: %lld KiB Pss (no bench_oneview in this build to compare)\n", clientPss);
        return 0;
    }
    std::fflush(stdout);
    QTemporaryDir runtime;
    QProcess view;
    view.setProcessEnvironment(clientEnvironment(runtime.path()));
    view.start(oneView, QStringList());
    view.waitForStarted();
    QThread::sleep(10);
    const qint64 viewPss = treePss(view.processId());
    stop(view);
    std::printf("memory at rest: client %lld KiB, one web view %lld KiB, ratio %.2f (target at most 1.30)\n",
                clientPss, viewPss, viewPss > 0 ? double(clientPss) / double(viewPss) : 0.0);
    std::fflush(stdout);
#ifdef ORVANE_BENCH_JOURNEY
    return runInstallJourney(journeyRuns, installerBytes);
#else
    return 0;
#endif
}
