#include "core/Settings.h"
#include "core/UserFiles.h"
#include "tests/support/ClientProcess.h"
#include "tests/support/RefServiceProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The Debian package made from this build, unpacked into a scratch root
// (dpkg -x) and started as a user would start it, with a scratch home.
class TestPackage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void layout();
    void checkers_data();
    void checkers();
    void userFolderAndStarts();
    void cleanup();

private:
    QString run(const QString &program, const QStringList &args, int *exitCode, int ms = 120000);
    void launch(bool quitWhenShown);
    bool waitFor(const QString &text, int ms = 60000);
    bool waitForExit(int ms = 60000);

    QTemporaryDir m_work;
    QString m_deb;
    QString m_root;
    QString m_control;
    QString m_home;
    QString m_admin;
    std::unique_ptr<ClientProcess> m_client;
    QString m_serviceUrl;
};

QString TestPackage::run(const QString &program, const QStringList &args, int *exitCode, int ms)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(ms)) {
        process.kill();
        process.waitForFinished();
        *exitCode = -1;
    } else {
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    return QString::fromUtf8(process.readAll());
}

void TestPackage::initTestCase()
{
    for (const char *tool : {"dpkg-deb", "dpkg-shlibdeps"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/setup installs it)").arg(tool)));
    }
    QVERIFY(m_work.isValid());
    const QString out = m_work.filePath("out");
    int code = 0;
    const QString log = run(QStringLiteral(ORVANE_CPACK),
                            {"--config", QStringLiteral(ORVANE_CPACK_CONFIG), "-B", out}, &code, 300000);
    QVERIFY2(code == 0, qPrintable(log));
    m_deb = out + "/orvanedesk_" ORVANE_VERSION "_amd64.deb";
    QVERIFY2(QFileInfo::exists(m_deb), qPrintable(log));

    m_root = m_work.filePath("root");
    m_control = m_work.filePath("control");
    QString text = run("dpkg-deb", {"-x", m_deb, m_root}, &code);
    QVERIFY2(code == 0, qPrintable(text));
    text = run("dpkg-deb", {"-e", m_deb, m_control}, &code);
    QVERIFY2(code == 0, qPrintable(text));
}

void TestPackage::layout()
{
    const QString client = m_root + "/opt/orvanedesk";
    for (const QString &path : {m_root + "/usr/bin/orvanedesk", client + "/OrvaneDesk"})
        QVERIFY2(QFileInfo(path).isExecutable(), qPrintable(path));
    for (const char *path : {"/usr/share/applications/com.orvane.OrvaneDesk.desktop",
                             "/etc/xdg/autostart/com.orvane.OrvaneDesk.desktop",
                             "/usr/share/metainfo/com.orvane.OrvaneDesk.metainfo.xml",
                             "/usr/share/icons/hicolor/48x48/apps/orvanedesk.png",
                             "/usr/share/icons/hicolor/scalable/apps/orvanedesk.svg",
                             "/usr/share/doc/orvanedesk/copyright", "/usr/share/doc/orvanedesk/changelog.gz",
                             "/etc/orvanedesk/Config.ini", "/opt/orvanedesk/cil.html"})
        QVERIFY2(QFileInfo::exists(m_root + QLatin1String(path)), path);
    QCOMPARE(Settings::installedVersion(client + "/UpdaterVer.ini"), QStringLiteral(ORVANE_VERSION));
    // What runs leave in the build's folder is the user's, not the package's.
    for (const QString &name : UserFiles::names())
        QVERIFY2(!QFileInfo::exists(client + "/" + name), qPrintable(name));
    QVERIFY(!QFileInfo::exists(client + "/orvane-service"));
    // The administrator's files survive upgrades and go with purge.
    QFile conffiles(m_control + "/conffiles");
    QVERIFY(conffiles.open(QIODevice::ReadOnly));
    const QByteArray listed = conffiles.readAll();
    QVERIFY2(listed.contains("/etc/orvanedesk/Config.ini\n")
                 && listed.contains("/etc/xdg/autostart/com.orvane.OrvaneDesk.desktop\n"),
             listed.constData());
    // Dependencies were worked out from the libraries the client links.
    QFile control(m_control + "/control");
    QVERIFY(control.open(QIODevice::ReadOnly));
    const QByteArray fields = control.readAll();
    QVERIFY2(fields.contains("libqt5webenginewidgets5") && fields.contains("libqt5core5a"),
             fields.constData());
}

void TestPackage::checkers_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("lintian") << "lintian" << QStringList{"--fail-on", "error", "@deb"};
    QTest::newRow("desktop-file-validate")
        << "desktop-file-validate"
        << QStringList{"@root/usr/share/applications/com.orvane.OrvaneDesk.desktop",
                       "@root/etc/xdg/autostart/com.orvane.OrvaneDesk.desktop"};
    QTest::newRow("appstreamcli")
        << "appstreamcli"
        << QStringList{"validate", "--no-net", "@root/usr/share/metainfo/com.orvane.OrvaneDesk.metainfo.xml"};
}

void TestPackage::checkers()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    if (QStandardPaths::findExecutable(tool).isEmpty())
        QSKIP(qPrintable(tool + " is not installed (scripts/setup installs it)"));
    for (QString &arg : args)
        arg.replace("@deb", m_deb).replace("@root", m_root);
    int code = 0;
    const QString output = run(tool, args, &code);
    QVERIFY2(code == 0, qPrintable(output));
}

void TestPackage::launch(bool quitWhenShown)
{
    QProcessEnvironment env = ClientProcess::environment(m_home + "/run", "confirm");
    env.insert("HOME", m_home);
    env.insert("XDG_DATA_HOME", m_home + "/.local/share");
    env.insert("XDG_CONFIG_HOME", m_home + "/.config");
    env.insert("XDG_CACHE_HOME", m_home + "/.cache");
    env.insert("ORVANE_ADMIN_CONFIG", m_admin);
    if (env.contains("DISPLAY"))
        env.remove("QT_QPA_PLATFORM");
    if (!quitWhenShown)
        env.remove("ORVANE_QUIT_WHEN_SHOWN");
    m_client = std::make_unique<ClientProcess>();
    QVERIFY(m_client->start(m_root + "/usr/bin/orvanedesk", env, m_home));
}

bool TestPackage::waitFor(const QString &text, int ms)
{
    return m_client->waitFor(text, ms);
}

bool TestPackage::waitForExit(int ms)
{
    return m_client->waitForExit(ms);
}

void TestPackage::cleanup()
{
    m_client.reset();
}

void TestPackage::userFolderAndStarts()
{
    RefServiceProcess service;
    QVERIFY2(service.isRunning(), qPrintable(service.errorText()));
    QTemporaryDir home;
    m_home = home.path();
    QVERIFY(QDir().mkpath(m_home + "/run"));
    QFile::setPermissions(m_home + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_admin = m_home + "/admin/Config.ini";
    QDir().mkpath(m_home + "/admin");
    {
        QFile admin(m_admin);
        QVERIFY(admin.open(QIODevice::WriteOnly));
        admin.write("[server]\nflag=0\ntestserver=" + service.baseUrl().toUtf8() + "\n");
    }
    const QString mine = m_home + "/.local/share/OrvaneDesk";
    const QString installed = m_root + "/opt/orvanedesk";

    // First start: the copy is made, the administrator's service preset;
    // nobody has signed in yet, so the login dialog waits.
    launch(false);
    QVERIFY2(waitFor("login dialog shown"), qPrintable(m_client->output()));
    QVERIFY2(m_client->output().contains(QStringLiteral("user folder \"%1\" created").arg(mine)), qPrintable(m_client->output()));
    QVERIFY(QFileInfo(mine + "/OrvaneDesk").isExecutable());
    QCOMPARE(Settings::chooseServerAddress(mine + "/Config.ini"), service.baseUrl());

    // A second start meanwhile is refused and leaves the folder alone.
    const std::unique_ptr<ClientProcess> first = std::move(m_client);
    launch(false);
    QVERIFY2(waitForExit(), qPrintable(m_client->output()));
    QCOMPARE(m_client->exitCode(), 0);
    QVERIFY2(m_client->output().contains("the client runs already"), qPrintable(m_client->output()));
    QVERIFY2(m_client->output().contains(QStringLiteral("应用程序每次只能运行一个实例")), qPrintable(m_client->output()));
    first->kill();

    // Signed in once (remembered as the login dialog remembers it); the
    // same version again copies nothing.
    QVERIFY(Settings::writeSignIn({QString(), QString(), QStringLiteral("demo"), QStringLiteral("demo1234")},
                                  mine + "/Config.ini"));
    const QString marker = mine + "/help/left-by-this-copy";
    { QFile f(marker); QVERIFY(f.open(QIODevice::WriteOnly)); }
    launch(true);
    QVERIFY2(waitForExit(), qPrintable(m_client->output()));
    QCOMPARE(m_client->exitCode(), 0);
    QVERIFY2(m_client->output().contains(QStringLiteral("user folder \"%1\" kept").arg(mine)), qPrintable(m_client->output()));
    QVERIFY2(m_client->output().contains("desktop shown with 4 category tabs"), qPrintable(m_client->output()));
    QVERIFY(QFileInfo::exists(marker));
    QVERIFY(QFileInfo::exists(mine + "/DesktopApp.xml"));

    // A newer package: the copy is refreshed, the user's files stay (the
    // remembered sign-in opens the desktop again).
    QSettings(installed + "/UpdaterVer.ini", QSettings::IniFormat).setValue("MAINVER/curver", "99.0.0");
    { QFile f(installed + "/help/new-in-99.html"); QVERIFY(f.open(QIODevice::WriteOnly)); }
    launch(true);
    QVERIFY2(waitForExit(), qPrintable(m_client->output()));
    QCOMPARE(m_client->exitCode(), 0);
    QVERIFY2(m_client->output().contains(QStringLiteral("user folder \"%1\" refreshed").arg(mine)), qPrintable(m_client->output()));
    QVERIFY2(m_client->output().contains("desktop shown with 4 category tabs"), qPrintable(m_client->output()));
    QCOMPARE(Settings::installedVersion(mine + "/UpdaterVer.ini"), QStringLiteral("99.0.0"));
    QVERIFY(QFileInfo::exists(mine + "/help/new-in-99.html"));
    QVERIFY(!QFileInfo::exists(marker));
    QVERIFY(QFileInfo::exists(mine + "/DesktopApp.xml"));
    QCOMPARE(Settings::userName(mine + "/Config.ini"), QStringLiteral("demo"));
    QCOMPARE(Settings::chooseServerAddress(mine + "/Config.ini"), service.baseUrl());
    // Nothing the client wrote went into the installed folder.
    for (const QString &name : UserFiles::names())
        QVERIFY2(!QFileInfo::exists(installed + "/" + name), qPrintable(name));
}

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
