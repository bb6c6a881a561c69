#include "core/AppPaths.h"
#include "core/Settings.h"
#include "tests/support/FullDisk.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

class TestSettings : public QObject
{
    Q_OBJECT

private:
    // A fresh file per case: the settings layer caches files by path.
    QString writeRaw(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QStringLiteral("Config-%1.ini").arg(++m_files));
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(content);
        file.close();
        return path;
    }

    QTemporaryDir m_dir;
    int m_files = 0;

private slots:
    void serverChoice_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        const QByteArray servers = "testserver=http://test.example/\nofficialserver=http://prod.example/\n";
        QTest::newRow("flag absent") << QByteArray("[server]\n" + servers) << "http://test.example/";
        QTest::newRow("flag empty") << QByteArray("[server]\nflag=\n" + servers) << "http://test.example/";
        QTest::newRow("flag 0") << QByteArray("[server]\nflag=0\n" + servers) << "http://test.example/";
        QTest::newRow("flag 1") << QByteArray("[server]\nflag=1\n" + servers) << "http://prod.example/";
        QTest::newRow("flag 2") << QByteArray("[server]\nflag=2\n" + servers) << "http://prod.example/";
        QTest::newRow("test key missing") << QByteArray("[server]\nflag=0\nofficialserver=http://prod.example/\n") << QString();
        QTest::newRow("official key missing") << QByteArray("[server]\nflag=1\ntestserver=http://test.example/\n") << QString();
        QTest::newRow("empty file") << QByteArray() << QString();
    }

    void serverChoice()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QCOMPARE(Settings::chooseServerAddress(writeRaw(content)), expected);
    }

    void missingFileReadsDefaults()
    {
        const QString path = m_dir.filePath(QStringLiteral("absent/Config.ini"));
        QCOMPARE(Settings::chooseServerAddress(path), QString());
        QCOMPARE(Settings::autoLoginFlag(path), -1);
        QCOMPARE(Settings::userName(path), QString());
    }

    void onlyServerGroup()
    {
        const QString path = writeRaw("[server]\nflag=0\ntestserver=http://t/\n");
        QCOMPARE(Settings::userName(path), QString());
        QVERIFY(!Settings::rememberCredentials(path));
        QCOMPARE(Settings::autoLoginFlag(path), -1);
    }

    void flagZeroWithRemember()
    {
        const QString path = writeRaw("[userinfo]\nflag=0\nrember=1\nusername=demo\n");
        QCOMPARE(Settings::autoLoginFlag(path), 0);
        QCOMPARE(Settings::autoLoginFlag(path), 0);
        QVERIFY(Settings::rememberCredentials(path));
    }

    void chineseNameIsStoredAsGb2312()
    {
        const QString path = writeRaw("[server]\nflag=1\nofficialserver=http://prod.example/\n");
        const QString name = QStringLiteral("张三丰");
        QVERIFY(Settings::writeSignIn({QStringLiteral("t"), QStringLiteral("1"), name, QStringLiteral("pw")}, path));
        QCOMPARE(Settings::userName(path), name);

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray raw = file.readAll();
        const QByteArray gb = QTextCodec::codecForName("GB2312")->fromUnicode(name);
        QVERIFY2(raw.contains("username=" + gb), raw.constData());
        // The server group provided by the installation survives the write.
        QCOMPARE(Settings::chooseServerAddress(path), QStringLiteral("http://prod.example/"));
    }

    void valuesBeyondGb2312Survive_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("sharp s") << QStringLiteral("Straße-1");
        QTest::newRow("euro and accents") << QStringLiteral("€ñé-Ǹ");
        QTest::newRow("Chinese beyond GB2312") << QStringLiteral("喆𠀀镕");
        QTest::newRow("emoji") << QStringLiteral("pw😀x");
        QTest::newRow("emoji last") << QStringLiteral("张😀");
        QTest::newRow("Cyrillic and Greek, as before") << QStringLiteral("пароль-λ");
    }

    void valuesBeyondGb2312Survive()
    {
        // A password stored as "Stra?e-1" sends another digest next time.
        QFETCH(QString, value);
        const QString path = writeRaw("[server]\nflag=0\n");
        QVERIFY(Settings::writeSignIn({value, value, value, value}, path));
        // Read from a copy: the settings layer would answer from its cache.
        const QString copy = path + QStringLiteral(".copy");
        QVERIFY(QFile::copy(path, copy));
        QCOMPARE(Settings::userPassword(copy), value);
        QCOMPARE(Settings::userName(copy), value);
        QCOMPARE(Settings::token(copy), value);
        QCOMPARE(Settings::uid(copy), value);
    }

    void gb2312TextKeepsItsBytes()
    {
        // What earlier releases wrote with the GB2312 codec: the same
        // values written again give the very same bytes.
        const QString name = QStringLiteral("张三丰·王—“测试”");
        const QString path = writeRaw(QByteArray());
        {
            QSettings old(path, QSettings::IniFormat);
            old.setIniCodec("GB2312");
            old.setValue(QStringLiteral("/connect/token"), QStringLiteral("t"));
            old.setValue(QStringLiteral("/connect/uid"), QStringLiteral("7"));
            old.setValue(QStringLiteral("/userinfo/rember"), QStringLiteral("1"));
            old.setValue(QStringLiteral("/userinfo/username"), name);
            old.setValue(QStringLiteral("/userinfo/userpwd"), QStringLiteral("密码"));
            old.setValue(QStringLiteral("/userinfo/flag"), 1);
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        QVERIFY(before.contains(QTextCodec::codecForName("GB2312")->fromUnicode(name)));
        const QString copy = path + QStringLiteral(".copy");
        QVERIFY(QFile::copy(path, copy));
        QCOMPARE(Settings::userName(copy), name);
        QVERIFY(Settings::writeSignIn({QStringLiteral("t"), QStringLiteral("7"), name, QStringLiteral("密码")}, path));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }

    void readOnlyFileIsLeftAlone_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("0444") << 0444;
        QTest::newRow("0400") << 0400;
        QTest::newRow("0440") << 0440;
    }

    void readOnlyFileIsLeftAlone()
    {
        // An administrator locked the file: its mode and content stay,
        // also for a user (root) whom the system would let write.
        QFETCH(int, mode);
        const QByteArray content = "[server]\nflag=0\n[userinfo]\nusername=old\n";
        const QString path = writeRaw(content);
        const QFileDevice::Permissions locked(
            (mode & 0400 ? QFileDevice::ReadOwner : QFileDevice::Permissions())
            | (mode & 0040 ? QFileDevice::ReadGroup : QFileDevice::Permissions())
            | (mode & 0004 ? QFileDevice::ReadOther : QFileDevice::Permissions()));
        QVERIFY(QFile::setPermissions(path, locked));
        QVERIFY(!Settings::writeSignIn({QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("new"),
                                        QStringLiteral("pw")},
                                       path));
        QCOMPARE(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser
                                               | QFileDevice::ExeUser),
                 locked);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
        QCOMPARE(Settings::userName(path), QStringLiteral("old"));
    }

    void fullDiskKeepsPreviousFile()
    {
        FullDisk disk;
        if (!disk.isAvailable())
            QSKIP(qPrintable(disk.reason()));
        qInfo() << "full disk by" << disk.kind();
        const QString path = disk.path() + QStringLiteral("/Config.ini");
        QVERIFY(Settings::writeSignIn({QStringLiteral("t1"), QStringLiteral("1"), QStringLiteral("first"),
                                       QStringLiteral("pw1")},
                                      path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        QVERIFY(disk.fill());
        const bool written = Settings::writeSignIn({QString(300, QLatin1Char('t')), QStringLiteral("2"),
                                                    QStringLiteral("second"), QStringLiteral("pw2")},
                                                   path);
        disk.release();
        QVERIFY2(!written, qPrintable(disk.kind()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }

    void writesKeysAndRestrictsToOwner()
    {
        const QString path = writeRaw("[server]\nflag=0\n");
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                        | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        QVERIFY(Settings::writeSignIn({QStringLiteral("tok"), QStringLiteral("42"),
                                       QStringLiteral("demo"), QStringLiteral("p&ss=wörd")},
                                      path));
        const QFileDevice::Permissions perms = QFile::permissions(path);
        QVERIFY(perms.testFlag(QFileDevice::ReadOwner) && perms.testFlag(QFileDevice::WriteOwner));
        QCOMPARE(perms & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
        QCOMPARE(Settings::userPassword(path), QStringLiteral("p&ss=wörd"));
        QCOMPARE(Settings::autoLoginFlag(path), 1);
        QCOMPARE(Settings::uid(path), QStringLiteral("42"));
        QCOMPARE(Settings::token(path), QStringLiteral("tok"));
        QVERIFY(Settings::rememberCredentials(path));
    }

    void newFileIsOwnerOnly()
    {
        const QString path = m_dir.filePath(QStringLiteral("fresh.ini"));
        QVERIFY(Settings::writeSignIn({QString(), QString(), QStringLiteral("a"), QStringLiteral("secret")}, path));
        QCOMPARE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther
                                             | QFileDevice::WriteGroup | QFileDevice::WriteOther),
                 QFileDevice::Permissions());
    }

    void unwritableLocationReportsFailure()
    {
        // A folder that cannot exist: its parent is a plain file.
        const QString blocker = writeRaw("x");
        QVERIFY(!Settings::writeSignIn({}, blocker + QStringLiteral("/Config.ini")));
    }

    // The administrator's [server] reaches a user's file only while the
    // user names no service of their own; nothing else of either file moves.
    void seedServerGroup_data()
    {
        QTest::addColumn<QByteArray>("admin");
        QTest::addColumn<QByteArray>("user"); // "-": no user file yet
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("address");
        const QByteArray admin = "[server]\nflag=1\nofficialserver=http://prod.example/\n"
                                 "testserver=http://test.example/\nextra=ignored\n"
                                 "[userinfo]\nusername=admin\n";
        using S = Settings::ServerSeed;
        QTest::newRow("first start") << admin << QByteArray("-") << int(S::Seeded)
                                     << "http://prod.example/";
        QTest::newRow("user signed in, no server") << admin << QByteArray("[userinfo]\nusername=u\nflag=1\n")
                                                   << int(S::Seeded) << "http://prod.example/";
        QTest::newRow("user has own service") << admin
                                              << QByteArray("[server]\ntestserver=http://mine.example/\n")
                                              << int(S::UserHasServer) << "http://mine.example/";
        // flag alone would switch the user to the administrator's address.
        QTest::newRow("user has only flag") << admin << QByteArray("[server]\nflag=0\n")
                                            << int(S::UserHasServer) << "";
        QTest::newRow("admin file without server") << QByteArray("[userinfo]\nusername=x\n")
                                                   << QByteArray("-") << int(S::NothingToSeed) << "";
        QTest::newRow("commented template") << QByteArray(";[server]\n;flag=1\n;officialserver=http://x/\n")
                                            << QByteArray("-") << int(S::NothingToSeed) << "";
        QTest::newRow("no admin file") << QByteArray("-") << QByteArray("-") << int(S::NothingToSeed) << "";
    }

    void seedServerGroup()
    {
        QFETCH(QByteArray, admin);
        QFETCH(QByteArray, user);
        QFETCH(int, outcome);
        QFETCH(QString, address);
        const QString adminPath = admin == "-" ? m_dir.filePath(QStringLiteral("absent.ini")) : writeRaw(admin);
        const QString userPath = user == "-" ? m_dir.filePath(QStringLiteral("user-%1.ini").arg(++m_files))
                                             : writeRaw(user);
        QCOMPARE(int(Settings::seedServerGroup(adminPath, userPath)), outcome);
        QCOMPARE(Settings::chooseServerAddress(userPath), address);
        if (outcome == int(Settings::ServerSeed::Seeded)) {
            QSettings seeded(userPath, QSettings::IniFormat);
            QCOMPARE(seeded.value(QStringLiteral("server/testserver")).toString(),
                     QStringLiteral("http://test.example/"));
            QVERIFY(!seeded.contains(QStringLiteral("server/extra")));
            QCOMPARE(seeded.value(QStringLiteral("userinfo/username")).toString(),
                     user == "-" ? QString() : QStringLiteral("u"));
            // It will hold the password: owner only from the start.
            QCOMPARE(QFile::permissions(userPath) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                     QFileDevice::Permissions());
        } else if (user == "-") {
            QVERIFY(!QFile::exists(userPath));
        }
    }

    void seedLeavesLockedFileAlone()
    {
        const QString adminPath = writeRaw("[server]\nflag=1\nofficialserver=http://prod.example/\n");
        const QString userPath = writeRaw("[userinfo]\nusername=u\n");
        QFile::setPermissions(userPath, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        const QFileDevice::Permissions locked = QFile::permissions(userPath);
        QCOMPARE(Settings::seedServerGroup(adminPath, userPath), Settings::ServerSeed::Failed);
        QCOMPARE(QFile::permissions(userPath), locked);
        QCOMPARE(Settings::chooseServerAddress(userPath), QString());
    }

    void defaultPathIsBesideExecutable()
    {
        AppPaths::setAppDirPathOverride(m_dir.path());
        QCOMPARE(Settings::configPath(), m_dir.filePath(QStringLiteral("Config.ini")));
        QCOMPARE(Settings::versionPath(), m_dir.filePath(QStringLiteral("UpdaterVer.ini")));
        AppPaths::setAppDirPathOverride(QString());
        QCOMPARE(Settings::configPath(),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini"));
    }

    void versionFile()
    {
        const QString path = writeRaw("[MAINVER]\ncurver=1.0.12\n");
        QCOMPARE(Settings::installedVersion(path), QStringLiteral("1.0.12"));
        QVERIFY(Settings::recordUpdateOffer(QStringLiteral("1.0.13"),
                                            QStringLiteral("http://h/u.exe"), path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray raw = file.readAll();
        QVERIFY2(raw.contains("curver=1.0.12") && raw.contains("mainver=1.0.13")
                     && raw.contains("fileurl=http://h/u.exe"),
                 raw.constData());
        QCOMPARE(Settings::installedVersion(m_dir.filePath(QStringLiteral("none.ini"))), QString());
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
