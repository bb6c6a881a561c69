// The update as the user waits for it: from the confirmation of the offer
// (the moment the client starts UpdaterNew and ends) to the new client's
// desktop, for a package made from the build's own client folder (its real
// size), over loopback from the reference service. Prints the time at
// which each step of the updater began, the new client's start and its
// desktop, per run, and the median of the totals.
//
//     bench_update [--runs N]
//
// Needs a display for the client's web engine (xvfb-run) and ORVANE_BIN_DIR
// (default: ../bin beside the benchmark).

#include "core/Settings.h"
#include "tests/support/RefServiceProcess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>

namespace {

bool copyClient(const QString &from, const QString &to)
{
    static const QStringList skipped{"Config.ini", "DesktopApp.xml", "CacheImage", "downloadApp",
                                     "PushServerLog.txt", "Favourites.json", "UpdaterVer.ini", "orvane-service"};
    QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString relative = QDir(from).relativeFilePath(source);
        if (skipped.contains(relative.section('/', 0, 0)))
            continue;
        QDir().mkpath(QFileInfo(to + '/' + relative).absolutePath());
        if (!QFile::copy(source, to + '/' + relative))
            return false;
    }
    return true;
}

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"runs", "Number of updates.", "n", "3"});
    parser.process(app);
    const int runs = qMax(1, parser.value("runs").toInt());
    QTextStream out(stdout);
    QString bin = qEnvironmentVariable("ORVANE_BIN_DIR");
    if (bin.isEmpty()) {
        bin = QCoreApplication::applicationDirPath() + "/../bin";
        qputenv("ORVANE_BIN_DIR", bin.toLocal8Bit());
    }

    RefServiceProcess service;
    if (!service.isRunning()) {
        out << "bench_update: " << service.errorText() << "\n";
        return 1;
    }
    service.setOfferedVersion("9.9.9");
    // The service makes the package once; that is its work, not the user's wait.
    int status = 0;
    const QByteArray warm = service.get("downloads/OrvaneDesk-9.9.9.tar.gz", &status);
    out << "bench_update: package " << warm.size() / 1024 << " KiB (status " << status << ")\n";
    out.flush();

    const QStringList marks{"state UpdateFlow::State::WaitingForClient", "state UpdateFlow::State::Downloading",
                            "state UpdateFlow::State::Verifying",        "state UpdateFlow::State::Unpacking",
                            "state UpdateFlow::State::Installing",       "started the new client",
                            "desktop shown with"};
    const QStringList names{"waiting", "download", "verify", "unpack", "carry+swap", "client start", "desktop"};
    QList<qint64> totals;
    for (int run = 1; run <= runs; ++run) {
        QTemporaryDir place, runtime;
        const QString client = place.filePath("OrvaneDesk");
        if (!copyClient(bin, client)) {
            out << "bench_update: cannot copy " << bin << "\n";
            return 1;
        }
        QFile config(client + "/Config.ini");
        config.open(QIODevice::WriteOnly);
        config.write("[server]\nflag=0\ntestserver=" + service.baseUrl().toUtf8()
                     + "\n[userinfo]\nrember=1\nflag=1\nusername=demo\nuserpwd=demo1234\n");
        config.close();
        Settings::setInstalledVersion("1.0.0", client + "/UpdaterVer.ini");
        Settings::recordUpdateOffer("9.9.9", service.packageUrl("9.9.9"), client + "/UpdaterVer.ini");
        const QString log = runtime.filePath("log");

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
        env.insert("QT_LOGGING_RULES", "orvane.*=true");
        env.insert("ORVANE_AUTO_ANSWER", "close");
        env.insert("ORVANE_QUIT_WHEN_SHOWN", "1");
        QProcess updater;
        updater.setProcessEnvironment(env);
        updater.setProcessChannelMode(QProcess::MergedChannels);
        updater.setStandardOutputFile(log, QIODevice::Append);
        updater.setWorkingDirectory(place.path());
        QElapsedTimer clock;
        clock.start();
        updater.start(client + "/UpdaterNew", QStringList());
        QList<qint64> at;
        int from = 0;
        for (const QString &mark : marks) {
            int found = -1;
            while ((found = readAll(log).indexOf(mark, from)) < 0 && clock.elapsed() < 180000)
                QThread::msleep(10);
            if (found < 0) {
                out << "bench_update: run " << run << " never reached \"" << mark << "\"\n" << readAll(log);
                return 1;
            }
            at << clock.elapsed();
            from = found;
        }
        // Let the new client end before its folder goes.
        for (int i = 0; i < 3000 && !readAll(log).contains("event loop ended"); ++i)
            QThread::msleep(10);
        updater.waitForFinished(10000);
        out << "run " << run << ":";
        for (int i = 0; i < names.size(); ++i)
            out << "  " << names.at(i) << " " << at.at(i) << " ms";
        out << "\n";
        out.flush();
        totals << at.last();
    }
    std::sort(totals.begin(), totals.end());
    out << "bench_update: confirmation to new desktop, median of " << runs << ": " << totals.at(totals.size() / 2)
        << " ms\n";
    return 0;
}
