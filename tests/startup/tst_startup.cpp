#include "tests/support/RefServiceProcess.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
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
    QScopedPointer<QProcess> m_client;
    QString m_folder;
    QString m_output;
};

static bool copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString relative = QDir(from).relativeFilePath(source);
        // Leave out what a run of the client writes.
        if (relative == "Config.ini" || relative == "DesktopApp.xml"
            || relative == "UpdaterVer.ini" || relative.startsWith("CacheImage")
            || relative.startsWith("downloadApp"))
            continue;
        const QString target = to + '/' + relative;
        if (it.fileInfo().isDir())
            QDir().mkpath(target);
        else if (!QFile::copy(source, target))
            return false;
    }
    return true;
}

void TestStartup::init()
{
    m_place.reset(new QTemporaryDir);
    m_runtime.reset(new QTemporaryDir);
    m_folder = m_place->filePath("OrvaneDesk");
    QVERIFY(copyTree(qEnvironmentVariable("ORVANE_BIN_DIR"), m_folder));
    m_service.reset(new RefServiceProcess);
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    m_output.clear();
}

void TestStartup::cleanup()
{
    if (m_client && m_client->state() != QProcess::NotRunning) {
        m_client->kill();
        m_client->waitForFinished(5000);
    }
    m_client.reset();
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
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", m_runtime->path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // The desktop's hidden push page starts the web engine, which refuses
    // to run as root with its sandbox.
    env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    env.insert("QT_LOGGING_RULES", "orvane.*=true");
    env.insert("ORVANE_AUTO_ANSWER", answer);
    // The desktop has no quit control of its own: the client ends its event
    // loop as soon as the desktop is up.
    env.insert("ORVANE_QUIT_WHEN_SHOWN", "1");
    for (auto it = environment.begin(); it != environment.end(); ++it)
        env.insert(it.key(), it.value());
    m_client.reset(new QProcess);
    m_client->setProcessEnvironment(env);
    m_client->setProcessChannelMode(QProcess::MergedChannels);
    m_client->setWorkingDirectory(m_place->path());
    m_client->start(m_folder + "/OrvaneDesk", QStringList());
    QVERIFY(m_client->waitForStarted());
}

bool TestStartup::waitFor(const QString &text, int ms)
{
    QElapsedTimer waited;
    waited.start();
    while (!m_output.contains(text) && waited.elapsed() < ms) {
        m_client->waitForReadyRead(100);
        m_output += QString::fromUtf8(m_client->readAll());
        if (m_client->state() == QProcess::NotRunning) {
            m_output += QString::fromUtf8(m_client->readAll());
            break;
        }
    }
    return m_output.contains(text);
}

bool TestStartup::waitForExit(int ms)
{
    const bool ended = m_client->waitForFinished(ms);
    m_output += QString::fromUtf8(m_client->readAll());
    return ended;
}

void TestStartup::automaticSignIn()
{
    prepare("rember=1\nflag=1\nusername=demo\nuserpwd=demo1234\n");
    start("confirm");
    QVERIFY2(waitForExit(), qPrintable(m_output));
    QCOMPARE(m_client->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_client->exitCode(), 0);
    QVERIFY2(m_output.contains("signed in with 4 categories"), qPrintable(m_output));
    QVERIFY2(m_output.contains("desktop shown with 4 category tabs and the first category open"),
             qPrintable(m_output));
    QVERIFY2(m_output.contains("event loop ended with 0"), qPrintable(m_output));
    QVERIFY2(!m_output.contains("start-up ends"), qPrintable(m_output));
    QVERIFY2(!m_output.contains("login dialog shown"), qPrintable(m_output));
    QVERIFY2(!m_output.contains("box QMsgDlg"), qPrintable(m_output));
    QVERIFY(QFileInfo(m_folder + "/DesktopApp.xml").size() > 0);
    QVERIFY(QDir(m_folder + "/CacheImage").entryList(QDir::Files).size() > 0);
}

void TestStartup::wrongStoredCredentialsShowMessageThenDialog()
{
    prepare("rember=1\nflag=1\nusername=demo\nuserpwd=wrong\n");
    start("confirm");
    QVERIFY2(waitFor("showing the login dialog"), qPrintable(m_output));
    const int shown = m_output.indexOf("login dialog shown");
    const int box = m_output.indexOf(QStringLiteral("title: 登录提示 text: \\r\\n用户名或者密码不正确！"));
    const int fallback = m_output.indexOf("showing the login dialog");
    QVERIFY2(shown >= 0 && box > shown && fallback > box, qPrintable(m_output));
    // Waiting for the user now.
    QTest::qWait(500);
    QCOMPARE(m_client->state(), QProcess::Running);
    QVERIFY(!QFile::exists(m_folder + "/DesktopApp.xml"));
    QSettings settings(m_folder + "/Config.ini", QSettings::IniFormat);
    QCOMPARE(settings.value("userinfo/userpwd").toString(), QString("wrong"));
    QVERIFY(!settings.contains("connect/token"));
}

void TestStartup::flagAbsentShowsDialog()
{
    prepare("rember=1\nusername=demo\nuserpwd=demo1234\n");
    start("confirm");
    QVERIFY2(waitFor("login dialog shown"), qPrintable(m_output));
    QVERIFY(!m_output.contains("signed in"));
    QCOMPARE(m_client->state(), QProcess::Running);
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
    QVERIFY2(waitForExit(), qPrintable(m_output));
    QCOMPARE(m_client->exitCode(), 0);
    QVERIFY2(m_output.contains(QStringLiteral("title: 更新提示 text: 发现新版本，是否立即更新？")),
             qPrintable(m_output));
    QVERIFY2(!m_output.contains("login dialog shown") && !m_output.contains("signed in"),
             qPrintable(m_output));
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
    QVERIFY2(waitForExit(), qPrintable(m_output));
    QCOMPARE(m_client->exitCode(), 0);
    QVERIFY2(m_output.contains(QStringLiteral("title: 更新提示")), qPrintable(m_output));
    QVERIFY2(m_output.contains("signed in with"), qPrintable(m_output));
    QVERIFY2(m_output.contains("desktop shown with 4 category tabs"), qPrintable(m_output));
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
    QVERIFY2(waitForExit(), qPrintable(m_output));
    QCOMPARE(m_client->exitCode(), 0);
    const int asked = m_output.indexOf(QStringLiteral("title: 更新提示 text: 发现新版本，是否立即更新？"));
    const int told = m_output.indexOf(QStringLiteral("title: 更新提示 text: \\r\\n更新程序启动失败，请稍后重试！"));
    const int signedIn = m_output.indexOf("signed in with");
    QVERIFY2(asked >= 0 && told > asked && signedIn > told, qPrintable(m_output));
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
    QVERIFY2(waitForExit(), qPrintable(m_output));
    QCOMPARE(m_client->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_client->exitCode(), 0);
    QVERIFY2(m_output.contains("window system: xcb through XWayland"), qPrintable(m_output));
    QVERIFY2(m_output.contains("desktop shown with 4 category tabs"), qPrintable(m_output));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
