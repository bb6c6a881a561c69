#include "core/Settings.h"
#include "core/UserFiles.h"
#include "tests/support/ClientProcess.h"
#include "tests/support/RefServiceProcess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// UpdaterNew with the real client, as a user meets it: the client offers
// 9.9.9, ends, the updater replaces the folder and the client comes back.
// Every process writes into one log file (the updater and the clients it
// starts inherit it), which the test reads.
class tst_Updater : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void acceptedOfferInstallsAndClientComesBack();
    void tamperedPackageChangesNothingAndIsTold();
    void killedMidDownloadContinuesNextTime();

private:
    void start(const QString &program, const QString &answer, const QStringList &extraEnv = {});
    QString log() const;
    // Waits until the log holds text after position from; its position.
    int waitForLog(const QString &text, int from = 0, int ms = 90000);
    void writeOffer();
    QMap<QString, QString> programFiles() const;

    std::unique_ptr<RefServiceProcess> m_service;
    std::unique_ptr<QTemporaryDir> m_place;
    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<QProcess> m_process;
    QString m_client;
    QString m_log;
};

namespace {

QByteArray get(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void put(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

} // namespace

void tst_Updater::init()
{
    m_service = std::make_unique<RefServiceProcess>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    QVERIFY(m_service->setOfferedVersion("9.9.9"));
    m_place = std::make_unique<QTemporaryDir>();
    m_runtime = std::make_unique<QTemporaryDir>();
    m_client = m_place->filePath("OrvaneDesk");
    m_log = m_runtime->filePath("processes.log");

    QString error;
    QVERIFY2(ClientProcess::copyClientFolder(m_client, &error), qPrintable(error));
    put(m_client + "/old-only.txt", "a file the new version does not have");
    put(m_client + "/UpdaterVer.ini", "[MAINVER]\ncurver=1.0.0\n");
    QFile config(m_client + "/Config.ini");
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("[server]\nflag=0\ntestserver=" + m_service->baseUrl().toUtf8()
                 + "\n[userinfo]\nrember=1\nflag=1\nusername=demo\nuserpwd=demo1234\n");
    config.close();
    put(m_client + "/Favourites.json", "[\"a101\"]");
    put(m_client + "/downloadApp/kept-installer.sh", QByteArray(70000, 'k'));
    put(m_client + "/CacheImage/elsewhere/picture.png", "\x89PNG kept");
}

void tst_Updater::cleanup()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
    m_process.reset();
    m_service.reset();
}

void tst_Updater::start(const QString &program, const QString &answer, const QStringList &extraEnv)
{
    QProcessEnvironment env = ClientProcess::environment(m_runtime->path(), answer);
    for (const QString &pair : extraEnv)
        env.insert(pair.section('=', 0, 0), pair.section('=', 1));
    m_process = std::make_unique<QProcess>();
    m_process->setProcessEnvironment(env);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardOutputFile(m_log, QIODevice::Append);
    m_process->setWorkingDirectory(m_place->path());
    m_process->start(program, QStringList());
    QVERIFY(m_process->waitForStarted());
}

QString tst_Updater::log() const
{
    return QString::fromUtf8(get(m_log));
}

int tst_Updater::waitForLog(const QString &text, int from, int ms)
{
    QElapsedTimer waited;
    waited.start();
    int at = -1;
    while ((at = log().indexOf(text, from)) < 0 && waited.elapsed() < ms)
        QTest::qWait(100);
    return at;
}

void tst_Updater::writeOffer()
{
    QVERIFY(Settings::recordUpdateOffer("9.9.9", m_service->packageUrl("9.9.9"), m_client + "/UpdaterVer.ini"));
}

QMap<QString, QString> tst_Updater::programFiles() const
{
    QMap<QString, QString> files;
    QDirIterator it(m_client, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(m_client).relativeFilePath(path);
        if (!UserFiles::names().contains(relative.section('/', 0, 0)))
            files.insert(relative, QCryptographicHash::hash(get(path), QCryptographicHash::Sha1).toHex());
    }
    return files;
}

void tst_Updater::acceptedOfferInstallsAndClientComesBack()
{
    const QByteArray favourites = get(m_client + "/Favourites.json");
    const QByteArray installer = get(m_client + "/downloadApp/kept-installer.sh");
    const QByteArray picture = get(m_client + "/CacheImage/elsewhere/picture.png");

    start(m_client + "/OrvaneDesk", "confirm");
    QVERIFY2(m_process->waitForFinished(60000), qPrintable(log()));
    QCOMPARE(m_process->exitCode(), 0);
    QVERIFY2(log().contains("updater started, start-up ends"), qPrintable(log()));

    const int started = waitForLog("started the new client");
    QVERIFY2(started > 0, qPrintable(log()));
    const int ended = waitForLog("updater ends with 0", started);
    QVERIFY2(ended > 0, qPrintable(log()));
    // The new client signs in by itself from the carried Config.ini.
    const int desktop = waitForLog("desktop shown with 4 category tabs", started);
    QVERIFY2(desktop > started, qPrintable(log()));
    QVERIFY2(waitForLog("event loop ended with 0", desktop) > desktop, qPrintable(log()));

    QCOMPARE(Settings::installedVersion(m_client + "/UpdaterVer.ini"), QString("9.9.9"));
    QVERIFY(QFile::exists(m_client + "/UpdateManifest.json"));
    QVERIFY(!QFile::exists(m_client + "/old-only.txt"));
    QCOMPARE(get(m_client + "/Favourites.json"), favourites);
    QCOMPARE(get(m_client + "/downloadApp/kept-installer.sh"), installer);
    QCOMPARE(get(m_client + "/CacheImage/elsewhere/picture.png"), picture);
    QCOMPARE(Settings::userName(m_client + "/Config.ini"), QString("demo"));
    QCOMPARE(QDir(m_place->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"OrvaneDesk"});
    // The service met the new version.
    bool newVersionSignedIn = false;
    for (const QJsonValue &request : m_service->received()) {
        const QJsonObject r = request.toObject();
        if (r.value("path").toString() == "NSVUserService/login/json"
            && r.value("query").toObject().value("v_").toString() == "V9.9.9")
            newVersionSignedIn = true;
    }
    QVERIFY(newVersionSignedIn);
}

void tst_Updater::tamperedPackageChangesNothingAndIsTold()
{
    QVERIFY(m_service->setUpdatePackage("tampered"));
    writeOffer();
    const QMap<QString, QString> before = programFiles();

    // As the client starts it; the restarted client declines the offer.
    start(m_client + "/UpdaterNew", "close");
    QVERIFY2(m_process->waitForFinished(90000), qPrintable(log()));
    QCOMPARE(m_process->exitCode(), 1);
    QVERIFY2(log().contains(QStringLiteral("title: 更新提示 text: \\r\\n更新包的签名无效")), qPrintable(log()));
    const int told = log().indexOf("updater ends with 1");
    // The old client starts again and shows its desktop.
    const int desktop = waitForLog("desktop shown with 4 category tabs", told);
    QVERIFY2(desktop > told, qPrintable(log()));
    QVERIFY2(waitForLog("event loop ended with 0", desktop) > desktop, qPrintable(log()));

    QCOMPARE(programFiles(), before);
    QCOMPARE(Settings::installedVersion(m_client + "/UpdaterVer.ini"), QString("1.0.0"));
    QCOMPARE(QDir(m_place->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"OrvaneDesk"});
}

void tst_Updater::killedMidDownloadContinuesNextTime()
{
    QVERIFY(m_service->setUpdatePackage("slow", QString(), 2 << 20));
    writeOffer();
    const QMap<QString, QString> before = programFiles();
    const QString partial = m_place->filePath(".OrvaneDesk-update/downloadApp/OrvaneDesk-9.9.9.tar.gz_tmp");

    start(m_client + "/UpdaterNew", "close");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(partial).size() > (3 << 20), 60000);
    m_process->kill(); // SIGKILL: no clean-up of its own
    QVERIFY(m_process->waitForFinished(5000));
    const qint64 kept = QFileInfo(partial).size();
    QCOMPARE(programFiles(), before);
    QCOMPARE(Settings::installedVersion(m_client + "/UpdaterVer.ini"), QString("1.0.0"));

    QVERIFY(m_service->setUpdatePackage("good"));
    QVERIFY(m_service->clearRecord());
    const int from = log().size();
    start(m_client + "/UpdaterNew", "close");
    QVERIFY2(m_process->waitForFinished(90000), qPrintable(log()));
    QCOMPARE(m_process->exitCode(), 0);
    QVERIFY2(waitForLog("event loop ended with 0", from) > from, qPrintable(log()));

    // The second run asked only for the rest of the package, for the file
    // it had begun.
    const QJsonObject request = m_service->lastReceived("downloads/OrvaneDesk-9.9.9.tar.gz");
    const QString range = request.value("range").toString();
    QVERIFY2(range.startsWith("bytes="), qPrintable(range));
    QVERIFY2(range.mid(6).section('-', 0, 0).toLongLong() >= kept - (1 << 20), qPrintable(range));
    QVERIFY(!request.value("ifRange").toString().isEmpty());
    QCOMPARE(Settings::installedVersion(m_client + "/UpdaterVer.ini"), QString("9.9.9"));
}

QTEST_GUILESS_MAIN(tst_Updater)
#include "tst_updater.moc"
