// DownLoadManager against real HTTP servers on loopback: the reference
// service (with its switches for ranges, stalls, drops and changed files)
// and Python's plain static-file server.

#include "appcenter/core/DownLoadManager.h"
#include "appcenter/core/DownloadFiles.h"
#include "appcenter/core/DownloadJob.h"
#include "tests/support/RefServiceProcess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray sha256(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

QByteArray fileSha256(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("missing ") + path.toUtf8();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(data), qint64(data.size()));
}

// One manager in a folder of its own, its reports counted and the
// installer it would start recorded instead of run.
struct Fixture
{
    QTemporaryDir dir;
    DownLoadManager manager;
    QSignalSpy finished{&manager, &DownLoadManager::signalReplyFinished};
    QSignalSpy errors{&manager, &DownLoadManager::signalDownloadError};
    QSignalSpy progress{&manager, &DownLoadManager::signalDownloadProcess};
    QStringList launched;

    Fixture()
    {
        manager.setSupportBreakpoint(true);
        manager.setLauncher([this](const QString &program) {
            launched << program;
            return true;
        });
    }
    QString folder() const { return dir.filePath(QStringLiteral("downloadApp")); }
    QString path(const QString &name) const { return QDir(folder()).filePath(name); }
    bool ended() const { return finished.count() + errors.count() > 0; }
    QStringList files() const { return QDir(folder()).entryList(QDir::Files | QDir::Hidden); }
};

// Requests for one download path, oldest first.
QJsonArray requestsFor(const RefServiceProcess &service, const QString &path)
{
    QJsonArray out;
    for (const QJsonValue &v : service.received())
        if (v.toObject().value(QStringLiteral("path")).toString() == path)
            out.append(v);
    return out;
}

const QString kInstaller = QStringLiteral("suhui-setup.sh");
const QString kInstallerPath = QStringLiteral("downloads/suhui-setup.sh");

} // namespace

class tst_DownloadManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void freshDownloadIsCompleteExecutableAndStarted();
    void pauseAndContinueAppendsTheRest();
    void partialFromEarlierRunIsContinued();
    void continuationThatDoesNotFitStartsOver_data();
    void continuationThatDoesNotFitStartsOver();
    void keptBytesAlreadyWholeFinishOn416_data();
    void keptBytesAlreadyWholeFinishOn416();
    void freshStartDropsUnvouchedPartial_data();
    void freshStartDropsUnvouchedPartial();
    void failureLeavesNothingBehind_data();
    void failureLeavesNothingBehind();
    void noDataIsATimeout();
    void addressWithoutFileNameFailsAtOnce();
    void olderFileOfTheFinalNameIsReplaced();
    void oneWriterPerPartialFile();
    void refusedManagerLeavesTheWritersFileAlone();
    void applicationsWithTheSameInstallerNameSideBySide();
    void plainStaticServer();
    void downloadedInstallerReallyRuns();

private:
    void pauseAt(Fixture &f, const QString &url, qint64 bytes);

    std::unique_ptr<RefServiceProcess> m_service;
    QByteArray m_installer;
};

void tst_DownloadManager::initTestCase()
{
    m_service = std::make_unique<RefServiceProcess>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    int status = 0;
    m_installer = m_service->get(kInstallerPath, &status);
    QCOMPARE(status, 200);
    QVERIFY(m_installer.size() > 200000);
}

void tst_DownloadManager::init()
{
    QVERIFY(m_service->reset());
}

void tst_DownloadManager::pauseAt(Fixture &f, const QString &url, qint64 bytes)
{
    QVERIFY(m_service->setStallAfter(bytes));
    f.manager.downloadFile(url, f.dir.path());
    QTRY_COMPARE_WITH_TIMEOUT(f.manager.bytesReceived(), bytes, 10000);
    f.manager.stopDownload();
    QVERIFY(!f.manager.isRunning());
    QVERIFY(m_service->setStallAfter(-1));
    QVERIFY(!f.ended());
    QCOMPARE(QFileInfo(f.path(kInstaller + QStringLiteral("_tmp"))).size(), bytes);
}

void tst_DownloadManager::freshDownloadIsCompleteExecutableAndStarted()
{
    Fixture f;
    f.manager.downloadFile(m_service->installerUrl(), f.dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(f.ended(), 15000);
    QCOMPARE(f.errors.count(), 0);
    QCOMPARE(f.finished.count(), 1);
    // A fresh start asks for bytes=0-: the answer is the whole file as 206.
    QCOMPARE(f.finished.first().first().toInt(), 206);

    const QString final = f.path(kInstaller);
    QCOMPARE(fileSha256(final), sha256(m_installer));
    QCOMPARE(f.files(), QStringList{kInstaller});
    QVERIFY(QFileInfo(final).permissions() & QFileDevice::ExeOwner);
    QCOMPARE(f.launched, QStringList{final});
    QCOMPARE(f.manager.finishedPath(), final);

    // Figures count from the start of the file and end at its length.
    const QList<QVariant> last = f.progress.last();
    QCOMPARE(last.at(0).toLongLong(), qint64(m_installer.size()));
    QCOMPARE(last.at(1).toLongLong(), qint64(m_installer.size()));

    const QJsonArray requests = requestsFor(*m_service, kInstallerPath);
    QCOMPARE(requests.size(), 1);
    const QJsonObject request = requests.first().toObject();
    QCOMPARE(request.value(QStringLiteral("range")).toString(), QStringLiteral("bytes=0-"));
    QCOMPARE(request.value(QStringLiteral("ifRange")).toString(), QString());
    QCOMPARE(request.value(QStringLiteral("acceptEncoding")).toString(), QStringLiteral("identity"));
}

void tst_DownloadManager::pauseAndContinueAppendsTheRest()
{
    Fixture f;
    const qint64 offset = 100000;
    pauseAt(f, m_service->installerUrl(), offset);
    const auto record = DownloadFiles::readRecord(
        DownloadFiles::recordPath(f.path(kInstaller + QStringLiteral("_tmp"))));
    QVERIFY(record);
    QVERIFY(record->etag.startsWith('"'));
    QCOMPARE(record->length, qint64(m_installer.size()));

    QVERIFY(m_service->clearRecord());
    f.progress.clear();
    f.manager.downloadFile(m_service->installerUrl(), f.dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(f.ended(), 15000);
    QCOMPARE(f.errors.count(), 0);
    QCOMPARE(f.finished.first().first().toInt(), 206);
    QCOMPARE(fileSha256(f.path(kInstaller)), sha256(m_installer));
    QCOMPARE(f.files(), QStringList{kInstaller});
    // The continuation's figures start at the offset.
    QVERIFY(!f.progress.isEmpty());
    QVERIFY(f.progress.first().at(0).toLongLong() > offset);

    const QJsonArray requests = requestsFor(*m_service, kInstallerPath);
    QCOMPARE(requests.size(), 1);
    const QJsonObject request = requests.first().toObject();
    QCOMPARE(request.value(QStringLiteral("range")).toString(), QStringLiteral("bytes=%1-").arg(offset));
    QCOMPARE(request.value(QStringLiteral("ifRange")).toString(), QString::fromLatin1(record->etag));
    QCOMPARE(request.value(QStringLiteral("acceptEncoding")).toString(), QStringLiteral("identity"));
}

void tst_DownloadManager::partialFromEarlierRunIsContinued()
{
    QTemporaryDir dir;
    const qint64 offset = 65536 + 17;
    {
        Fixture first;
        pauseAt(first, m_service->installerUrl(), offset);
        QDir().mkpath(dir.filePath(QStringLiteral("downloadApp")));
        for (const QString &name : first.files())
            QVERIFY(QFile::copy(first.path(name), dir.filePath(QStringLiteral("downloadApp/") + name)));
    }
    // The client ends and starts again: a new manager, same folder.
    QVERIFY(m_service->clearRecord());
    Fixture second;
    for (const QString &name : QDir(dir.filePath(QStringLiteral("downloadApp"))).entryList(QDir::Files)) {
        QDir().mkpath(second.folder());
        QVERIFY(QFile::copy(dir.filePath(QStringLiteral("downloadApp/") + name), second.path(name)));
    }
    second.manager.downloadFile(m_service->installerUrl(), second.dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(second.ended(), 15000);
    QCOMPARE(second.errors.count(), 0);
    QCOMPARE(fileSha256(second.path(kInstaller)), sha256(m_installer));
    const QJsonArray requests = requestsFor(*m_service, kInstallerPath);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().toObject().value(QStringLiteral("range")).toString(),
             QStringLiteral("bytes=%1-").arg(offset));
}

void tst_DownloadManager::continuationThatDoesNotFitStartsOver_data()
{
    QTest::addColumn<QString>("change");
    // The server answers the continuation with the whole file (200).
    QTest::newRow("server ignores the range") << "ignoreRange";
    // The file changed: If-Range no longer matches, the server sends the
    // new file whole.
    QTest::newRow("file changed between pause and continue") << "revision";
}

void tst_DownloadManager::continuationThatDoesNotFitStartsOver()
{
    QFETCH(QString, change);
    Fixture f;
    pauseAt(f, m_service->installerUrl(), 150000);
    QByteArray expected = m_installer;
    if (change == QLatin1String("ignoreRange")) {
        QVERIFY(m_service->setIgnoreRange(true));
    } else {
        QVERIFY(m_service->setFileRevision(3));
        expected = m_service->get(kInstallerPath);
        QCOMPARE(expected.size(), m_installer.size());
        QVERIFY(expected != m_installer);
    }
    QVERIFY(m_service->clearRecord());
    f.manager.downloadFile(m_service->installerUrl(), f.dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(f.ended(), 15000);
    QCOMPARE(f.errors.count(), 0);
    QCOMPARE(f.finished.first().first().toInt(), 200);
    // Byte-identical to what the server has now, never old bytes with new
    // ones appended.
    QCOMPARE(fileSha256(f.path(kInstaller)), sha256(expected));
    QCOMPARE(QFileInfo(f.path(kInstaller)).size(), qint64(expected.size()));
    QCOMPARE(requestsFor(*m_service, kInstallerPath).size(), 1);
}

void tst_DownloadManager::keptBytesAlreadyWholeFinishOn416_data()
{
    QTest::addColumn<bool>("changed");
    QTest::newRow("same file: 416, finished") << false;
    // If-Range no longer matches: the new file comes whole at once.
    QTest::newRow("file changed meanwhile: fetched anew") << true;
}

void tst_DownloadManager::keptBytesAlreadyWholeFinishOn416()
{
    QFETCH(bool, changed);
    Fixture f;
    const qint64 offset = 1000;
    pauseAt(f, m_service->installerUrl(), offset);
    // Every byte is there (the earlier run stopped after the last chunk
    // but before putting the file in place).
    {
        QFile partial(f.path(kInstaller + QStringLiteral("_tmp")));
        QVERIFY(partial.open(QIODevice::Append));
        partial.write(m_installer.mid(int(offset)));
    }
    QByteArray expected = m_installer;
    if (changed) {
        QVERIFY(m_service->setFileRevision(1));
        expected = m_service->get(kInstallerPath);
    }
    QVERIFY(m_service->clearRecord());
    f.manager.downloadFile(m_service->installerUrl(), f.dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(f.ended(), 15000);
    QCOMPARE(f.errors.count(), 0);
    QCOMPARE(f.finished.first().first().toInt(), 200);
    QCOMPARE(fileSha256(f.path(kInstaller)), sha256(expected));
    QCOMPARE(f.files(), QStringList{kInstaller});
    QCOMPARE(f.launched, QStringList{f.path(kInstaller)});
    const QJsonArray requests = requestsFor(*m_service, kInstallerPath);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().toObject().value(QStringLiteral("range")).toString(),
             QStringLiteral("bytes=%1-").arg(m_installer.size()));
}

void tst_DownloadManager::freshStartDropsUnvouchedPartial_data()
{
    QTest::addColumn<QString>("record");
    QTest::newRow("no record") << "";
    QTest::newRow("record of another address") << "other";
    QTest::newRow("record without validators") << "bare";
}

void tst_DownloadManager::freshStartDropsUnvouchedPartial()
{
    QFETCH(QString, record);
    Fixture f;
    QVERIFY(QDir().mkpath(f.folder()));
    const QString partial = f.path(kInstaller + QStringLiteral("_tmp"));
    writeFile(partial, QByteArray(5000, 'x'));
    if (!record.isEmpty()) {
        DownloadFiles::ResumeRecord r;
        r.url = record == QLatin1String("other") ? m_service->baseUrl() + QStringLiteral("old/") + kInstaller
                                                 : m_service->installerUrl();
        r.etag = record == QLatin1String("other") ? QByteArray("\"x\"") : QByteArray();
        r.length = m_installer.size();
        QVERIFY(DownloadFiles::writeRecord(DownloadFiles::recordPath(partial), r));
    }
    f.manager.downloadFile(m_service->installerUrl(), f.dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(f.ended(), 15000);
    QCOMPARE(f.errors.count(), 0);
    QCOMPARE(fileSha256(f.path(kInstaller)), sha256(m_installer));
    QCOMPARE(requestsFor(*m_service, kInstallerPath).first().toObject().value(QStringLiteral("range")).toString(),
             QStringLiteral("bytes=0-"));
}

void tst_DownloadManager::failureLeavesNothingBehind_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("connection dropped after some data") << "drop";
    QTest::newRow("no such file (404)") << "404";
    QTest::newRow("dropped during a continuation") << "dropContinuation";
}

void tst_DownloadManager::failureLeavesNothingBehind()
{
    QFETCH(QString, what);
    Fixture f;
    QString url = m_service->installerUrl();
    if (what == QLatin1String("404"))
        url = m_service->installerUrl(QStringLiteral("nothing-setup.sh"));
    if (what == QLatin1String("dropContinuation"))
        pauseAt(f, url, 20000);
    if (what.startsWith(QLatin1String("drop")))
        QVERIFY(m_service->setDropAfter(50000));
    f.manager.downloadFile(url, f.dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(f.ended(), 15000);
    QCOMPARE(f.finished.count(), 0);
    QCOMPARE(f.errors.count(), 1);
    QCOMPARE(f.errors.first().first().value<DOWNLOADETYPE>(), DOWNLOAD_ERROR);
    QCOMPARE(f.files(), QStringList());
    QVERIFY(f.launched.isEmpty());
    QVERIFY(!f.manager.isRunning());
}

void tst_DownloadManager::noDataIsATimeout()
{
    Fixture f;
    f.manager.setIdleTimeout(1000);
    QVERIFY(m_service->setStallAfter(30000));
    f.manager.downloadFile(m_service->installerUrl(), f.dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(f.ended(), 10000);
    QCOMPARE(f.errors.count(), 1);
    QCOMPARE(f.errors.first().first().value<DOWNLOADETYPE>(), DOWNLOAD_TIMEOUT);
    QVERIFY(!f.manager.isRunning());
    // The row cancels after a time-out: nothing stays.
    f.manager.closeDownload();
    QCOMPARE(f.files(), QStringList());
}

void tst_DownloadManager::addressWithoutFileNameFailsAtOnce()
{
    Fixture f;
    f.manager.downloadFile(m_service->baseUrl() + QStringLiteral("downloads/"), f.dir.path());
    // Reported from the event loop, not from inside the call.
    QCOMPARE(f.errors.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(f.errors.count(), 1, 2000);
    QCOMPARE(f.errors.first().first().value<DOWNLOADETYPE>(), DOWNLOAD_ERROR);
    QCOMPARE(f.finished.count(), 0);
    QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("_tmp"))));
    QCOMPARE(f.files(), QStringList());
    QCOMPARE(requestsFor(*m_service, QStringLiteral("downloads/")).size(), 0);
}

void tst_DownloadManager::olderFileOfTheFinalNameIsReplaced()
{
    Fixture f;
    QVERIFY(QDir().mkpath(f.folder()));
    writeFile(f.path(kInstaller), "#!/bin/sh\necho an older installer\n");
    f.manager.downloadFile(m_service->installerUrl(), f.dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(f.ended(), 15000);
    QCOMPARE(f.errors.count(), 0);
    QCOMPARE(fileSha256(f.path(kInstaller)), sha256(m_installer));
    QCOMPARE(f.launched, QStringList{f.path(kInstaller)});
    QCOMPARE(f.files(), QStringList{kInstaller});
}

void tst_DownloadManager::oneWriterPerPartialFile()
{
    // Two addresses ending in the same file name, into the same folder.
    Fixture f;
    DownLoadManager other;
    other.setSupportBreakpoint(true);
    other.setLauncher([](const QString &) { return true; });
    QSignalSpy otherErrors(&other, &DownLoadManager::signalDownloadError);
    QVERIFY(m_service->setStallAfter(30000));
    f.manager.downloadFile(m_service->installerUrl(), f.dir.path());
    QTRY_COMPARE_WITH_TIMEOUT(f.manager.bytesReceived(), qint64(30000), 10000);
    other.downloadFile(m_service->baseUrl() + QStringLiteral("downloads/../downloads/") + kInstaller, f.dir.path());
    QTRY_COMPARE_WITH_TIMEOUT(otherErrors.count(), 1, 2000);
    QVERIFY(!other.isRunning());
    QCOMPARE(QFileInfo(f.path(kInstaller + QStringLiteral("_tmp"))).size(), qint64(30000));
    // Once the first has stopped, the file is free for the other.
    f.manager.stopDownload();
    QVERIFY(m_service->setStallAfter(-1));
    QSignalSpy otherFinished(&other, &DownLoadManager::signalReplyFinished);
    other.downloadFile(m_service->installerUrl(), f.dir.path());
    QTRY_COMPARE_WITH_TIMEOUT(otherFinished.count(), 1, 15000);
    QCOMPARE(fileSha256(f.path(kInstaller)), sha256(m_installer));
}

void tst_DownloadManager::refusedManagerLeavesTheWritersFileAlone()
{
    // A second download of the same file while the first runs: refused,
    // and its failure (which a row answers by cancelling) must not take the
    // first one's bytes and resume record with it.
    Fixture f;
    DownLoadManager other;
    other.setSupportBreakpoint(true);
    other.setLauncher([](const QString &) { return true; });
    QSignalSpy otherErrors(&other, &DownLoadManager::signalDownloadError);
    QVERIFY(m_service->setStallAfter(30000));
    f.manager.downloadFile(m_service->installerUrl(), f.dir.path());
    QTRY_COMPARE_WITH_TIMEOUT(f.manager.bytesReceived(), qint64(30000), 10000);
    const QString partial = f.path(kInstaller + QStringLiteral("_tmp"));
    QVERIFY(QFile::exists(DownloadFiles::recordPath(partial)));
    other.downloadFile(m_service->installerUrl(), f.dir.path());
    QTRY_COMPARE_WITH_TIMEOUT(otherErrors.count(), 1, 2000);
    other.closeDownload();
    QCOMPARE(QFileInfo(partial).size(), qint64(30000));
    QVERIFY(QFile::exists(DownloadFiles::recordPath(partial)));
    // The first goes on to the end, its file whole.
    QVERIFY(m_service->setStallAfter(-1));
    f.manager.stopDownload();
    f.manager.downloadFile(m_service->installerUrl(), f.dir.path());
    QTRY_COMPARE_WITH_TIMEOUT(f.finished.count(), 1, 15000);
    QCOMPARE(fileSha256(f.path(kInstaller)), sha256(m_installer));
}

void tst_DownloadManager::applicationsWithTheSameInstallerNameSideBySide()
{
    // Two applications whose installers are both called suhui-setup.sh,
    // downloading at the same time.
    QTemporaryDir dir;
    auto appOf = [this](const QString &id, const QString &url) {
        DesktopAppInfoPtr app = DesktopAppInfoPtr::create();
        app->id = id;
        app->type = QStringLiteral("2");
        app->url = url;
        return app;
    };
    const QString copy = m_service->baseUrl() + QStringLiteral("downloads/../downloads/") + kInstaller;
    DownloadJob first(appOf(QStringLiteral("a301"), m_service->installerUrl()), dir.path());
    DownloadJob second(appOf(QStringLiteral("a302"), copy), dir.path());
    QStringList launched;
    for (DownloadJob *job : {&first, &second})
        job->manager()->setLauncher([&launched](const QString &program) {
            launched << program;
            return true;
        });
    QVERIFY(m_service->setStallAfter(30000));
    first.start();
    QTRY_COMPARE_WITH_TIMEOUT(first.manager()->bytesReceived(), qint64(30000), 10000);
    second.start();
    QTRY_COMPARE_WITH_TIMEOUT(second.manager()->bytesReceived(), qint64(30000), 10000);
    QVERIFY(m_service->setStallAfter(-1));
    // The stalled answers are given up; both continue where they were.
    first.pause();
    second.pause();
    first.start();
    second.start();
    QTRY_COMPARE_WITH_TIMEOUT(first.state(), DownloadJob::State::Downloaded, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), DownloadJob::State::Downloaded, 15000);
    const QString one = first.manager()->finishedPath();
    const QString two = second.manager()->finishedPath();
    QVERIFY(one != two);
    QCOMPARE(QFileInfo(one).fileName(), kInstaller);
    QCOMPARE(QFileInfo(two).fileName(), kInstaller);
    QVERIFY(one.startsWith(dir.filePath(QStringLiteral("downloadApp/"))));
    QVERIFY(two.startsWith(dir.filePath(QStringLiteral("downloadApp/"))));
    QCOMPARE(fileSha256(one), sha256(m_installer));
    QCOMPARE(fileSha256(two), sha256(m_installer));
    launched.sort();
    QStringList expected{one, two};
    expected.sort();
    QCOMPARE(launched, expected);
}

void tst_DownloadManager::plainStaticServer()
{
    // Python's static-file server knows no ranges: every answer is 200.
    QTemporaryDir root;
    QByteArray content(3 * 1024 * 1024 + 7, '\0');
    for (int i = 0; i < content.size(); ++i)
        content[i] = char((quint32(i) * 7919u) >> 5);
    writeFile(root.filePath(QStringLiteral("tool-setup.bin")), content);
    QProcess server;
    server.setProgram(QStringLiteral("python3"));
    server.setArguments({QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"),
                         QStringLiteral("0"), QStringLiteral("--bind"), QStringLiteral("127.0.0.1"),
                         QStringLiteral("--directory"), root.path()});
    server.start();
    QVERIFY(server.waitForStarted());
    QString port;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(port = QRegularExpression(QStringLiteral("port (\\d+)"))
                     .match(QString::fromLatin1(server.peek(4096)))
                     .captured(1))
             .isEmpty(),
        10000);
    const QString url = QStringLiteral("http://127.0.0.1:%1/tool-setup.bin").arg(port);

    Fixture f;
    f.manager.downloadFile(url, f.dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(f.ended(), 15000);
    QCOMPARE(f.errors.count(), 0);
    QCOMPARE(fileSha256(f.path(QStringLiteral("tool-setup.bin"))), sha256(content));

    // A partial file vouched for by its date: the server sends the whole
    // file, which replaces the kept bytes.
    Fixture again;
    QVERIFY(QDir().mkpath(again.folder()));
    const QString partial = again.path(QStringLiteral("tool-setup.bin_tmp"));
    writeFile(partial, content.left(1000));
    const QDateTime modified = QFileInfo(root.filePath(QStringLiteral("tool-setup.bin"))).lastModified().toUTC();
    DownloadFiles::ResumeRecord r{
        url, QByteArray(),
        QLocale::c().toString(modified, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1(),
        content.size()};
    QVERIFY(DownloadFiles::writeRecord(DownloadFiles::recordPath(partial), r));
    again.manager.downloadFile(url, again.dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(again.ended(), 15000);
    QCOMPARE(again.errors.count(), 0);
    QCOMPARE(fileSha256(again.path(QStringLiteral("tool-setup.bin"))), sha256(content));

    server.terminate();
    server.waitForFinished(5000);
}

void tst_DownloadManager::downloadedInstallerReallyRuns()
{
    // The finished file is started as a program: it must be executable.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    Fixture f;
    f.manager.setLauncher(&DownLoadManager::startProgram);
    f.manager.downloadFile(m_service->installerUrl(), f.dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(f.ended(), 15000);
    QCOMPARE(f.errors.count(), 0);
    // The installer's last step makes its uninstaller executable.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(home.filePath(QStringLiteral("data/orvane-demo/suhui/uninstall.sh"))).isExecutable(),
                             10000);
    QTest::qWait(300); // let it end before its folders go
}

QTEST_GUILESS_MAIN(tst_DownloadManager)
#include "tst_downloadmanager.moc"
