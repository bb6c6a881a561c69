#include "core/AppPaths.h"
#include "core/Settings.h"

#include <QFile>
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
