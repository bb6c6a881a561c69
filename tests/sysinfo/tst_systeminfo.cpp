#include "platform/Platform.h"
#include "sysinfo/lib/SystemInfoInterfaceBase.h"
#include "sysinfo/QGetInfomation.h"
#include "tests/sysinfo/SysinfoFixture.h"

#include <QNetworkInterface>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <type_traits>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using SysinfoFixture::writeFile;

Q_DECLARE_METATYPE(InstalledSoftwareInfo)

// One wrapper, one library object, one release: a copy or a move would
// release it twice or not at all.
static_assert(!std::is_copy_constructible<QGetInfomation>::value && !std::is_copy_assignable<QGetInfomation>::value
                  && !std::is_move_constructible<QGetInfomation>::value && !std::is_move_assignable<QGetInfomation>::value,
              "QGetInfomation owns its library object alone");
// Only Release() destroys a library object, so that the library's own
// allocator frees it.
static_assert(!std::is_destructible<SystemInfoInterfaceBase>::value, "library objects end only by Release()");

namespace {

// Records which slot each call reached, and how often it was released.
class RecordingLibrary final : public SystemInfoInterfaceBase
{
public:
    explicit RecordingLibrary(QStringList *log) : m_log(log) {}

    QString operatingSystemDescription() override { m_log->append("os"); return QStringLiteral("Test OS 1"); }
    int networkCards(std::vector<NetworkCardInfo> *cards) override
    {
        m_log->append("cards");
        cards->push_back(NetworkCardInfo());
        return 7; // passed through, not counted again
    }
    void printers(PrinterInfoList *) override { m_log->append("printers"); }
    void Release() override { m_log->append("release"); delete this; }
    void installedSoftware(std::vector<InstalledSoftwareInfo> *software) override
    {
        m_log->append("software");
        software->push_back({"Name", "1.0", "/opt/x", "origin", "/opt/x/x", "uninstall"});
    }
    void furtherQuery() override { m_log->append("further"); }

private:
    QStringList *m_log;
};

struct LibraryDeleter
{
    void operator()(SystemInfoInterfaceBase *library) const { library->Release(); }
};
using Library = std::unique_ptr<SystemInfoInterfaceBase, LibraryDeleter>;

std::vector<InstalledSoftwareInfo> query()
{
    Library library(SystemInfoInterfaceBase::CreateNew());
    std::vector<InstalledSoftwareInfo> software;
    library->installedSoftware(&software);
    return software;
}

QStringList names(const std::vector<InstalledSoftwareInfo> &software)
{
    QStringList result;
    for (const InstalledSoftwareInfo &info : software)
        result.append(info.name);
    return result;
}

// One query on a thread of its own. A query still running after 30 s is
// set free by opening each of the pipes for writing and closing it again
// (a reader stuck in one sees its end), and false comes back, so that a
// failure does not hang the test.
bool queryEnds(QStringList *listed, const QStringList &pipes)
{
    std::atomic<bool> done{false};
    std::thread pass([&] {
        *listed = names(query());
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const bool ended = done;
    while (!done) {
        for (const QString &path : pipes) {
            const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pass.join();
    return ended;
}

} // namespace

class TestSystemInfo : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_home;      // XDG_DATA_HOME
    QString m_dataDirs;  // first XDG_DATA_DIRS folder
    QString m_dataDirs2; // second XDG_DATA_DIRS folder
    QString m_dpkg;

    QString homeApps() const { return m_home + "/applications"; }

    void writeDpkg(const QByteArray &content) { QVERIFY(writeFile(m_dpkg, content)); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        m_home = m_root.filePath("home-data");
        m_dataDirs = m_root.filePath("data1");
        m_dataDirs2 = m_root.filePath("data2");
        m_dpkg = m_root.filePath("dpkg-status");
    }

    // Every case starts with empty sources of its own.
    void init()
    {
        for (const QString &dir : {m_home, m_dataDirs, m_dataDirs2})
            QDir(dir).removeRecursively();
        QFile::remove(m_dpkg);
        QVERIFY(QDir().mkpath(homeApps()));
        qputenv("XDG_DATA_HOME", m_home.toUtf8());
        qputenv("XDG_DATA_DIRS", (m_dataDirs + ":" + m_dataDirs2).toUtf8());
        qputenv("ORVANE_DPKG_STATUS", m_dpkg.toUtf8());
    }

    void operatingSystem()
    {
        Library library(SystemInfoInterfaceBase::CreateNew());
        const QString description = library->operatingSystemDescription();
        QCOMPARE(description, Platform::osPrettyName());
        if (QFile::exists("/etc/os-release"))
            QVERIFY(!description.isEmpty());
    }

    void networkCards()
    {
        Library library(SystemInfoInterfaceBase::CreateNew());
        std::vector<NetworkCardInfo> cards;
        cards.push_back(NetworkCardInfo()); // appended to, not replaced
        const int count = library->networkCards(&cards);
        const QList<QNetworkInterface> expected = QNetworkInterface::allInterfaces();
        QCOMPARE(count, expected.size());
        QCOMPARE(int(cards.size()), expected.size() + 1);

        bool sawLoopback = false;
        for (int i = 0; i < expected.size(); ++i) {
            const NetworkCardInfo &card = cards.at(size_t(i) + 1);
            QCOMPARE(card.name, expected.at(i).name());
            QCOMPARE(card.hardwareAddress, expected.at(i).hardwareAddress());
            if (card.kind == "loopback") {
                sawLoopback = true;
                QCOMPARE(card.hardwareAddress, QString("00:00:00:00:00:00"));
                QCOMPARE(card.ipAddress, QString("127.0.0.1"));
                QCOMPARE(card.netmask, QString("255.0.0.0"));
            }
        }
        QVERIFY(sawLoopback);
    }

    void printers()
    {
        Library library(SystemInfoInterfaceBase::CreateNew());
        PrinterInfoList printers;
        library->printers(&printers);
        QStringList listed;
        for (const auto &printer : qAsConst(printers))
            listed.append(printer->printerName());
        QCOMPARE(listed, QPrinterInfo::availablePrinterNames());
    }

    void desktopEntry_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<InstalledSoftwareInfo>("expected");

        QTest::newRow("all keys")
            << QByteArray("[Desktop Entry]\nType=Application\nName=Editor Pro 2.1\nPath=/opt/apps/editor/\n"
                          "Exec=/opt/apps/editor/editor %F\nX-Orvane-Version=2.1\n"
                          "X-Orvane-Uninstall=/opt/apps/editor/uninstall.sh --quiet\n")
            << InstalledSoftwareInfo{"Editor Pro 2.1", "2.1", "/opt/apps/editor/", {}, "/opt/apps/editor/editor",
                                     "/opt/apps/editor/uninstall.sh --quiet"};
        QTest::newRow("own keys absent")
            << QByteArray("[Desktop Entry]\nType=Application\nName=Viewer\nExec=viewer\n")
            << InstalledSoftwareInfo{"Viewer", {}, {}, {}, "viewer", {}};
        QTest::newRow("quoted program")
            << QByteArray("[Desktop Entry]\nType=Application\nName=Runner\n"
                          "Exec=\"/opt/My Apps/run \\\\\"me\\\\\"\" --flag %U\n")
            << InstalledSoftwareInfo{"Runner", {}, {}, {}, "/opt/My Apps/run \"me\"", {}};
        QTest::newRow("value escapes")
            << QByteArray("[Desktop Entry]\nType=Application\nName=A\\sB\nPath=C:\\\\Apps\\\\Editor\\\\\nExec=ab\n")
            << InstalledSoftwareInfo{"A B", {}, "C:\\Apps\\Editor\\", {}, "ab", {}};
        QTest::newRow("localised names, comments, spaces around =")
            << QByteArray("# made by hand\n[Desktop Entry]\nName[de]=Bearbeiter\nType = Application\n"
                          "Name = Editor\n\nExec = editor\n")
            << InstalledSoftwareInfo{"Editor", {}, {}, {}, "editor", {}};
        QTest::newRow("action groups do not override")
            << QByteArray("[Desktop Entry]\nType=Application\nName=Browser\nExec=browser\n"
                          "[Desktop Action private]\nName=New Private Window\nExec=browser --private\n")
            << InstalledSoftwareInfo{"Browser", {}, {}, {}, "browser", {}};
        QTest::newRow("CRLF lines, no program")
            << QByteArray("[Desktop Entry]\r\nType=Application\r\nName=Windows Style\r\nPath=/opt/ws\r\n")
            << InstalledSoftwareInfo{"Windows Style", {}, "/opt/ws", {}, {}, {}};
        QTest::newRow("byte order mark")
            << QByteArray("\xef\xbb\xbf[Desktop Entry]\nType=Application\nName=Marked\nExec=m\n")
            << InstalledSoftwareInfo{"Marked", {}, {}, {}, "m", {}};
        QTest::newRow("UTF-8 name")
            << QByteArray("[Desktop Entry]\nType=Application\nName=\xe7\xbc\x96\xe8\xbe\x91\xe5\x99\xa8\nExec=x\n")
            << InstalledSoftwareInfo{QString::fromUtf8("\xe7\xbc\x96\xe8\xbe\x91\xe5\x99\xa8"), {}, {}, {}, "x", {}};
    }

    void desktopEntry()
    {
        QFETCH(QByteArray, content);
        QFETCH(InstalledSoftwareInfo, expected);
        const QString file = homeApps() + "/entry.desktop";
        QVERIFY(writeFile(file, content));

        const std::vector<InstalledSoftwareInfo> software = query();
        QCOMPARE(int(software.size()), 1);
        const InstalledSoftwareInfo &info = software.front();
        QCOMPARE(info.name, expected.name);
        QCOMPARE(info.version, expected.version);
        QCOMPARE(info.installLocation, expected.installLocation);
        QCOMPARE(info.origin, file);
        QCOMPARE(info.mainProgram, expected.mainProgram);
        QCOMPARE(info.uninstallCommand, expected.uninstallCommand);
    }

    void notAnInstalledProgram_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("link") << "l.desktop" << QByteArray("[Desktop Entry]\nType=Link\nName=Site\nURL=http://x/\n");
        QTest::newRow("no type") << "t.desktop" << QByteArray("[Desktop Entry]\nName=Typeless\nExec=x\n");
        QTest::newRow("hidden") << "h.desktop" << QByteArray("[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n");
        QTest::newRow("no name") << "n.desktop" << QByteArray("[Desktop Entry]\nType=Application\nExec=x\n");
        QTest::newRow("other group first") << "g.desktop" << QByteArray("[KDE Desktop Entry]\nType=Application\nName=Old\n");
        QTest::newRow("not a desktop file") << "readme.txt" << QByteArray("[Desktop Entry]\nType=Application\nName=Text\n");
        QTest::newRow("empty file") << "e.desktop" << QByteArray();
    }

    void notAnInstalledProgram()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QVERIFY(writeFile(homeApps() + "/" + fileName, content));
        QCOMPARE(names(query()), QStringList());
    }

    // Whatever a file named *.desktop turns out to be, a pass ends and
    // lists the real entries beside it. A pipe nobody writes to would block
    // the opening for ever; a device never ends.
    void specialFilesSkipped_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("pipe") << "pipe";
        QTest::newRow("link to a pipe") << "link to a pipe";
        QTest::newRow("link to an endless device") << "link to an endless device";
    }

    void specialFilesSkipped()
    {
        QFETCH(QString, kind);
        QVERIFY(writeFile(homeApps() + "/real.desktop", SysinfoFixture::desktopEntry("Real")));
        const QString fifo = m_root.filePath("pipe");
        QFile::remove(fifo);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString special = homeApps() + "/special.desktop";
        if (kind == "pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(special).constData(), 0600), 0);
        else if (kind == "link to a pipe")
            QVERIFY(QFile::link(fifo, special));
        else
            QVERIFY(QFile::link("/dev/zero", special));

        QStringList listed;
        QVERIFY2(queryEnds(&listed, {special, fifo}), "the listing did not end");
        QCOMPARE(listed, QStringList{"Real"});
    }

    // Desktop entries are small; an enormous file is read only as far as
    // an entry can reach, and its entry still counts.
    void hugeEntryFile()
    {
        const QString file = homeApps() + "/huge.desktop";
        QVERIFY(writeFile(file, SysinfoFixture::desktopEntry("Huge")));
        QFile grow(file);
        QVERIFY(grow.open(QIODevice::ReadWrite));
        QVERIFY(grow.resize(qint64(3) << 30)); // sparse: no disk, no time
        grow.close();
        QCOMPARE(names(query()), QStringList{"Huge"});
    }

    // Links between the folders, also in circles, list each entry once and
    // end.
    void symlinkLoops()
    {
        QVERIFY(writeFile(homeApps() + "/a/one.desktop", SysinfoFixture::desktopEntry("One")));
        QVERIFY(writeFile(homeApps() + "/b/two.desktop", SysinfoFixture::desktopEntry("Two")));
        QVERIFY(QFile::link(homeApps() + "/b", homeApps() + "/a/to-b"));
        QVERIFY(QFile::link(homeApps() + "/a", homeApps() + "/b/to-a"));
        QVERIFY(QFile::link(homeApps(), homeApps() + "/a/up"));
        QVERIFY(QFile::link("self", homeApps() + "/self"));
        QStringList listed = names(query());
        listed.sort();
        QCOMPARE(listed, (QStringList{"One", "Two"}));
    }

    void packageDatabaseNotAFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("pipe") << "pipe";
        QTest::newRow("folder") << "folder";
    }

    void packageDatabaseNotAFile()
    {
        QFETCH(QString, kind);
        QVERIFY(writeFile(homeApps() + "/real.desktop", SysinfoFixture::desktopEntry("Real")));
        if (kind == "pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(m_dpkg).constData(), 0600), 0);
        else
            QVERIFY(QDir().mkpath(m_dpkg));
        QStringList listed;
        const bool ended = queryEnds(&listed, {m_dpkg});
        QDir(m_dpkg).removeRecursively();
        QFile::remove(m_dpkg);
        QVERIFY2(ended, "the listing did not end");
        QCOMPARE(listed, QStringList{"Real"});
    }

    // The user's entries come first and hide the system's entries of the
    // same id; subfolders give ids with dashes.
    void folderPrecedence()
    {
        using SysinfoFixture::desktopEntry;
        QVERIFY(writeFile(homeApps() + "/a.desktop", desktopEntry("Home A")));
        QVERIFY(writeFile(homeApps() + "/c.desktop", QByteArray("[Desktop Entry]\nType=Application\nName=C\nHidden=true\n")));
        QVERIFY(writeFile(m_dataDirs + "/applications/a.desktop", desktopEntry("System A")));
        QVERIFY(writeFile(m_dataDirs + "/applications/b.desktop", desktopEntry("System B")));
        QVERIFY(writeFile(m_dataDirs + "/applications/vendor/d.desktop", desktopEntry("Vendor D")));
        QVERIFY(writeFile(m_dataDirs2 + "/applications/vendor-d.desktop", desktopEntry("Other D")));
        QVERIFY(writeFile(m_dataDirs2 + "/applications/c.desktop", desktopEntry("System C")));
        QVERIFY(writeFile(m_dataDirs2 + "/applications/e.desktop", desktopEntry("System E")));

        QCOMPARE(names(query()), (QStringList{"Home A", "System B", "Vendor D", "System E"}));
    }

    void relativeDataDirsIgnored()
    {
        QVERIFY(writeFile(m_dataDirs + "/applications/a.desktop", SysinfoFixture::desktopEntry("System A")));
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_root.path()));
        QVERIFY(writeFile(m_root.filePath("rel/applications/r.desktop"), SysinfoFixture::desktopEntry("Relative")));
        qputenv("XDG_DATA_DIRS", "rel:" + m_dataDirs.toUtf8());
        const QStringList listed = names(query());
        QDir::setCurrent(cwd);
        QCOMPARE(listed, QStringList{"System A"});
    }

    void xdgDefaults()
    {
        const QByteArray home = qgetenv("HOME");
        const QString fakeHome = m_root.filePath("user");
        qputenv("HOME", fakeHome.toUtf8());
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_DATA_DIRS");
        const QString file = fakeHome + "/.local/share/applications/mine.desktop";
        QVERIFY(writeFile(file, SysinfoFixture::desktopEntry("Mine")));

        const std::vector<InstalledSoftwareInfo> software = query();
        qputenv("HOME", home);
        QVERIFY(!software.empty());
        QCOMPARE(software.front().name, QString("Mine"));
        QCOMPARE(software.front().origin, file);
        for (const InstalledSoftwareInfo &info : software) {
            if (info.origin != "dpkg" && info.origin != file) {
                QVERIFY2(info.origin.startsWith("/usr/local/share/applications/")
                             || info.origin.startsWith("/usr/share/applications/"),
                         qPrintable(info.origin));
            }
        }
    }

    void packageStatus_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<bool>("installed");
        QTest::newRow("installed") << QByteArray("install ok installed") << true;
        QTest::newRow("held") << QByteArray("hold ok installed") << true;
        QTest::newRow("config files left") << QByteArray("deinstall ok config-files") << false;
        QTest::newRow("half installed") << QByteArray("install ok half-installed") << false;
        QTest::newRow("needs reinstall") << QByteArray("install reinstreq installed") << false;
        QTest::newRow("unpacked") << QByteArray("install ok unpacked") << false;
        QTest::newRow("not installed") << QByteArray("purge ok not-installed") << false;
    }

    void packageStatus()
    {
        QFETCH(QByteArray, status);
        QFETCH(bool, installed);
        // The description's continuation lines must not be read as fields.
        writeDpkg("Package: editor\nStatus: " + status + "\nPriority: optional\nVersion: 2.1-3\n"
                  "Description: an editor\n Status: install ok installed\n Package: fake\n .\n");

        const std::vector<InstalledSoftwareInfo> software = query();
        QCOMPARE(int(software.size()), installed ? 1 : 0);
        if (installed) {
            const InstalledSoftwareInfo &info = software.front();
            QCOMPARE(info.name, QString("editor"));
            QCOMPARE(info.version, QString("2.1-3"));
            QCOMPARE(info.installLocation, QString());
            QCOMPARE(info.origin, QString("dpkg"));
            QCOMPARE(info.mainProgram, QString());
            QCOMPARE(info.uninstallCommand, QString("apt-get remove editor"));
        }
    }

    void packageDatabase()
    {
        QVERIFY(writeFile(homeApps() + "/a.desktop", SysinfoFixture::desktopEntry("Desktop A")));
        writeDpkg("Package: one\nStatus: install ok installed\nVersion: 1\n\n\n"
                  "Package: two\nStatus: deinstall ok config-files\nVersion: 2\n\n"
                  "package: three\nstatus: install ok installed\nversion: 3\n\n"
                  "Package: four\nVersion: 4\nStatus: install ok installed"); // no line end at all
        const std::vector<InstalledSoftwareInfo> software = query();
        QCOMPARE(names(software), (QStringList{"Desktop A", "one", "three", "four"}));
        QCOMPARE(software.at(3).version, QString("4"));

        QFile::remove(m_dpkg);
        QCOMPARE(names(query()), QStringList{"Desktop A"});
    }

    // The library keeps what it read between queries: every kind of change
    // between two queries still shows in the second, also one that leaves
    // a file's size and times as they were.
    void changesBetweenQueries_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");

        const QStringList start{"Alpha 1", "Beta", "p1"};
        QTest::newRow("rewritten in place, same size") << "inPlace" << start << QStringList{"Alpha 2", "Beta", "p1"};
        QTest::newRow("replaced by a new file") << "replaced" << start << QStringList{"Gamma", "Beta", "p1"};
        QTest::newRow("removed") << "removed" << start << QStringList{"Beta", "p1"};
        QTest::newRow("now hidden") << "hidden" << start << QStringList{"Beta", "p1"};
        QTest::newRow("added in a new subfolder") << "subfolder" << start << QStringList{"Alpha 1", "Sub", "Beta", "p1"};
        QTest::newRow("folder removed and made again") << "folderAgain" << start << QStringList{"Alpha 1", "Delta", "p1"};
        QTest::newRow("missing folder appears") << "folderAppears" << start << QStringList{"Alpha 1", "Beta", "Epsilon", "p1"};
        QTest::newRow("folder moved away and back, changed") << "movedBack" << start << QStringList{"Alpha 1", "Zeta", "p1"};
        QTest::newRow("package database rewritten in place") << "dpkgInPlace" << start << QStringList{"Alpha 1", "Beta", "p2"};
        QTest::newRow("package database replaced") << "dpkgReplaced" << start << QStringList{"Alpha 1", "Beta", "p3", "p4"};
    }

    void changesBetweenQueries()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        using SysinfoFixture::desktopEntry;
        const QString alpha = homeApps() + "/alpha.desktop";
        const QString system = m_dataDirs + "/applications";
        QVERIFY(writeFile(alpha, desktopEntry("Alpha 1")));
        QVERIFY(writeFile(system + "/vendor/beta.desktop", desktopEntry("Beta")));
        writeDpkg("Package: p1\nStatus: install ok installed\n\n");

        // One library object for both queries, and a new one after them:
        // neither may answer from what it read before the change.
        Library library(SystemInfoInterfaceBase::CreateNew());
        auto ask = [&library]() {
            std::vector<InstalledSoftwareInfo> software;
            library->installedSoftware(&software);
            return names(software);
        };
        QCOMPARE(ask(), before);
        QCOMPARE(ask(), before);

        auto rewriteInPlace = [](const QString &path, const QByteArray &content) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QCOMPARE(file.size(), qint64(content.size()));
            QVERIFY(file.write(content) == content.size());
        };
        if (change == "inPlace") {
            // Same length, same second: only the news of the change tells.
            rewriteInPlace(alpha, desktopEntry("Alpha 2"));
        } else if (change == "replaced") {
            QVERIFY(writeFile(alpha, desktopEntry("Gamma")));
        } else if (change == "removed") {
            QVERIFY(QFile::remove(alpha));
        } else if (change == "hidden") {
            QVERIFY(writeFile(alpha, QByteArray("[Desktop Entry]\nType=Application\nName=Alpha 1\nHidden=true\n")));
        } else if (change == "subfolder") {
            QVERIFY(writeFile(homeApps() + "/new/deeper/sub.desktop", desktopEntry("Sub")));
        } else if (change == "folderAgain") {
            QVERIFY(QDir(system).removeRecursively());
            QVERIFY(writeFile(system + "/delta.desktop", desktopEntry("Delta")));
        } else if (change == "folderAppears") {
            QVERIFY(writeFile(m_dataDirs2 + "/applications/epsilon.desktop", desktopEntry("Epsilon")));
        } else if (change == "movedBack") {
            const QString away = m_root.filePath("away");
            QVERIFY(QDir().rename(system + "/vendor", away));
            rewriteInPlace(away + "/beta.desktop", desktopEntry("Zeta"));
            QVERIFY(QDir().rename(away, system + "/vendor"));
        } else if (change == "dpkgInPlace") {
            rewriteInPlace(m_dpkg, "Package: p2\nStatus: install ok installed\n\n");
        } else if (change == "dpkgReplaced") {
            writeDpkg("Package: p3\nStatus: install ok installed\n\nPackage: p4\nStatus: install ok installed\n\n");
        }
        QCOMPARE(ask(), after);
        QCOMPARE(names(query()), after);
    }

    // Watchers query from threads of their own while installers write.
    void concurrentQueries()
    {
        using SysinfoFixture::desktopEntry;
        std::atomic<bool> writing{true};
        std::atomic<int> bad{0};
        std::vector<std::thread> readers;
        for (int t = 0; t < 3; ++t) {
            readers.emplace_back([&]() {
                Library library(SystemInfoInterfaceBase::CreateNew());
                while (writing) {
                    std::vector<InstalledSoftwareInfo> software;
                    library->installedSoftware(&software);
                    for (const InstalledSoftwareInfo &info : software) {
                        if (!info.name.startsWith("App "))
                            ++bad;
                    }
                }
            });
        }
        QMap<QString, QString> expected; // file -> name, in the listing's order
        for (int i = 0; i < 60; ++i) {
            const QString file = QString("app%1.desktop").arg(i % 20, 2, 10, QLatin1Char('0'));
            QVERIFY(writeFile(homeApps() + "/" + file, desktopEntry(QString("App %1").arg(i))));
            expected.insert(file, QString("App %1").arg(i));
            if (i % 7 == 0) {
                const QString gone = QString("app%1.desktop").arg((i + 3) % 20, 2, 10, QLatin1Char('0'));
                QFile::remove(homeApps() + "/" + gone);
                expected.remove(gone);
            }
        }
        writing = false;
        for (std::thread &reader : readers)
            reader.join();
        QCOMPARE(bad.load(), 0);
        QCOMPARE(names(query()), QStringList(expected.values()));
    }

    void machinePackageDatabase()
    {
        if (!QFile::exists("/var/lib/dpkg/status"))
            QSKIP("no Debian package database on this machine");
        qunsetenv("ORVANE_DPKG_STATUS");
        const QStringList listed = names(query());
        QVERIFY(listed.contains("dpkg"));
        QVERIFY(listed.contains("libc6"));
    }

    // The library's binary interface is the one class: nothing else it
    // defines may stand in for a symbol of the program or of Qt.
    void exportsOnlyTheInterface()
    {
        const QString library = qEnvironmentVariable("ORVANE_BIN_DIR") + "/libSystemInfointerface.so";
        QVERIFY(QFile::exists(library));
        QProcess nm;
        nm.start("nm", {"--dynamic", "--defined-only", "--demangle", library});
        if (!nm.waitForStarted(10000))
            QSKIP("nm is not installed");
        QVERIFY(nm.waitForFinished(30000));
        QCOMPARE(nm.exitCode(), 0);
        const QStringList linkerSymbols{"_init", "_fini", "_edata", "_end", "__bss_start"};
        QStringList foreign;
        bool factory = false;
        for (const QString &line : QString::fromUtf8(nm.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
            const QString symbol = line.section(' ', 2);
            factory = factory || symbol == "SystemInfoInterfaceBase::CreateNew()";
            if (!symbol.contains("SystemInfoInterfaceBase") && !linkerSymbols.contains(symbol))
                foreign.append(symbol);
        }
        QVERIFY(factory);
        QVERIFY2(foreign.isEmpty(), qPrintable(foreign.join(", ")));
    }

    void wrapperForwardsEachQuery()
    {
        QStringList log;
        {
            QGetInfomation info(new RecordingLibrary(&log));
            QCOMPARE(info.operatingSystemDescription(), QString("Test OS 1"));
            std::vector<NetworkCardInfo> cards;
            QCOMPARE(info.networkCards(&cards), 7);
            PrinterInfoList printers;
            info.printers(&printers);
            std::vector<InstalledSoftwareInfo> software;
            info.installedSoftware(&software);
            QCOMPARE(int(software.size()), 1);
            QCOMPARE(software.front().uninstallCommand, QString("uninstall"));
            info.furtherQuery();
            info.installedSoftware(&software);
            QCOMPARE(log, (QStringList{"os", "cards", "printers", "software", "further", "software"}));
        }
        QCOMPARE(log.count("release"), 1);
        QCOMPARE(log.last(), QString("release"));
    }

    void wrapperUsesRealLibrary()
    {
        QVERIFY(writeFile(homeApps() + "/a.desktop", SysinfoFixture::desktopEntry("Desktop A", "/opt/a")));
        QObject owner;
        auto *info = new QGetInfomation(&owner);
        std::vector<InstalledSoftwareInfo> software;
        info->installedSoftware(&software);
        QCOMPARE(names(software), QStringList{"Desktop A"});
        QCOMPARE(software.front().installLocation, QString("/opt/a"));
        QCOMPARE(info->operatingSystemDescription(), Platform::osPrettyName());
    }
};

QTEST_MAIN(TestSystemInfo)
#include "tst_systeminfo.moc"
