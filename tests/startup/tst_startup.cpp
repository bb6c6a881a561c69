#include "tests/support/ClientProcess.h"
#include "tests/support/RefServiceProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// Starts the real client from a copy of the client folder against the
// reference service and watches what it does through its debug output.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void automaticSignIn();
    void wrongStoredCredentialsShowMessageThenDialog();
    void flagAbsentShowsDialog();
    void updateAccepted();
    void updateDeclined();
    void updaterThatDoesNotStartIsTold_data();
    void updaterThatDoesNotStartIsTold();
    void waylandSessionComesUpOnX11();

private:
    void prepare(const QByteArray &userinfo);
    void start(const QString &answer, const QMap<QString, QString> &environment = {});
    // Reads output until it contains text or the client ends.
    bool waitFor(const QString &text, int ms = 30000);
    bool waitForExit(int ms = 30000);

    QScopedPointer<QTemporaryDir> m_place;
    QScopedPointer<QTemporaryDir> m_runtime;
    QScopedPointer<RefServiceProcess> m_service;
    ClientProcess m_client;
    QString m_folder;
};

void TestStartup::init()
{
    m_place.reset(new QTemporaryDir);
    m_runtime.reset(new QTemporaryDir);
    m_folder = m_place->filePath("OrvaneDesk");
    QString error;
    QVERIFY2(ClientProcess::copyClientFolder(m_folder, &error), qPrintable(error));
    m_service.reset(new RefServiceProcess);
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
}

void TestStartup::cleanup()
{
    m_client.kill();
    m_service.reset();
}

void TestStartup::prepare(const QByteArray &userinfo)
{
    QFile config(m_folder + "/Config.ini");
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("[server]\nflag=0\ntestserver=" + m_service->baseUrl().toUtf8() + "\n");
    if (!userinfo.isEmpty())
        config.write("[userinfo]\n" + userinfo);
}

void TestStartup::start(const QString &answer, const QMap<QString, QString> &environment)
{
    QProcessEnvironment env = ClientProcess::environment(m_runtime->path(), answer);
    for (auto it = environment.begin(); it != environment.end(); ++it)
        env.insert(it.key(), it.value());
    QVERIFY(m_client.start(m_folder + "/OrvaneDesk", env, m_place->path()));
}

bool TestStartup::waitFor(const QString &text, int ms)
{
    return m_client.waitFor(text, ms);
}

bool TestStartup::waitForExit(int ms)
{
    return m_client.waitForExit(ms);
}

void TestStartup::automaticSignIn()
{
    prepare("rember=1\nflag=1\nusername=demo\nuserpwd=demo1234\n");
    start("confirm");
    QVERIFY2(waitForExit(), qPrintable(m_client.output()));
    QCOMPARE(m_client.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_client.exitCode(), 0);
    QVERIFY2(m_client.output().contains("signed in with 4 categories"), qPrintable(m_client.output()));
    QVERIFY2(m_client.output().contains("desktop shown with 4 category tabs and the first category open"),
             qPrintable(m_client.output()));
    QVERIFY2(m_client.output().contains("event loop ended with 0"), qPrintable(m_client.output()));
    QVERIFY2(!m_client.output().contains("start-up ends"), qPrintable(m_client.output()));
    QVERIFY2(!m_client.output().contains("login dialog shown"), qPrintable(m_client.output()));
    QVERIFY2(!m_client.output().contains("box QMsgDlg"), qPrintable(m_client.output()));
    QVERIFY(QFileInfo(m_folder + "/DesktopApp.xml").size() > 0);
    QVERIFY(QDir(m_folder + "/CacheImage").entryList(QDir::Files).size() > 0);
}

void TestStartup::wrongStoredCredentialsShowMessageThenDialog()
{
    prepare("rember=1\nflag=1\nusername=demo\nuserpwd=wrong\n");
    start("confirm");
    QVERIFY2(waitFor("showing the login dialog"), qPrintable(m_client.output()));
    const int shown = m_client.output().indexOf("login dialog shown");
    const int box = m_client.output().indexOf(QStringLiteral("title: 登录提示 text: \\r\\n用户名或者密码不正确！"));
    const int fallback = m_client.output().indexOf("showing the login dialog");
    QVERIFY2(shown >= 0 && box > shown && fallback > box, qPrintable(m_client.output()));
    // Waiting for the user now.
    QTest::qWait(500);
    QCOMPARE(m_client.state(), QProcess::Running);
    QVERIFY(!QFile::exists(m_folder + "/DesktopApp.xml"));
    QSettings settings(m_folder + "/Config.ini", QSettings::IniFormat);
    QCOMPARE(settings.value("userinfo/userpwd").toString(), QString("wrong"));
    QVERIFY(!settings.contains("connect/token"));
}

void TestStartup::flagAbsentShowsDialog()
{
    prepare("rember=1\nusername=demo\nuserpwd=demo1234\n");
    start("confirm");
    QVERIFY2(waitFor("login dialog shown"), qPrintable(m_client.output()));
    QVERIFY(!m_client.output().contains("signed in"));
    QCOMPARE(m_client.state(), QProcess::Running);
}

void TestStartup::updateAccepted()
{
    QVERIFY(m_service->setOfferedVersion("9.9.9", "http://dl.test/OrvaneDesk-9.9.9.tar"));
    QSettings(m_folder + "/UpdaterVer.ini", QSettings::IniFormat).setValue("MAINVER/curver", "1.0.0");
    QFile updater(m_folder + "/UpdaterNew");
    QVERIFY(updater.open(QIODevice::WriteOnly));
    updater.write("#!/bin/sh\necho started > \"$(dirname \"$0\")/updater-ran\"\n");
    updater.close();
    updater.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    prepare("rember=1\nflag=1\nusername=demo\nuserpwd=demo1234\n");
    start("confirm");
    QVERIFY2(waitForExit(), qPrintable(m_client.output()));
    QCOMPARE(m_client.exitCode(), 0);
    QVERIFY2(m_client.output().contains(QStringLiteral("title: 更新提示 text: 发现新版本，是否立即更新？")),
             qPrintable(m_client.output()));
    QVERIFY2(!m_client.output().contains("login dialog shown") && !m_client.output().contains("signed in"),
             qPrintable(m_client.output()));
    QTRY_VERIFY(QFile::exists(m_folder + "/updater-ran"));
    QSettings ini(m_folder + "/UpdaterVer.ini", QSettings::IniFormat);
    QCOMPARE(ini.value("MAINVER/mainver").toString(), QString("9.9.9"));
    QCOMPARE(ini.value("MAINVER/fileurl").toString(), QString("http://dl.test/OrvaneDesk-9.9.9.tar"));
}

void TestStartup::updateDeclined()
{
    QVERIFY(m_service->setOfferedVersion("1.0.1"));
    QSettings(m_folder + "/UpdaterVer.ini", QSettings::IniFormat).setValue("MAINVER/curver", "1.0.0");
    prepare("rember=1\nflag=1\nusername=demo\nuserpwd=demo1234\n");
    start("close");
    QVERIFY2(waitForExit(), qPrintable(m_client.output()));
    QCOMPARE(m_client.exitCode(), 0);
    QVERIFY2(m_client.output().contains(QStringLiteral("title: 更新提示")), qPrintable(m_client.output()));
    QVERIFY2(m_client.output().contains("signed in with"), qPrintable(m_client.output()));
    QVERIFY2(m_client.output().contains("desktop shown with 4 category tabs"), qPrintable(m_client.output()));
    QSettings ini(m_folder + "/UpdaterVer.ini", QSettings::IniFormat);
    QCOMPARE(ini.value("MAINVER/mainver").toString(), QString("1.0.1"));
}

void TestStartup::updaterThatDoesNotStartIsTold_data()
{
    QTest::addColumn<bool>("present");
    QTest::newRow("missing") << false;
    QTest::newRow("not executable") << true;
}

void TestStartup::updaterThatDoesNotStartIsTold()
{
    QFETCH(bool, present);
    QVERIFY(m_service->setOfferedVersion("9.9.9"));
    QSettings(m_folder + "/UpdaterVer.ini", QSettings::IniFormat).setValue("MAINVER/curver", "1.0.0");
    // The client folder has a real updater now: this case takes it away.
    QFile::remove(m_folder + "/UpdaterNew");
    if (present) {
        QFile updater(m_folder + "/UpdaterNew");
        QVERIFY(updater.open(QIODevice::WriteOnly));
        updater.write("#!/bin/sh\nexit 0\n");
        updater.close();
        QVERIFY(updater.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }
    prepare("rember=1\nflag=1\nusername=demo\nuserpwd=demo1234\n");
    start("confirm");
    QVERIFY2(waitForExit(), qPrintable(m_client.output()));
    QCOMPARE(m_client.exitCode(), 0);
    const int asked = m_client.output().indexOf(QStringLiteral("title: 更新提示 text: 发现新版本，是否立即更新？"));
    const int told = m_client.output().indexOf(QStringLiteral("title: 更新提示 text: \\r\\n更新程序启动失败，请稍后重试！"));
    const int signedIn = m_client.output().indexOf("signed in with");
    QVERIFY2(asked >= 0 && told > asked && signedIn > told, qPrintable(m_client.output()));
}

void TestStartup::waylandSessionComesUpOnX11()
{
    if (qEnvironmentVariable("DISPLAY").isEmpty())
        QSKIP("needs an X server (the suite runs under xvfb-run)");
    prepare("rember=1\nflag=1\nusername=demo\nuserpwd=demo1234\n");
    // A Plasma session: the toolkit is asked for Wayland, whose display
    // does not exist here, so a client that took it would not come up.
    start("confirm", {{"QT_QPA_PLATFORM", "wayland"},
                      {"WAYLAND_DISPLAY", "orvane-no-such-wayland-display"},
                      {"XDG_SESSION_TYPE", "wayland"}});
    QVERIFY2(waitForExit(), qPrintable(m_client.output()));
    QCOMPARE(m_client.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_client.exitCode(), 0);
    QVERIFY2(m_client.output().contains("window system: xcb through XWayland"), qPrintable(m_client.output()));
    QVERIFY2(m_client.output().contains("desktop shown with 4 category tabs"), qPrintable(m_client.output()));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
