#include "AppPaths.h"
#include "ConfigFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

class TestConfigFile : public QObject
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
        QCOMPARE(ConfigFile::chooseServerAddress(writeRaw(content)), expected);
    }

    void missingFileReadsDefaults()
    {
        const QString path = m_dir.filePath(QStringLiteral("absent/Config.ini"));
        QCOMPARE(ConfigFile::chooseServerAddress(path), QString());
        QCOMPARE(ConfigFile::readFlag(path, QStringLiteral("/userinfo/flag")), -1);
        QCOMPARE(ConfigFile::readText(path, QStringLiteral("/userinfo/username")), QString());
    }

    void onlyServerGroup()
    {
        const QString path = writeRaw("[server]\nflag=0\ntestserver=http://t/\n");
        QCOMPARE(ConfigFile::readText(path, QStringLiteral("/userinfo/username")), QString());
        QCOMPARE(ConfigFile::readText(path, QStringLiteral("/userinfo/rember")), QString());
        QCOMPARE(ConfigFile::readFlag(path, QStringLiteral("/userinfo/flag")), -1);
    }

    void flagZeroWithRemember()
    {
        const QString path = writeRaw("[userinfo]\nflag=0\nrember=1\nusername=demo\n");
        QCOMPARE(ConfigFile::readFlag(path, QStringLiteral("/userinfo/flag")), 0);
        QCOMPARE(ConfigFile::readFlag(path, QStringLiteral("userinfo/flag")), 0);
        QCOMPARE(ConfigFile::readText(path, QStringLiteral("/userinfo/rember")), QStringLiteral("1"));
    }

    void chineseNameIsStoredAsGb2312()
    {
        const QString path = writeRaw("[server]\nflag=1\nofficialserver=http://prod.example/\n");
        const QString name = QStringLiteral("张三丰");
        QVERIFY(ConfigFile::writeKeys(path, {{QStringLiteral("/userinfo/username"), name}}));
        QCOMPARE(ConfigFile::readText(path, QStringLiteral("/userinfo/username")), name);

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray raw = file.readAll();
        const QByteArray gb = QTextCodec::codecForName("GB2312")->fromUnicode(name);
        QVERIFY2(raw.contains("username=" + gb), raw.constData());
        // The server group provided by the installation survives the write.
        QCOMPARE(ConfigFile::chooseServerAddress(path), QStringLiteral("http://prod.example/"));
    }

    void writesKeysAndRestrictsToOwner()
    {
        const QString path = writeRaw("[server]\nflag=0\n");
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                        | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        const ConfigFile::Entries entries = {
            {QStringLiteral("/connect/token"), QStringLiteral("tok")},
            {QStringLiteral("/connect/uid"), QStringLiteral("42")},
            {QStringLiteral("/userinfo/rember"), QStringLiteral("1")},
            {QStringLiteral("/userinfo/username"), QStringLiteral("demo")},
            {QStringLiteral("/userinfo/userpwd"), QStringLiteral("p&ss=wörd")},
            {QStringLiteral("/userinfo/flag"), 1},
        };
        QVERIFY(ConfigFile::writeKeys(path, entries));
        const QFileDevice::Permissions perms = QFile::permissions(path);
        QVERIFY(perms.testFlag(QFileDevice::ReadOwner) && perms.testFlag(QFileDevice::WriteOwner));
        QCOMPARE(perms & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
        QCOMPARE(ConfigFile::readText(path, QStringLiteral("/userinfo/userpwd")), QStringLiteral("p&ss=wörd"));
        QCOMPARE(ConfigFile::readFlag(path, QStringLiteral("/userinfo/flag")), 1);
        QCOMPARE(ConfigFile::readText(path, QStringLiteral("/connect/uid")), QStringLiteral("42"));
    }

    void newFileIsOwnerOnly()
    {
        const QString path = m_dir.filePath(QStringLiteral("fresh.ini"));
        QVERIFY(ConfigFile::writeKeys(path, {{QStringLiteral("/userinfo/userpwd"), QStringLiteral("secret")}}));
        QCOMPARE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther
                                             | QFileDevice::WriteGroup | QFileDevice::WriteOther),
                 QFileDevice::Permissions());
    }

    void unwritableLocationReportsFailure()
    {
        // A folder that cannot exist: its parent is a plain file.
        const QString blocker = writeRaw("x");
        QVERIFY(!ConfigFile::writeKeys(blocker + QStringLiteral("/Config.ini"),
                                       {{QStringLiteral("/userinfo/flag"), 1}}));
    }

    void defaultPathIsBesideExecutable()
    {
        AppPaths::setAppDirPathOverride(m_dir.path());
        QCOMPARE(ConfigFile::defaultPath(), m_dir.filePath(QStringLiteral("Config.ini")));
        AppPaths::setAppDirPathOverride(QString());
        QCOMPARE(ConfigFile::defaultPath(),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini"));
    }
};

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
