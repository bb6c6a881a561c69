// Lock, wallpaper and browser requests of the Linux platform layer, run
// against real processes: stand-in programs first on PATH that record their
// arguments, the real gsettings with a keyfile store and a schema of our
// own, and stand-in desktop services on a private session bus.

#include "platform/LinuxDesktop.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <memory>
#include <vector>

class tst_DesktopActions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void lockTriesInOrder_data();
    void lockTriesInOrder();

    void gnomeKeepsAnyFileName_data();
    void gnomeKeepsAnyFileName();
    void gnomeWithoutDarkKey();
    void plasmaWhenGnomeCannot();
    void plasmaFirstOnPlasma();
    void portalLast();
    void unreadablePictureFails();
    void nothingCanSetWallpaper();

    void browserGetsWebAddressesOnly_data();
    void browserGetsWebAddressesOnly();
    void browserFallsBackToGio();

private:
    // A program first on PATH that records its arguments, one per line,
    // each call ended by "--", and exits with the given code.
    void fakeProgram(const QString &name, int exitCode);
    QList<QStringList> programCalls(const QString &name) const;
    // The real program, reachable on the restricted PATH.
    void realProgram(const QString &name);

    // A stand-in service owning the names; its calls are recorded under key.
    void fakeService(const QString &key, const QStringList &names, bool fail = false);
    QList<QJsonObject> serviceCalls(const QString &key) const;

    // Schema of GNOME's background keys in a folder of its own.
    void gnomeSchema(bool withDarkKey);
    QString gsettingsGet(const QString &key);
    QString picture(const QString &name);

    QTemporaryDir m_root;
    QProcess m_bus;
    QByteArray m_path;
    std::unique_ptr<QTemporaryDir> m_case;
    std::vector<std::unique_ptr<QProcess>> m_services;
    QHash<QString, QString> m_real;
};

void tst_DesktopActions::initTestCase()
{
    QVERIFY(m_root.isValid());
    // A bus of our own: no activation of the machine's services, no owner of
    // any desktop name but the stand-ins.
    const QString config = m_root.filePath(QStringLiteral("bus.conf"));
    QFile conf(config);
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                              "<auth>EXTERNAL</auth><policy context=\"default\">"
                              "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                              "<allow own=\"*\"/></policy></busconfig>")
                   .arg(m_root.path())
                   .toUtf8());
    conf.close();
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    QVERIFY2(!daemon.isEmpty(), "dbus-daemon is missing (scripts/setup installs it)");
    m_bus.start(daemon, {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                         QStringLiteral("--nopidfile"), QStringLiteral("--print-address")});
    QVERIFY(m_bus.waitForStarted());
    QVERIFY(m_bus.waitForReadyRead(10000));
    const QByteArray address = m_bus.readLine().trimmed();
    QVERIFY(!address.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    for (const char *name : {"gsettings", "glib-compile-schemas"})
        m_real.insert(QLatin1String(name), QStandardPaths::findExecutable(QLatin1String(name)));
    QVERIFY2(!m_real.value(QStringLiteral("gsettings")).isEmpty(), "gsettings is missing");
    QVERIFY2(!m_real.value(QStringLiteral("glib-compile-schemas")).isEmpty(), "glib-compile-schemas is missing");
    m_path = qgetenv("PATH");
}

void tst_DesktopActions::init()
{
    m_case = std::make_unique<QTemporaryDir>(m_root.filePath(QStringLiteral("case-XXXXXX")));
    QVERIFY(m_case->isValid());
    QDir(m_case->path()).mkpath(QStringLiteral("bin"));
    QDir(m_case->path()).mkpath(QStringLiteral("pictures"));
    // Only what the case puts there can be found: no real loginctl locks
    // this machine, no real opener starts a browser.
    qputenv("PATH", m_case->filePath(QStringLiteral("bin")).toLocal8Bit());
    qputenv("GSETTINGS_BACKEND", "keyfile");
    qputenv("GSETTINGS_SCHEMA_DIR", m_case->filePath(QStringLiteral("schemas")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_case->filePath(QStringLiteral("config")).toLocal8Bit());
    qunsetenv("XDG_CURRENT_DESKTOP");
}

void tst_DesktopActions::cleanup()
{
    for (auto &service : m_services) {
        service->terminate();
        service->waitForFinished(5000);
    }
    m_services.clear();
    qputenv("PATH", m_path);
    m_case.reset();
}

void tst_DesktopActions::cleanupTestCase()
{
    m_bus.terminate();
    m_bus.waitForFinished(5000);
}

void tst_DesktopActions::fakeProgram(const QString &name, int exitCode)
{
    const QString path = m_case->filePath(QStringLiteral("bin/") + name);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    // Shell builtins only: PATH holds nothing else.
    file.write(QStringLiteral("#!/bin/sh\n"
                              "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >>'%1'\n"
                              "printf -- '--\\n' >>'%1'\n"
                              "exit %2\n")
                   .arg(m_case->filePath(name + QStringLiteral(".calls")))
                   .arg(exitCode)
                   .toUtf8());
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
}

QList<QStringList> tst_DesktopActions::programCalls(const QString &name) const
{
    QFile file(m_case->filePath(name + QStringLiteral(".calls")));
    QList<QStringList> calls;
    if (!file.open(QIODevice::ReadOnly))
        return calls;
    QStringList current;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line == QLatin1String("--")) {
            calls << current;
            current.clear();
        } else if (!line.isEmpty()) {
            current << line;
        }
    }
    return calls;
}

void tst_DesktopActions::realProgram(const QString &name)
{
    QVERIFY(QFile::link(m_real.value(name), m_case->filePath(QStringLiteral("bin/") + name)));
}

void tst_DesktopActions::fakeService(const QString &key, const QStringList &names, bool fail)
{
    auto service = std::make_unique<QProcess>();
    QStringList arguments{m_case->filePath(key + QStringLiteral(".dbus"))};
    if (fail)
        arguments << QStringLiteral("--fail");
    service->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service->start(QStringLiteral(FAKE_DBUS_SERVICE), arguments + names);
    QVERIFY(service->waitForStarted());
    QVERIFY(service->waitForReadyRead(10000));
    QCOMPARE(service->readLine().trimmed(), QByteArray("ready"));
    m_services.push_back(std::move(service));
}

QList<QJsonObject> tst_DesktopActions::serviceCalls(const QString &key) const
{
    QList<QJsonObject> calls;
    QFile file(m_case->filePath(key + QStringLiteral(".dbus")));
    if (!file.open(QIODevice::ReadOnly))
        return calls;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            calls << QJsonDocument::fromJson(line).object();
    }
    return calls;
}

void tst_DesktopActions::gnomeSchema(bool withDarkKey)
{
    const QString dir = m_case->filePath(QStringLiteral("schemas"));
    QVERIFY(QDir().mkpath(dir));
    QFile file(dir + QStringLiteral("/org.gnome.desktop.background.gschema.xml"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<schemalist><schema id=\"org.gnome.desktop.background\" path=\"/org/gnome/desktop/background/\">"
               "<key name=\"picture-uri\" type=\"s\"><default>''</default></key>");
    if (withDarkKey)
        file.write("<key name=\"picture-uri-dark\" type=\"s\"><default>''</default></key>");
    file.write("</schema></schemalist>\n");
    file.close();
    QCOMPARE(QProcess::execute(m_real.value(QStringLiteral("glib-compile-schemas")), {dir}), 0);
    realProgram(QStringLiteral("gsettings"));
}

QString tst_DesktopActions::gsettingsGet(const QString &key)
{
    QProcess get;
    get.start(m_real.value(QStringLiteral("gsettings")),
              {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.background"), key});
    if (!get.waitForFinished(10000) || get.exitCode() != 0)
        return QStringLiteral("<gsettings get failed>");
    return QString::fromUtf8(get.readAllStandardOutput()).trimmed();
}

QString tst_DesktopActions::picture(const QString &name)
{
    const QString path = m_case->filePath(QStringLiteral("pictures/") + name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("not really a picture, the desktop only needs the name");
    return path;
}

// --- lock ---------------------------------------------------------------

void tst_DesktopActions::lockTriesInOrder_data()
{
    // loginctl: -1 missing, else its exit code. Services: names owned by
    // stand-ins ("!" first: refuses every call).
    QTest::addColumn<int>("loginctl");
    QTest::addColumn<QStringList>("services");
    QTest::addColumn<bool>("done");
    QTest::addColumn<QString>("lockedBy"); // "loginctl", a service name or empty
    QTest::addColumn<QStringList>("lockPaths");

    const QString fdo = QStringLiteral("org.freedesktop.ScreenSaver");
    QTest::newRow("logind locks") << 0 << QStringList{fdo} << true << QStringLiteral("loginctl") << QStringList();
    QTest::newRow("logind refuses, screen saver") << 1 << QStringList{fdo} << true << fdo
                                                  << QStringList{QStringLiteral("/org/freedesktop/ScreenSaver")};
    QTest::newRow("no loginctl, GNOME only")
        << -1 << QStringList{QStringLiteral("org.gnome.ScreenSaver")} << true << QStringLiteral("org.gnome.ScreenSaver")
        << QStringList{QStringLiteral("/org/gnome/ScreenSaver")};
    QTest::newRow("screen saver refuses on both paths, Cinnamon")
        << 1 << QStringList{QStringLiteral("!") + fdo, QStringLiteral("org.cinnamon.ScreenSaver")} << true
        << QStringLiteral("org.cinnamon.ScreenSaver") << QStringList{QStringLiteral("/org/cinnamon/ScreenSaver")};
    QTest::newRow("Xfce last") << -1 << QStringList{QStringLiteral("org.xfce.ScreenSaver")} << true
                               << QStringLiteral("org.xfce.ScreenSaver")
                               << QStringList{QStringLiteral("/org/xfce/ScreenSaver")};
    QTest::newRow("nothing can lock") << 1 << QStringList{QStringLiteral("!") + fdo} << false << QString()
                                      << QStringList();
}

void tst_DesktopActions::lockTriesInOrder()
{
    QFETCH(int, loginctl);
    QFETCH(QStringList, services);
    QFETCH(bool, done);
    QFETCH(QString, lockedBy);
    QFETCH(QStringList, lockPaths);

    if (loginctl >= 0)
        fakeProgram(QStringLiteral("loginctl"), loginctl);
    for (const QString &entry : services) {
        const bool refuses = entry.startsWith(QLatin1Char('!'));
        const QString name = refuses ? entry.mid(1) : entry;
        fakeService(name, {name}, refuses);
    }
    if (!done)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("lock failed")));

    QCOMPARE(Platform::lockSession(), done);

    if (loginctl >= 0)
        QCOMPARE(programCalls(QStringLiteral("loginctl")),
                 (QList<QStringList>{{QStringLiteral("--no-ask-password"), QStringLiteral("lock-session")}}));
    for (const QString &entry : services) {
        const bool refuses = entry.startsWith(QLatin1Char('!'));
        const QString name = refuses ? entry.mid(1) : entry;
        const QList<QJsonObject> calls = serviceCalls(name);
        if (refuses) {
            // Tried on each of its object paths before the next desktop.
            QCOMPARE(calls.size(), 2);
            continue;
        }
        if (name != lockedBy) {
            QVERIFY2(calls.isEmpty(), qPrintable(name + QStringLiteral(" was called after the session was locked")));
            continue;
        }
        QStringList paths;
        for (const QJsonObject &call : calls) {
            QCOMPARE(call.value(QLatin1String("interface")).toString(), name);
            QCOMPARE(call.value(QLatin1String("member")).toString(), QStringLiteral("Lock"));
            paths << call.value(QLatin1String("path")).toString();
        }
        QCOMPARE(paths, lockPaths);
    }
}

// --- wallpaper ----------------------------------------------------------

void tst_DesktopActions::gnomeKeepsAnyFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << QStringLiteral("mountain_max.jpg");
    QTest::newRow("hyphen") << QStringLiteral("strawberry-max.jpg");
    QTest::newRow("spaces") << QStringLiteral("my wall paper.jpg");
    QTest::newRow("quotes") << QStringLiteral("it's \"quoted\".jpg");
    QTest::newRow("shell and backslash") << QStringLiteral("a\\b $(rm -rf x);`y`&.jpg");
    QTest::newRow("non-ASCII") << QStringLiteral("草莓 壁纸%20.jpg");
}

void tst_DesktopActions::gnomeKeepsAnyFileName()
{
    QFETCH(QString, name);
    gnomeSchema(true);
    fakeService(QStringLiteral("plasma"), {QStringLiteral("org.kde.plasmashell")});
    const QString path = picture(name);

    QVERIFY(Platform::setDesktopWallpaper(path));

    for (const char *key : {"picture-uri", "picture-uri-dark"}) {
        const QString value = gsettingsGet(QLatin1String(key));
        // gsettings prints the text in single quotes; the URI needs no
        // escaping inside them.
        QVERIFY2(value.startsWith(QLatin1Char('\'')) && value.endsWith(QLatin1Char('\'')), qPrintable(value));
        const QUrl uri(value.mid(1, value.size() - 2), QUrl::StrictMode);
        QCOMPARE(uri.scheme(), QStringLiteral("file"));
        QCOMPARE(uri.toLocalFile(), path);
    }
    QVERIFY(serviceCalls(QStringLiteral("plasma")).isEmpty());
    // Read back as the desktop reads the system's wallpaper.
    QCOMPARE(Platform::systemWallpaper(), path);
}

void tst_DesktopActions::gnomeWithoutDarkKey()
{
    gnomeSchema(false);
    const QString path = picture(QStringLiteral("sea_max.jpg"));
    QVERIFY(Platform::setDesktopWallpaper(path));
    QCOMPARE(gsettingsGet(QStringLiteral("picture-uri")), LinuxDesktop::gvariantString(LinuxDesktop::fileUri(path)));
}

void tst_DesktopActions::plasmaWhenGnomeCannot()
{
    // As gsettings answers without GNOME's schema.
    fakeProgram(QStringLiteral("gsettings"), 1);
    fakeService(QStringLiteral("plasma"), {QStringLiteral("org.kde.plasmashell")});
    fakeService(QStringLiteral("portal"), {QStringLiteral("org.freedesktop.portal.Desktop")});
    const QString path = picture(QStringLiteral("it's \"草莓\" \\ <script>.jpg"));

    QVERIFY(Platform::setDesktopWallpaper(path));

    const QList<QJsonObject> calls = serviceCalls(QStringLiteral("plasma"));
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].value(QLatin1String("path")).toString(), QStringLiteral("/PlasmaShell"));
    QCOMPARE(calls[0].value(QLatin1String("interface")).toString(), QStringLiteral("org.kde.PlasmaShell"));
    QCOMPARE(calls[0].value(QLatin1String("member")).toString(), QStringLiteral("evaluateScript"));
    // Run the script as Plasma would, against a desktop that records what
    // it is told.
    QJSEngine engine;
    engine.evaluate(QStringLiteral("var written = {}; var plugin = '';"
                                   "function desktops() { return [{ writeConfig: function (k, v) { written[k] = v; },"
                                   " set wallpaperPlugin(p) { plugin = p; } }]; }"));
    const QJSValue result = engine.evaluate(calls[0].value(QLatin1String("arguments")).toArray().at(0).toString());
    QVERIFY2(!result.isError(), qPrintable(result.toString()));
    QCOMPARE(engine.evaluate(QStringLiteral("plugin")).toString(), QStringLiteral("org.kde.image"));
    QCOMPARE(QUrl(engine.evaluate(QStringLiteral("written.Image")).toString()).toLocalFile(), path);
    QVERIFY(serviceCalls(QStringLiteral("portal")).isEmpty());
}

void tst_DesktopActions::plasmaFirstOnPlasma()
{
    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    fakeProgram(QStringLiteral("gsettings"), 0);
    fakeService(QStringLiteral("plasma"), {QStringLiteral("org.kde.plasmashell")});
    QVERIFY(Platform::setDesktopWallpaper(picture(QStringLiteral("dog_max.jpg"))));
    QCOMPARE(serviceCalls(QStringLiteral("plasma")).size(), 1);
    QVERIFY(programCalls(QStringLiteral("gsettings")).isEmpty());
}

void tst_DesktopActions::portalLast()
{
    // A settings store that drops the value is no success either.
    fakeProgram(QStringLiteral("gsettings"), 0);
    fakeService(QStringLiteral("plasma"), {QStringLiteral("org.kde.plasmashell")}, true);
    fakeService(QStringLiteral("portal"), {QStringLiteral("org.freedesktop.portal.Desktop")});
    const QString path = picture(QStringLiteral("lotus max.jpg"));

    QVERIFY(Platform::setDesktopWallpaper(path));

    const QList<QStringList> gsettings = programCalls(QStringLiteral("gsettings"));
    QCOMPARE(gsettings.size(), 2);
    QCOMPARE(gsettings[0].value(0), QStringLiteral("set"));
    QCOMPARE(gsettings[1].value(0), QStringLiteral("get"));
    QCOMPARE(serviceCalls(QStringLiteral("plasma")).size(), 1);
    const QList<QJsonObject> calls = serviceCalls(QStringLiteral("portal"));
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].value(QLatin1String("interface")).toString(), QStringLiteral("org.freedesktop.portal.Wallpaper"));
    QCOMPARE(calls[0].value(QLatin1String("member")).toString(), QStringLiteral("SetWallpaperFile"));
    // The picture itself went over, as an open file.
    QCOMPARE(calls[0].value(QLatin1String("arguments")).toArray().at(1).toString(), path);
}

void tst_DesktopActions::unreadablePictureFails()
{
    fakeProgram(QStringLiteral("gsettings"), 0);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot read")));
    QVERIFY(!Platform::setDesktopWallpaper(m_case->filePath(QStringLiteral("pictures/missing_max.jpg"))));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot read")));
    QVERIFY(!Platform::setDesktopWallpaper(m_case->filePath(QStringLiteral("pictures"))));
    QVERIFY(programCalls(QStringLiteral("gsettings")).isEmpty());
}

void tst_DesktopActions::nothingCanSetWallpaper()
{
    fakeProgram(QStringLiteral("gsettings"), 1);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("wallpaper failed")));
    QVERIFY(!Platform::setDesktopWallpaper(picture(QStringLiteral("star_max.jpg"))));
    QCOMPARE(programCalls(QStringLiteral("gsettings")).size(), 1);
    // Nor can it say which picture the system shows.
    QVERIFY(Platform::systemWallpaper().isEmpty());
}

// --- browser ------------------------------------------------------------

void tst_DesktopActions::browserGetsWebAddressesOnly_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("opened"); // empty: refused

    QTest::newRow("https") << QStringLiteral("https://example.com/pay?order=42")
                           << QStringLiteral("https://example.com/pay?order=42");
    QTest::newRow("spaces and Chinese encoded") << QStringLiteral(" http://127.0.0.1:8080/a b?q=钱包 ")
                                                << QStringLiteral("http://127.0.0.1:8080/a%20b?q=%E9%92%B1%E5%8C%85");
    QTest::newRow("scheme in capitals") << QStringLiteral("HTTPS://Example.COM/") << QStringLiteral("https://example.com/");
    QTest::newRow("local file") << QStringLiteral("file:///etc/passwd") << QString();
    QTest::newRow("script") << QStringLiteral("javascript:alert(1)") << QString();
    QTest::newRow("another program's scheme") << QStringLiteral("mailto:someone@example.com") << QString();
    QTest::newRow("ftp") << QStringLiteral("ftp://example.com/file") << QString();
    QTest::newRow("no host") << QStringLiteral("http://") << QString();
    QTest::newRow("a path") << QStringLiteral("/usr/bin/xterm") << QString();
    QTest::newRow("an option") << QStringLiteral("--help") << QString();
    QTest::newRow("empty") << QString() << QString();
}

void tst_DesktopActions::browserGetsWebAddressesOnly()
{
    QFETCH(QString, text);
    QFETCH(QString, opened);
    fakeProgram(QStringLiteral("xdg-open"), 0);
    fakeProgram(QStringLiteral("gio"), 0);

    if (opened.isEmpty()) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^not opened in the browser: ")));
        QVERIFY(!Platform::openInBrowser(text));
        QVERIFY(programCalls(QStringLiteral("xdg-open")).isEmpty());
        QVERIFY(programCalls(QStringLiteral("gio")).isEmpty());
        return;
    }
    QVERIFY(Platform::openInBrowser(text));
    QTRY_COMPARE(programCalls(QStringLiteral("xdg-open")), (QList<QStringList>{{opened}}));
    QVERIFY(programCalls(QStringLiteral("gio")).isEmpty());
}

void tst_DesktopActions::browserFallsBackToGio()
{
    fakeProgram(QStringLiteral("gio"), 0);
    QVERIFY(Platform::openInBrowser(QStringLiteral("http://example.com/")));
    QTRY_COMPARE(programCalls(QStringLiteral("gio")),
                 (QList<QStringList>{{QStringLiteral("open"), QStringLiteral("http://example.com/")}}));
}

QTEST_GUILESS_MAIN(tst_DesktopActions)
#include "tst_desktopactions.moc"
