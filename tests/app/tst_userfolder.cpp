#include "app/launcher/UserFolder.h"
#include "tests/support/FullDisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using UserFolder::Plan;

namespace {

const QString kExe = QStringLiteral("OrvaneDesk");

void put(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
}

QByteArray get(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void setVersion(const QString &dir, const QString &version)
{
    if (version != QLatin1String("-"))
        put(dir + "/UpdaterVer.ini", "[MAINVER]\ncurver=" + version.toLatin1() + "\n");
}

QString versionOf(const QString &dir)
{
    return QSettings(dir + "/UpdaterVer.ini", QSettings::IniFormat).value("MAINVER/curver").toString();
}

// An installed folder as the package lays it out: root's read-only files.
void makeInstalled(const QString &dir, const QString &version, const QByteArray &program)
{
    put(dir + "/" + kExe, program);
    QFile::setPermissions(dir + "/" + kExe, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    put(dir + "/libSystemInfointerface.so.1", "library");
    QFile::link("libSystemInfointerface.so.1", dir + "/libSystemInfointerface.so");
    put(dir + "/help/index.html", "<p>help " + program + "</p>");
    QFile::setPermissions(dir + "/help/index.html", QFile::ReadOwner | QFile::ReadOther);
    setVersion(dir, version);
}

} // namespace

// The user's copy of the installed client folder: when it is made or
// replaced, that the user's files survive and that nothing is half done.
class TestUserFolder : public QObject
{
    Q_OBJECT

private slots:
    void plan_data()
    {
        QTest::addColumn<QString>("installed");
        QTest::addColumn<QString>("mine"); // "absent": no copy; "-": no version file
        QTest::addColumn<bool>("hasProgram");
        QTest::addColumn<int>("expected");
        QTest::newRow("first start") << "1.0.0" << "absent" << true << int(Plan::Create);
        QTest::newRow("same version") << "1.0.0" << "1.0.0" << true << int(Plan::Keep);
        QTest::newRow("installed newer, last part") << "1.0.10" << "1.0.9" << true << int(Plan::Refresh);
        QTest::newRow("installed newer, first part") << "2.0.0" << "1.9.9" << true << int(Plan::Refresh);
        // The updater brought the copy forward: never taken back.
        QTest::newRow("copy newer") << "1.0.1" << "1.1.0" << true << int(Plan::Keep);
        // A larger later part does not make an older release newer.
        QTest::newRow("copy newer, installed larger in the middle") << "1.9.0" << "2.0.5" << true << int(Plan::Keep);
        QTest::newRow("copy without version") << "1.0.0" << "-" << true << int(Plan::Refresh);
        QTest::newRow("copy with a broken version") << "1.0.0" << "1.0" << true << int(Plan::Refresh);
        QTest::newRow("neither has a version") << "-" << "-" << true << int(Plan::Keep);
        QTest::newRow("copy lost its program") << "1.0.0" << "1.0.0" << false << int(Plan::Refresh);
    }

    void plan()
    {
        QFETCH(QString, installed);
        QFETCH(QString, mine);
        QFETCH(bool, hasProgram);
        QFETCH(int, expected);
        QTemporaryDir root;
        const QString installedDir = root.filePath("opt");
        const QString userDir = root.filePath("home/OrvaneDesk");
        makeInstalled(installedDir, installed, "program");
        if (mine != QLatin1String("absent")) {
            QDir().mkpath(userDir);
            setVersion(userDir, mine);
            if (hasProgram)
                put(userDir + "/" + kExe, "program");
        }
        QCOMPARE(int(UserFolder::plan(installedDir, userDir, kExe)), expected);
    }

    void firstStartMakesAWritableCopy()
    {
        QTemporaryDir root;
        const QString installedDir = root.filePath("opt/orvanedesk");
        const QString userDir = root.filePath("data/OrvaneDesk");
        makeInstalled(installedDir, "1.0.0", "program 1");

        const UserFolder::Result result = UserFolder::prepare(installedDir, userDir, kExe);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.plan, Plan::Create);
        QCOMPARE(get(userDir + "/" + kExe), QByteArray("program 1"));
        QVERIFY(QFileInfo(userDir + "/" + kExe).isExecutable());
        QCOMPARE(get(userDir + "/help/index.html"), QByteArray("<p>help program 1</p>"));
        QVERIFY(QFileInfo(userDir + "/help/index.html").permissions().testFlag(QFile::WriteOwner));
        QCOMPARE(QFileInfo(userDir + "/libSystemInfointerface.so").symLinkTarget(),
                 userDir + "/libSystemInfointerface.so.1");
        QCOMPARE(versionOf(userDir), QStringLiteral("1.0.0"));
        // It will hold the user's password and downloads.
        QCOMPARE(QFile::permissions(userDir) & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
        QVERIFY(!QFileInfo::exists(UserFolder::stagingDir(userDir)));
    }

    void newerInstallRefreshesAndKeepsUserFiles()
    {
        QTemporaryDir root;
        const QString installedDir = root.filePath("opt");
        const QString userDir = root.filePath("data/OrvaneDesk");
        makeInstalled(installedDir, "1.0.0", "program 1");
        QVERIFY(UserFolder::prepare(installedDir, userDir, kExe).ok);
        put(userDir + "/Config.ini", "[userinfo]\nusername=demo\n");
        put(userDir + "/CacheImage/icon.png", "picture");
        put(userDir + "/DesktopApp.xml", "<apps/>");
        put(userDir + "/downloadApp/setup.sh_tmp", "partial");
        put(userDir + "/UpdaterVer.ini", "[MAINVER]\ncurver=1.0.0\nmainver=1.0.1\n");

        makeInstalled(installedDir, "1.0.1", "program 2");
        QFile::remove(installedDir + "/help/index.html");
        put(installedDir + "/help/new.html", "new page");

        const UserFolder::Result result = UserFolder::prepare(installedDir, userDir, kExe);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.plan, Plan::Refresh);
        QCOMPARE(get(userDir + "/" + kExe), QByteArray("program 2"));
        QCOMPARE(get(userDir + "/help/new.html"), QByteArray("new page"));
        QVERIFY(!QFileInfo::exists(userDir + "/help/index.html"));
        QCOMPARE(versionOf(userDir), QStringLiteral("1.0.1"));
        QCOMPARE(get(userDir + "/Config.ini"), QByteArray("[userinfo]\nusername=demo\n"));
        QCOMPARE(get(userDir + "/CacheImage/icon.png"), QByteArray("picture"));
        QCOMPARE(get(userDir + "/DesktopApp.xml"), QByteArray("<apps/>"));
        QCOMPARE(get(userDir + "/downloadApp/setup.sh_tmp"), QByteArray("partial"));
        QVERIFY(!QFileInfo::exists(UserFolder::stagingDir(userDir)));
        QVERIFY(!QFileInfo::exists(UserFolder::previousDir(userDir)));

        // The same version again: nothing is copied.
        put(userDir + "/" + kExe, "program 2, patched by the updater");
        const UserFolder::Result again = UserFolder::prepare(installedDir, userDir, kExe);
        QVERIFY(again.ok);
        QCOMPARE(again.plan, Plan::Keep);
        QCOMPARE(get(userDir + "/" + kExe), QByteArray("program 2, patched by the updater"));
    }

    // A launcher killed between the two renames of a swap leaves the old
    // copy aside and no copy in place; a killed copy leaves staging behind.
    void swapCutShortIsRepaired()
    {
        QTemporaryDir root;
        const QString installedDir = root.filePath("opt");
        const QString userDir = root.filePath("data/OrvaneDesk");
        makeInstalled(installedDir, "1.0.0", "program 1");
        const QString previous = UserFolder::previousDir(userDir);
        put(previous + "/" + kExe, "program 1");
        setVersion(previous, "1.0.0");
        put(previous + "/Config.ini", "[userinfo]\nusername=demo\n");
        put(UserFolder::stagingDir(userDir) + "/" + kExe, "half");

        const UserFolder::Result result = UserFolder::prepare(installedDir, userDir, kExe);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.plan, Plan::Keep);
        QCOMPARE(get(userDir + "/Config.ini"), QByteArray("[userinfo]\nusername=demo\n"));
        QVERIFY(!QFileInfo::exists(previous));
        QVERIFY(!QFileInfo::exists(UserFolder::stagingDir(userDir)));
    }

    void refreshThatCannotCompleteKeepsTheCopy()
    {
        FullDisk disk;
        if (!disk.isAvailable())
            QSKIP(qPrintable(disk.reason()));
        QTemporaryDir root;
        const QString installedDir = root.filePath("opt");
        const QString userDir = disk.path() + "/OrvaneDesk";
        makeInstalled(installedDir, "1.0.0", "program 1");
        QVERIFY(UserFolder::prepare(installedDir, userDir, kExe).ok);
        put(userDir + "/Config.ini", "[userinfo]\nusername=demo\n");
        makeInstalled(installedDir, "1.0.1", QByteArray(100 * 1024, 'p'));

        QVERIFY(disk.fill());
        const UserFolder::Result result = UserFolder::prepare(installedDir, userDir, kExe);
        disk.release();
        QVERIFY(!result.ok);
        QVERIFY(!result.error.isEmpty());
        QCOMPARE(get(userDir + "/" + kExe), QByteArray("program 1"));
        QCOMPARE(versionOf(userDir), QStringLiteral("1.0.0"));
        QCOMPARE(get(userDir + "/Config.ini"), QByteArray("[userinfo]\nusername=demo\n"));
        QVERIFY(!QFileInfo::exists(UserFolder::stagingDir(userDir)));
        QVERIFY(!QFileInfo::exists(UserFolder::previousDir(userDir)));

        // With room again the next start completes it.
        const UserFolder::Result later = UserFolder::prepare(installedDir, userDir, kExe);
        QVERIFY2(later.ok, qPrintable(later.error));
        QCOMPARE(versionOf(userDir), QStringLiteral("1.0.1"));
        QCOMPARE(get(userDir + "/Config.ini"), QByteArray("[userinfo]\nusername=demo\n"));
    }
};

QTEST_GUILESS_MAIN(TestUserFolder)
#include "tst_userfolder.moc"
