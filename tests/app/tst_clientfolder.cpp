#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The client folder is self-contained: a copy placed anywhere runs, finds
// its own libraries and reads the Config.ini beside the copied executable.
class TestClientFolder : public QObject
{
    Q_OBJECT

private:
    static bool copyTree(const QString &from, const QString &to)
    {
        QDir().mkpath(to);
        QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString source = it.next();
            const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
            if (it.fileInfo().isDir()) {
                QDir().mkpath(target);
            } else if (!QFile::copy(source, target)) {
                return false;
            }
        }
        return true;
    }

private slots:
    void copiedFolderRunsOnItsOwn()
    {
        QTemporaryDir place;
        const QString folder = place.filePath(QStringLiteral("somewhere else/OrvaneDesk"));
        QVERIFY(copyTree(qEnvironmentVariable("ORVANE_BIN_DIR"), folder));
        QFile::remove(folder + QStringLiteral("/Config.ini"));
        QFile::remove(folder + QStringLiteral("/DesktopApp.xml"));

        // Our own shared libraries resolve inside the copy.
        QProcess ldd;
        ldd.start(QStringLiteral("ldd"), {folder + QStringLiteral("/OrvaneDesk")});
        QVERIFY(ldd.waitForFinished(10000));
        const QString libs = QString::fromLocal8Bit(ldd.readAllStandardOutput());
        QVERIFY2(!libs.contains(QStringLiteral("not found")), qPrintable(libs));
        const QString buildTree = QDir(qEnvironmentVariable("ORVANE_BIN_DIR")).absolutePath();
        QVERIFY2(!libs.contains(buildTree + QLatin1Char('/')), qPrintable(libs));

        QFile config(folder + QStringLiteral("/Config.ini"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("[server]\nflag=1\ntestserver=http://127.0.0.1:9/test/\n"
                     "officialserver=http://127.0.0.1:9/copied-folder/\n");
        config.close();

        QTemporaryDir runtime;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("orvane.*=true"));
        QProcess client;
        client.setProcessEnvironment(env);
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.setWorkingDirectory(place.path()); // never the folder itself
        client.start(folder + QStringLiteral("/OrvaneDesk"), QStringList());
        QVERIFY(client.waitForStarted());

        QString output;
        QElapsedTimer waited;
        waited.start();
        while (!output.contains(QStringLiteral("service address")) && waited.elapsed() < 20000) {
            client.waitForReadyRead(200);
            output += QString::fromUtf8(client.readAll());
            if (client.state() == QProcess::NotRunning) {
                output += QString::fromUtf8(client.readAll());
                break;
            }
        }
        client.kill();
        client.waitForFinished(5000);
        QVERIFY2(output.contains(QStringLiteral("http://127.0.0.1:9/copied-folder/")), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestClientFolder)
#include "tst_clientfolder.moc"
