#include "core/Settings.h"
#include "core/SingleInstance.h"
#include "tests/support/FullDisk.h"
#include "tests/support/RefServiceProcess.h"
#include "updater/core/UpdateFlow.h"
#include "updater/core/UpdateJournal.h"
#include "updater/core/UpdateKey.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <unistd.h>

Q_DECLARE_METATYPE(UpdateFlow::Error)
Q_DECLARE_METATYPE(UpdateJournal::Settled)

namespace {

void put(const QString &path, const QByteArray &data, QFile::Permissions mode = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();
    if (mode)
        QVERIFY(file.setPermissions(mode));
}

QByteArray get(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Every entry below dir with its mode and a digest of its bytes (a link:
// its target), so that any change shows.
QMap<QString, QString> snapshot(const QString &dir)
{
    QMap<QString, QString> files;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        QString what = QString::number(int(info.permissions()), 16) + ' ';
        if (info.isSymLink())
            what += "-> " + info.symLinkTarget();
        else if (info.isDir())
            what += "dir";
        else
            what += QCryptographicHash::hash(get(path), QCryptographicHash::Sha1).toHex();
        files.insert(QDir(dir).relativeFilePath(path), what);
    }
    return files;
}

QStringList entriesOf(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

const QFile::Permissions kExec = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
    | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;

// A stand-in client: takes the single-instance marker the way the real
// one does (QLockFile's form: pid, application, host), says it ran, and
// keeps the marker a moment.
const QByteArray kFakeClient = "#!/bin/sh\n"
                               "printf '%s\\nOrvaneDesk\\n%s\\n' $$ \"$(hostname)\" >\"$ORVANE_FAKE_INSTANCE_DIR/OrvaneDesk.lock\"\n"
                               "echo \"$(dirname \"$0\")\" >>\"$ORVANE_FAKE_RAN\"\n"
                               "sleep 1\n"
                               "rm -f \"$ORVANE_FAKE_INSTANCE_DIR/OrvaneDesk.lock\"\n";
const QByteArray kBrokenClient = "#!/bin/sh\nexit 1\n";

} // namespace

// The update flow over small client folders against the reference
// service, which packs and signs the "new version" from a folder of the
// test's own.
class tst_UpdateFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void installsGoodPackage();
    void failureChangesNothing_data();
    void failureChangesNothing();
    void newClientThatDoesNotStartIsUndone();
    void cancelledDownloadContinuesNextTime();
    void refusesWhileClientRunsOrAnotherUpdateWorks_data();
    void refusesWhileClientRunsOrAnotherUpdateWorks();
    void unwritableFolderChangesNothing();
    void fullDiskChangesNothing();
    void cutShortIsSettledLater_data();
    void cutShortIsSettledLater();

private:
    UpdateFlow::Options options(const QString &version = QStringLiteral("9.9.9")) const;
    // Runs a flow to its end.
    UpdateFlow::Result run(const UpdateFlow::Options &options);
    void makeClient(const QString &dir);

    std::unique_ptr<RefServiceProcess> m_service;
    QTemporaryDir m_sources;
    QString m_newVersion;  // the package's folder
    QString m_big;         // a package that takes a while at a slow pace
    QString m_noProgram;   // a package without a client program
    QString m_brokenStart; // a package whose client ends at once
    std::unique_ptr<QTemporaryDir> m_place;
    std::unique_ptr<QTemporaryDir> m_runtime;
    QString m_client;
    QString m_ranLog;
};

void tst_UpdateFlow::initTestCase()
{
    m_service = std::make_unique<RefServiceProcess>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    QVERIFY(m_service->setOfferedVersion("9.9.9"));

    m_newVersion = m_sources.filePath("new");
    put(m_newVersion + "/OrvaneDesk", kFakeClient, kExec);
    put(m_newVersion + "/program.txt", "new program");
    put(m_newVersion + "/help/index.html", "<p>new help</p>");
    put(m_newVersion + "/added.txt", "only in the new version");
    // A user file in the package must not win over the user's own.
    put(m_newVersion + "/Favourites.json", "[\"from the package\"]");
    QVERIFY(QFile::link("program.txt", m_newVersion + "/program-link"));

    // Random bytes do not compress: a package of 400 KiB.
    m_big = m_sources.filePath("big");
    put(m_big + "/OrvaneDesk", kFakeClient, kExec);
    QByteArray noise(400 * 1024, '\0');
    quint32 x = 2463534242u;
    for (char &c : noise) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    put(m_big + "/noise.bin", noise);

    m_noProgram = m_sources.filePath("noprogram");
    put(m_noProgram + "/program.txt", "new program");
    m_brokenStart = m_sources.filePath("broken");
    put(m_brokenStart + "/OrvaneDesk", kBrokenClient, kExec);
}

void tst_UpdateFlow::init()
{
    QVERIFY(m_service->reset());
    QVERIFY(m_service->setOfferedVersion("9.9.9"));
    QVERIFY(m_service->setUpdatePackage("good", m_newVersion));
    m_place = std::make_unique<QTemporaryDir>();
    m_runtime = std::make_unique<QTemporaryDir>();
    m_client = m_place->filePath("OrvaneDesk");
    m_ranLog = m_runtime->filePath("ran.log");
    qputenv("ORVANE_FAKE_INSTANCE_DIR", m_runtime->path().toLocal8Bit());
    qputenv("ORVANE_FAKE_RAN", m_ranLog.toLocal8Bit());
    makeClient(m_client);
}

void tst_UpdateFlow::cleanup()
{
    // A fake client may still hold its marker for a moment.
    QTest::qWait(0);
}

void tst_UpdateFlow::makeClient(const QString &dir)
{
    put(dir + "/OrvaneDesk", kFakeClient, kExec);
    put(dir + "/program.txt", "old program");
    put(dir + "/help/index.html", "<p>old help</p>");
    put(dir + "/old-only.txt", "gone after the update");
    put(dir + "/UpdaterVer.ini", "[MAINVER]\ncurver=1.0.0\nmainver=9.9.9\n");
    // The user's files, with the bytes a real client leaves (GB18030 text,
    // CRLF) and the owner-only mode of Config.ini.
    put(dir + "/Config.ini",
        QByteArray("[server]\r\nflag=0\r\ntestserver=http://127.0.0.1:9/\r\n[userinfo]\r\nusername=\xd5\xc5\xc8\xfd\r\n"
                   "userpwd=demo1234\r\nflag=1\r\n"),
        QFile::ReadOwner | QFile::WriteOwner);
    put(dir + "/DesktopApp.xml", "<?xml version=\"1.0\" encoding=\"GB2312\"?><apps/>");
    put(dir + "/CacheImage/127.0.0.1/images/app/a1/icon.png", "\x89PNG user picture");
    put(dir + "/downloadApp/setup.sh_tmp", QByteArray(5000, 'p'));
    put(dir + "/PushServerLog.txt", "2026-03-02 push log line\n");
    put(dir + "/Favourites.json", "[\"a101\",\"a203\"]");
}

UpdateFlow::Options tst_UpdateFlow::options(const QString &version) const
{
    UpdateFlow::Options o;
    o.clientDir = m_client;
    o.version = version;
    o.url = m_service->packageUrl("9.9.9");
    o.publicKey = UpdateKey::builtIn();
    o.instanceDir = m_runtime->path();
    o.clientWaitMs = 500;
    o.startWaitMs = 10000;
    o.idleTimeoutMs = 5000;
    return o;
}

UpdateFlow::Result tst_UpdateFlow::run(const UpdateFlow::Options &o)
{
    UpdateFlow flow(o);
    QSignalSpy finished(&flow, &UpdateFlow::finished);
    flow.start();
    if (!finished.wait(60000))
        return UpdateFlow::Result{UpdateFlow::Error::Cancelled, QString(), QStringLiteral("no end")};
    return finished.first().first().value<UpdateFlow::Result>();
}

void tst_UpdateFlow::installsGoodPackage()
{
    const QMap<QString, QString> before = snapshot(m_client);
    UpdateFlow flow(options());
    QSignalSpy finished(&flow, &UpdateFlow::finished);
    QSignalSpy progress(&flow, &UpdateFlow::progress);
    flow.start();
    QVERIFY(finished.wait(60000));
    const auto result = finished.first().first().value<UpdateFlow::Result>();
    QVERIFY2(result.ok(), qPrintable(result.detail));
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last().at(0).toLongLong(), progress.last().at(1).toLongLong());

    // The program files are the new version's, whole.
    QCOMPARE(get(m_client + "/program.txt"), QByteArray("new program"));
    QCOMPARE(get(m_client + "/help/index.html"), QByteArray("<p>new help</p>"));
    QCOMPARE(get(m_client + "/added.txt"), QByteArray("only in the new version"));
    QCOMPARE(QFile::symLinkTarget(m_client + "/program-link"), m_client + "/program.txt");
    QVERIFY(!QFile::exists(m_client + "/old-only.txt"));
    QCOMPARE(Settings::installedVersion(m_client + "/UpdaterVer.ini"), QString("9.9.9"));

    // The user's files, byte for byte and mode for mode.
    const QMap<QString, QString> after = snapshot(m_client);
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (it.key().startsWith("Config") || it.key().startsWith("DesktopApp") || it.key().startsWith("CacheImage")
            || it.key().startsWith("downloadApp") || it.key().startsWith("PushServerLog")
            || it.key().startsWith("Favourites"))
            QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
    }

    // The new client was started from the folder; nothing is left beside it.
    QTRY_COMPARE(get(m_ranLog).trimmed(), QFileInfo(m_client).absoluteFilePath().toUtf8());
    QCOMPARE(entriesOf(m_place->path()), QStringList{"OrvaneDesk"});
    QVERIFY(!QFile::exists(m_client + "/.update-mark"));
}

void tst_UpdateFlow::failureChangesNothing_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("offered");
    QTest::addColumn<qint64>("dropAfter");
    QTest::addColumn<UpdateFlow::Error>("error");

    QTest::newRow("tampered") << "tampered" << "9.9.9" << qint64(-1) << UpdateFlow::Error::Signature;
    QTest::newRow("missing (404)") << "missing" << "9.9.9" << qint64(-1) << UpdateFlow::Error::Download;
    QTest::newRow("truncated") << "good" << "9.9.9" << qint64(300) << UpdateFlow::Error::Download;
    QTest::newRow("other version") << "good" << "9.9.8" << qint64(-1) << UpdateFlow::Error::Version;
    QTest::newRow("no client program") << "noprogram" << "9.9.9" << qint64(-1) << UpdateFlow::Error::Package;
}

void tst_UpdateFlow::failureChangesNothing()
{
    QFETCH(QString, mode);
    QFETCH(QString, offered);
    QFETCH(qint64, dropAfter);
    QFETCH(UpdateFlow::Error, error);
    if (mode == "noprogram")
        QVERIFY(m_service->setUpdatePackage("good", m_noProgram));
    else
        QVERIFY(m_service->setUpdatePackage(mode, m_newVersion));
    // The signature (64 bytes) still comes whole; the package is cut.
    QVERIFY(m_service->setDropAfter(dropAfter));
    const QMap<QString, QString> before = snapshot(m_client);

    const UpdateFlow::Result result = run(options(offered));
    QCOMPARE(result.error, error);
    QVERIFY(!result.message().isEmpty());
    QVERIFY(result.restartClient());
    QCOMPARE(snapshot(m_client), before);
    QCOMPARE(entriesOf(m_place->path()), QStringList{"OrvaneDesk"});
    QVERIFY(!QFile::exists(m_ranLog)); // the updater's caller restarts the old client
}

void tst_UpdateFlow::newClientThatDoesNotStartIsUndone()
{
    QVERIFY(m_service->setUpdatePackage("good", m_brokenStart));
    const QMap<QString, QString> before = snapshot(m_client);
    const UpdateFlow::Result result = run(options());
    QCOMPARE(result.error, UpdateFlow::Error::ClientDidNotStart);
    QVERIFY(result.restartClient());
    QCOMPARE(snapshot(m_client), before);
    QCOMPARE(entriesOf(m_place->path()), QStringList{"OrvaneDesk"});
}

// The window's close button during the download: nothing changes, the
// bytes so far stay, and the next attempt asks only for the rest.
void tst_UpdateFlow::cancelledDownloadContinuesNextTime()
{
    QVERIFY(m_service->setUpdatePackage("slow", m_big, 100 * 1024));
    const QMap<QString, QString> before = snapshot(m_client);
    {
        UpdateFlow flow(options());
        QSignalSpy finished(&flow, &UpdateFlow::finished);
        QSignalSpy progress(&flow, &UpdateFlow::progress);
        flow.start();
        QTRY_VERIFY_WITH_TIMEOUT(!progress.isEmpty() && progress.last().at(0).toLongLong() > 100 * 1024, 20000);
        flow.cancel();
        QVERIFY(finished.wait(5000) || !finished.isEmpty());
        const auto result = finished.first().first().value<UpdateFlow::Result>();
        QCOMPARE(result.error, UpdateFlow::Error::Cancelled);
        QVERIFY(result.message().isEmpty());
        QVERIFY(result.restartClient());
    }
    QCOMPARE(snapshot(m_client), before);
    const QString partial = UpdateFolders(m_client).work + "/downloadApp/OrvaneDesk-9.9.9.tar.gz_tmp";
    const qint64 kept = QFileInfo(partial).size();
    QVERIFY(kept > 100 * 1024);

    QVERIFY(m_service->setUpdatePackage("good", m_big));
    QVERIFY(m_service->clearRecord());
    const UpdateFlow::Result result = run(options());
    QVERIFY2(result.ok(), qPrintable(result.detail));
    const QString range = m_service->lastReceived("downloads/OrvaneDesk-9.9.9.tar.gz").value("range").toString();
    QCOMPARE(range, QStringLiteral("bytes=%1-").arg(kept));
    QCOMPARE(get(m_client + "/noise.bin").size(), 400 * 1024);
}

void tst_UpdateFlow::refusesWhileClientRunsOrAnotherUpdateWorks_data()
{
    QTest::addColumn<bool>("clientRuns");
    QTest::newRow("client runs") << true;
    QTest::newRow("another update") << false;
}

void tst_UpdateFlow::refusesWhileClientRunsOrAnotherUpdateWorks()
{
    QFETCH(bool, clientRuns);
    const QMap<QString, QString> before = snapshot(m_client);
    SingleInstance client(QStringLiteral("OrvaneDesk"), m_runtime->path());
    QLockFile update(UpdateFolders(m_client).lock);
    if (clientRuns)
        QVERIFY(client.tryAcquire());
    else
        QVERIFY(update.tryLock(0));

    const UpdateFlow::Result result = run(options());
    QCOMPARE(result.error, clientRuns ? UpdateFlow::Error::ClientStillRunning : UpdateFlow::Error::Busy);
    // The running client, or the other update's, is never started twice.
    QVERIFY(!result.restartClient());
    QCOMPARE(snapshot(m_client), before);
    QVERIFY(!QFile::exists(UpdateFolders(m_client).work));
    if (!clientRuns)
        QVERIFY(update.isLocked());
}

// Root may write anywhere; a read-only mount stops it too.
void tst_UpdateFlow::unwritableFolderChangesNothing()
{
    QTemporaryDir place;
    const QString mountPoint = place.filePath("ro");
    QVERIFY(QDir().mkpath(mountPoint));
    bool mounted = false;
    if (geteuid() == 0) {
        mounted = QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=4m", "tmpfs", mountPoint}) == 0;
        if (!mounted)
            QSKIP("cannot mount a tmpfs for a read-only folder");
    }
    m_client = mountPoint + "/OrvaneDesk";
    makeClient(m_client);
    if (mounted)
        QCOMPARE(QProcess::execute("mount", {"-o", "remount,ro", mountPoint}), 0);
    else
        QVERIFY(QFile::setPermissions(mountPoint, QFile::ReadOwner | QFile::ExeOwner));
    // Taken now: what may be written shows in the modes.
    const QMap<QString, QString> before = snapshot(m_client);

    const UpdateFlow::Result result = run(options());
    const QMap<QString, QString> after = snapshot(m_client);
    const QStringList beside = entriesOf(mountPoint);
    if (mounted)
        QProcess::execute("umount", {mountPoint});
    else
        QFile::setPermissions(mountPoint, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(result.error, UpdateFlow::Error::NotWritable);
    QCOMPARE(after, before);
    QCOMPARE(beside, QStringList{"OrvaneDesk"});
}

void tst_UpdateFlow::fullDiskChangesNothing()
{
    FullDisk disk;
    if (!disk.isAvailable())
        QSKIP(qPrintable(disk.reason()));
    if (disk.kind() != "tmpfs")
        QSKIP("a full disk needs a tmpfs of its own (root); a file-size limit would stop the test's own files");
    m_client = disk.path() + "/OrvaneDesk";
    makeClient(m_client);
    // A package larger than what is left.
    QVERIFY(m_service->setUpdatePackage("good", m_big));
    const QMap<QString, QString> before = snapshot(m_client);

    const UpdateFlow::Result result = run(options());
    QCOMPARE(result.error, UpdateFlow::Error::DiskFull);
    QCOMPARE(snapshot(m_client), before);
    QCOMPARE(entriesOf(disk.path()), QStringList{"OrvaneDesk"});
}

// The updater killed before or after the swap: the next start (of the
// updater or the client) undoes or finishes it.
void tst_UpdateFlow::cutShortIsSettledLater_data()
{
    QTest::addColumn<QString>("holdAt");
    QTest::addColumn<UpdateJournal::Settled>("settled");
    QTest::newRow("before the swap") << "staged" << UpdateJournal::Settled::RolledBack;
    QTest::newRow("after the swap") << "swapped" << UpdateJournal::Settled::Finished;
}

void tst_UpdateFlow::cutShortIsSettledLater()
{
    QFETCH(QString, holdAt);
    QFETCH(UpdateJournal::Settled, settled);
    const QMap<QString, QString> before = snapshot(m_client);
    {
        UpdateFlow::Options o = options();
        o.holdAt = holdAt;
        UpdateFlow flow(o);
        flow.start();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(UpdateFolders(m_client).journal)
                                     && (holdAt == "staged" || QFile::exists(m_client + "/.update-mark")),
                                 30000);
        QTest::qWait(200);
        // Gone without a word, as if killed: its locks go with it.
    }
    QCOMPARE(UpdateJournal::settleAtStart(m_client), settled);
    if (settled == UpdateJournal::Settled::RolledBack) {
        QCOMPARE(snapshot(m_client), before);
    } else {
        QCOMPARE(get(m_client + "/program.txt"), QByteArray("new program"));
        QCOMPARE(Settings::installedVersion(m_client + "/UpdaterVer.ini"), QString("9.9.9"));
        QCOMPARE(get(m_client + "/Favourites.json"), QByteArray("[\"a101\",\"a203\"]"));
        QVERIFY(!QFile::exists(m_client + "/.update-mark"));
    }
    QVERIFY(!QFile::exists(UpdateFolders(m_client).staging));
    QVERIFY(!QFile::exists(UpdateFolders(m_client).journal));
    // Settled once is settled.
    QCOMPARE(UpdateJournal::settleAtStart(m_client), UpdateJournal::Settled::Clean);
}

QTEST_GUILESS_MAIN(tst_UpdateFlow)
#include "tst_updateflow.moc"
