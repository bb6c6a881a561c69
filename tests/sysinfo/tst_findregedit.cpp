#include "platform/Platform.h"
#include "sysinfo/FindRegedit.h"
#include "tests/sysinfo/SysinfoFixture.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>

using namespace std::chrono_literals;
using SysinfoFixture::desktopEntry;
using SysinfoFixture::writeFile;

namespace {

DesktopAppInfoPtr record(const QString &name, const QString &type = "1", const QString &execpath = "editor")
{
    auto app = DesktopAppInfoPtr::create();
    app->name = name;
    app->type = type;
    app->execpath = execpath;
    app->install = "old-install";
    app->uninstall = "old-uninstall";
    return app;
}

// Runs a watcher to its end and delivers what it handed back.
bool runToEnd(FindRegedit &watcher)
{
    watcher.start();
    if (!watcher.wait(60000))
        return false;
    QCoreApplication::sendPostedEvents();
    return true;
}

} // namespace

class TestFindRegedit : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_apps;
    QString m_desktop;

    // Entries are "name" or "name|location|uninstall", listed in this order.
    void writeEntries(const QStringList &entries)
    {
        int n = 0;
        for (const QString &entry : entries) {
            const QStringList parts = entry.split('|');
            QVERIFY(writeFile(QString("%1/%2.desktop").arg(m_apps).arg(++n, 2, 10, QChar('0')),
                              desktopEntry(parts.value(0), parts.value(1), parts.value(2))));
        }
    }

    QString writeShortcut(const QString &name)
    {
        const QString path = m_desktop + "/" + Platform::shortcutFileName(name);
        writeFile(path, desktopEntry(name));
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        const QString home = m_root.filePath("home");
        qputenv("HOME", home.toUtf8());
        qputenv("XDG_CONFIG_HOME", (home + "/.config").toUtf8());
        qputenv("XDG_DATA_HOME", (home + "/.local/share").toUtf8());
        qputenv("XDG_DATA_DIRS", m_root.filePath("nothing").toUtf8());
        qputenv("ORVANE_DPKG_STATUS", m_root.filePath("no-dpkg-status").toUtf8());
        m_apps = home + "/.local/share/applications";
        m_desktop = home + "/Desktop";
        QCOMPARE(Platform::userDesktopFolder(), m_desktop);
    }

    void init()
    {
        for (const QString &dir : {m_apps, m_desktop}) {
            QDir(dir).removeRecursively();
            QVERIFY(QDir().mkpath(dir));
        }
    }

    void installation_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("location"); // null: no signal

        QTest::newRow("same name") << QStringList{"Editor|/opt/e"} << "Editor" << "/opt/e";
        QTest::newRow("name contained") << QStringList{"Editor Pro 2.1|/opt/e"} << "Editor" << "/opt/e";
        QTest::newRow("first in list order") << QStringList{"Viewer|/opt/v", "Editor Pro|/opt/p", "Editor Lite|/opt/l"}
                                             << "Editor" << "/opt/p";
        QTest::newRow("found without location") << QStringList{"Editor"} << "Editor" << "";
        QTest::newRow("case differs") << QStringList{"Editor|/opt/e"} << "editor" << QString();
        QTest::newRow("target longer than name") << QStringList{"Edit|/opt/e"} << "Editor" << QString();
        QTest::newRow("empty list") << QStringList{} << "Editor" << QString();
    }

    // Matching only; records of type other than "2" keep their paths, and
    // their watch ends with the first match.
    void installation()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, target);
        QFETCH(QString, location);
        writeEntries(entries);

        FindRegedit watcher(nullptr, record(target), FindRegedit::WaitForInstallation, 3, 1ms);
        QSignalSpy installed(&watcher, &FindRegedit::installationCompleteSiganl);
        QSignalSpy uninstalled(&watcher, &FindRegedit::uninstallationCompleteSiganl);
        QVERIFY(runToEnd(watcher));

        QCOMPARE(uninstalled.count(), 0);
        QCOMPARE(installed.count(), location.isNull() ? 0 : 1);
        if (!location.isNull()) {
            QCOMPARE(installed.at(0).at(0).toString(), location);
            QCOMPARE(installed.at(0).at(1).value<DesktopAppInfoPtr>(), watcher.application());
        }
        QCOMPARE(watcher.application()->install, QString("old-install"));
        QCOMPARE(watcher.application()->uninstall, QString("old-uninstall"));
    }

    void uninstallation_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("complete");

        QTest::newRow("still installed") << QStringList{"Viewer", "Editor"} << "Editor" << false;
        QTest::newRow("only a longer name remains") << QStringList{"Editor Pro 2.1"} << "Editor" << true;
        QTest::newRow("only another case remains") << QStringList{"editor"} << "Editor" << true;
        QTest::newRow("empty list") << QStringList{} << "Editor" << true;
    }

    void uninstallation()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, target);
        QFETCH(bool, complete);
        writeEntries(entries);

        FindRegedit watcher(nullptr, record(target), FindRegedit::WaitForUninstallation, 3, 1ms);
        QSignalSpy installed(&watcher, &FindRegedit::installationCompleteSiganl);
        QSignalSpy uninstalled(&watcher, &FindRegedit::uninstallationCompleteSiganl);
        QVERIFY(runToEnd(watcher));

        QCOMPARE(installed.count(), 0);
        QCOMPARE(uninstalled.count(), complete ? 1 : 0);
        if (complete)
            QCOMPARE(uninstalled.at(0).at(0).value<DesktopAppInfoPtr>(), watcher.application());
    }

    // A finished watch does not wait out its pause.
    void endsWithoutPausing_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("signalCount");
        const int install = FindRegedit::WaitForInstallation;
        const int uninstall = FindRegedit::WaitForUninstallation;
        QTest::newRow("uninstalled, empty list") << uninstall << "Editor" << QStringList{} << 1;
        QTest::newRow("installed") << install << "Editor" << QStringList{"Editor|/opt/e"} << 1;
        QTest::newRow("mode neither") << 2 << "Editor" << QStringList{"Editor|/opt/e"} << 0;
        QTest::newRow("nameless record, installation") << install << "" << QStringList{"Editor|/opt/e"} << 0;
        QTest::newRow("nameless record, uninstallation") << uninstall << "" << QStringList{"Editor|/opt/e"} << 1;
    }

    void endsWithoutPausing()
    {
        QFETCH(int, mode);
        QFETCH(QString, name);
        QFETCH(QStringList, entries);
        QFETCH(int, signalCount);
        writeEntries(entries);
        FindRegedit watcher(nullptr, record(name), mode, 60, 1h);
        QSignalSpy installed(&watcher, &FindRegedit::installationCompleteSiganl);
        QSignalSpy uninstalled(&watcher, &FindRegedit::uninstallationCompleteSiganl);
        QVERIFY(runToEnd(watcher));
        QCOMPARE(installed.count() + uninstalled.count(), signalCount);
    }

    void withoutRecord()
    {
        writeEntries({"Editor|/opt/e"});
        FindRegedit watcher(nullptr, DesktopAppInfoPtr(), FindRegedit::WaitForUninstallation, 60, 1h);
        QSignalSpy uninstalled(&watcher, &FindRegedit::uninstallationCompleteSiganl);
        QVERIFY(runToEnd(watcher));
        QCOMPARE(uninstalled.count(), 0);
        QVERIFY(watcher.application().isNull());
    }

    void pathRecording_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("execpath");
        QTest::addColumn<QString>("install");

        QTest::newRow("trailing slash") << "/opt/apps/editor/" << "editor" << "/opt/apps/editor/editor";
        QTest::newRow("no trailing slash") << "/opt/apps/editor" << "editor" << "/opt/apps/editor/editor";
        QTest::newRow("backslashes") << "D:\\Apps\\Editor\\" << "editor.exe" << "D:/Apps/Editor/editor.exe";
        QTest::newRow("program in a subfolder") << "/opt/apps/editor/" << "bin/editor" << "/opt/apps/editor/bin/editor";
    }

    void pathRecording()
    {
        QFETCH(QString, location);
        QFETCH(QString, execpath);
        QFETCH(QString, install);
        writeEntries({"Editor Pro 2.1|" + location + "|/opt/apps/editor/uninstall --all"});

        FindRegedit watcher(nullptr, record("Editor", "2", execpath), FindRegedit::WaitForInstallation, 3, 1ms);
        QSignalSpy installed(&watcher, &FindRegedit::installationCompleteSiganl);
        QVERIFY(runToEnd(watcher));

        QCOMPARE(installed.count(), 1);
        QCOMPARE(installed.at(0).at(0).toString(), location);
        QCOMPARE(watcher.application()->install, install);
        QCOMPARE(watcher.application()->uninstall, QString("/opt/apps/editor/uninstall --all"));
    }

    void pathsOfAStoredRecordGoThroughTheStore()
    {
        writeEntries({"Editor Pro 2.1|/opt/apps/editor/|/opt/apps/editor/uninstall"});
        auto category = DesktopAppCategoryPtr::create();
        category->id = "c1";
        const DesktopAppInfoPtr app = record("Editor", "2");
        CatalogueStore store;
        store.reset({qMakePair(category, DesktopAppList{app})});
        QList<CatalogueStore::Change> changes;
        connect(&store, &CatalogueStore::changed, this,
                [&](const CatalogueStore::Change &change) { changes << change; });

        FindRegedit watcher(nullptr, app, FindRegedit::WaitForInstallation, 3, 1ms);
        watcher.setCatalogueStore(&store);
        QSignalSpy installed(&watcher, &FindRegedit::installationCompleteSiganl);
        QVERIFY(runToEnd(watcher));
        QCOMPARE(installed.count(), 1);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(changes[0].kind, CatalogueStore::Change::Updated);
        QCOMPARE(changes[0].app, app);
        QCOMPARE(app->install, QString("/opt/apps/editor/editor"));
    }

    void desktopShortcut_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("locations"); // of the signals, in order; "shortcut" for its path
        QTest::addColumn<QString>("install");       // "shortcut" for its path
        QTest::addColumn<QString>("uninstall");

        QTest::newRow("shortcut alone, type 2")
            << "2" << QStringList{} << QStringList{"shortcut"} << "shortcut" << "old-uninstall";
        QTest::newRow("entry without location and shortcut, type 2")
            << "2" << QStringList{"Editor"} << QStringList{"shortcut"} << "shortcut" << "old-uninstall";
        QTest::newRow("entry and shortcut in one pass, type 2")
            << "2" << QStringList{"Editor|/opt/e/|/opt/e/remove"} << QStringList{"/opt/e/", "shortcut"}
            << "shortcut" << "/opt/e/remove";
        QTest::newRow("shortcut alone, type 1")
            << "1" << QStringList{} << QStringList{} << "old-install" << "old-uninstall";
        QTest::newRow("entry and shortcut, type 1")
            << "1" << QStringList{"Editor|/opt/e/"} << QStringList{"/opt/e/"} << "old-install" << "old-uninstall";
    }

    void desktopShortcut()
    {
        QFETCH(QString, type);
        QFETCH(QStringList, entries);
        QFETCH(QStringList, locations);
        QFETCH(QString, install);
        QFETCH(QString, uninstall);
        writeEntries(entries);
        const QString shortcut = writeShortcut("Editor");
        locations.replaceInStrings(QRegularExpression("^shortcut$"), shortcut);
        if (install == "shortcut")
            install = shortcut;

        FindRegedit watcher(nullptr, record("Editor", type), FindRegedit::WaitForInstallation, 3, 1ms);
        QStringList seen;
        connect(&watcher, &FindRegedit::installationCompleteSiganl, this,
                [&seen](const QString &location, const DesktopAppInfoPtr &) { seen.append(location); });
        QVERIFY(runToEnd(watcher));

        QCOMPARE(seen, locations);
        QCOMPARE(watcher.application()->install, install);
        QCOMPARE(watcher.application()->uninstall, uninstall);
    }

    // The shortcut is looked for where this user's desktop really is, as
    // the user's folder settings name it, under the name an installer here
    // gives it.
    void shortcutInTheUsersOwnDesktopFolder()
    {
        const QString home = qEnvironmentVariable("HOME");
        const QString settings = qEnvironmentVariable("XDG_CONFIG_HOME") + "/user-dirs.dirs";
        const QString ownDesktop = home + QString::fromUtf8("/Arbeitsfl\xc3\xa4" "che");
        QVERIFY(writeFile(settings, QString::fromUtf8("XDG_DESKTOP_DIR=\"$HOME/Arbeitsfl\xc3\xa4" "che\"\n").toUtf8()));
        QVERIFY(writeFile(ownDesktop + "/Editor.desktop", desktopEntry("Editor")));
        QVERIFY(writeFile(m_desktop + "/Other.desktop", desktopEntry("Other")));

        FindRegedit found(nullptr, record("Editor", "2"), FindRegedit::WaitForInstallation, 2, 1ms);
        QSignalSpy installed(&found, &FindRegedit::installationCompleteSiganl);
        const bool ranFound = runToEnd(found);
        // Not in the folder of another account or the default name.
        FindRegedit other(nullptr, record("Other", "2"), FindRegedit::WaitForInstallation, 2, 1ms);
        QSignalSpy otherInstalled(&other, &FindRegedit::installationCompleteSiganl);
        const bool ranOther = runToEnd(other);
        QFile::remove(settings);
        QDir(ownDesktop).removeRecursively();

        QVERIFY(ranFound && ranOther);
        QCOMPARE(installed.count(), 1);
        QCOMPARE(installed.at(0).at(0).toString(), ownDesktop + "/Editor.desktop");
        QCOMPARE(found.application()->install, ownDesktop + "/Editor.desktop");
        QCOMPARE(otherInstalled.count(), 0);
    }

    // Only an existing shortcut file counts, not a folder of that name.
    void shortcutMustBeAFile()
    {
        QVERIFY(QDir().mkpath(m_desktop + "/" + Platform::shortcutFileName("Editor")));
        FindRegedit watcher(nullptr, record("Editor", "2"), FindRegedit::WaitForInstallation, 2, 1ms);
        QSignalSpy installed(&watcher, &FindRegedit::installationCompleteSiganl);
        QVERIFY(runToEnd(watcher));
        QCOMPARE(installed.count(), 0);
    }

    // The record is written before any receiver runs, and receivers run in
    // the thread that owns the watcher. The watcher keeps the record alive
    // for as long as it needs it.
    void installationAndUninstallationAppearAndDisappear()
    {
        const QString entryFile = m_apps + "/editor.desktop";
        auto app = record("Editor", "2", "editor");
        QPointer<QThread> mainThread = QThread::currentThread();

        FindRegedit installWatch(nullptr, app, FindRegedit::WaitForInstallation, 100000, 2ms);
        app.reset();
        QStringList seen;
        connect(&installWatch, &FindRegedit::installationCompleteSiganl, this,
                [&](const QString &location, const DesktopAppInfoPtr &watched) {
                    QCOMPARE(QThread::currentThread(), mainThread.data());
                    QCOMPARE(watched->name, QString("Editor"));
                    seen << location << watched->install << watched->uninstall;
                },
                Qt::DirectConnection);
        installWatch.start();
        QTest::qWait(30);
        QVERIFY(installWatch.isRunning());
        QVERIFY(seen.isEmpty());
        QVERIFY(writeFile(entryFile, desktopEntry("Editor 3", "/opt/editor/", "/opt/editor/uninstall")));
        QTRY_COMPARE(seen, (QStringList{"/opt/editor/", "/opt/editor/editor", "/opt/editor/uninstall"}));
        QVERIFY(installWatch.wait(10000));

        FindRegedit uninstallWatch(nullptr, record("Editor 3"), FindRegedit::WaitForUninstallation, 100000, 2ms);
        QSignalSpy uninstalled(&uninstallWatch, &FindRegedit::uninstallationCompleteSiganl);
        uninstallWatch.start();
        QTest::qWait(30);
        QVERIFY(uninstallWatch.isRunning());
        QCOMPARE(uninstalled.count(), 0);
        QVERIFY(QFile::remove(entryFile));
        QTRY_COMPARE(uninstalled.count(), 1);
        QVERIFY(uninstallWatch.wait(10000));
    }

    // An installer that writes its desktop shortcut before the entry that
    // names its uninstaller: the shortcut is reported at once, and the
    // entry's uninstaller is still recorded when it comes, the shortcut
    // staying what a launch opens.
    void shortcutBeforeItsEntry()
    {
        const QString shortcut = writeShortcut("Editor");
        FindRegedit watch(nullptr, record("Editor", "2"), FindRegedit::WaitForInstallation, 100000, 2ms);
        QStringList seen;
        connect(&watch, &FindRegedit::installationCompleteSiganl, this,
                [&seen](const QString &location, const DesktopAppInfoPtr &) { seen << location; });
        watch.start();
        QTRY_COMPARE(seen, QStringList{shortcut});
        QVERIFY(watch.isRunning());
        QVERIFY(writeFile(m_apps + "/editor.desktop", desktopEntry("Editor", "/opt/e/", "/opt/e/remove")));
        QTRY_COMPARE(seen, (QStringList{shortcut, "/opt/e/"}));
        QVERIFY(watch.wait(10000));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(seen.size(), 2);
        QCOMPARE(watch.application()->install, shortcut);
        QCOMPARE(watch.application()->uninstall, QString("/opt/e/remove"));
    }

    // An installer that writes its entry is seen at once, not at the end
    // of a long pause; the pause still ends the watch when nothing comes.
    void changeOfTheFoldersEndsThePause_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("installation") << int(FindRegedit::WaitForInstallation);
        QTest::newRow("uninstallation") << int(FindRegedit::WaitForUninstallation);
    }

    void changeOfTheFoldersEndsThePause()
    {
        QFETCH(int, mode);
        const QString entryFile = m_apps + "/editor.desktop";
        if (mode == FindRegedit::WaitForUninstallation)
            QVERIFY(writeFile(entryFile, desktopEntry("Editor", "/opt/editor/", "/opt/editor/uninstall")));
        FindRegedit watcher(nullptr, record("Editor", "1"), mode, 3, std::chrono::hours(1));
        QSignalSpy installed(&watcher, &FindRegedit::installationCompleteSiganl);
        QSignalSpy uninstalled(&watcher, &FindRegedit::uninstallationCompleteSiganl);
        watcher.start();
        QTest::qWait(300);
        QCOMPARE(installed.count() + uninstalled.count(), 0);
        if (mode == FindRegedit::WaitForInstallation)
            QVERIFY(writeFile(entryFile, desktopEntry("Editor", "/opt/editor/", "/opt/editor/uninstall")));
        else
            QVERIFY(QFile::remove(entryFile));
        QTRY_COMPARE_WITH_TIMEOUT(installed.count() + uninstalled.count(), 1, 20000);
        QVERIFY(watcher.wait(10000));
    }

    void pokesDoNotOutlastThePasses()
    {
        writeEntries({"Viewer|/opt/v"});
        FindRegedit watcher(nullptr, record("Editor", "1"), FindRegedit::WaitForInstallation, 3, 50ms);
        QSignalSpy finished(&watcher, &QThread::finished);
        watcher.start();
        // Far more pokes than passes: the watch still ends after its time.
        QElapsedTimer timer;
        timer.start();
        while (finished.isEmpty() && timer.elapsed() < 20000) {
            watcher.poke();
            QTest::qWait(5);
        }
        QCOMPARE(finished.count(), 1);
    }

    void nothingFoundInAnyPass()
    {
        writeEntries({"Viewer|/opt/v"});
        FindRegedit watcher(nullptr, record("Editor", "2"), FindRegedit::WaitForInstallation, 5, 1ms);
        QSignalSpy installed(&watcher, &FindRegedit::installationCompleteSiganl);
        QSignalSpy finished(&watcher, &QThread::finished);
        QVERIFY(runToEnd(watcher));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(installed.count(), 0);
        QCOMPARE(watcher.application()->install, QString("old-install"));
    }

    // Stopping or destroying the owner ends the pause at once; nothing
    // arrives afterwards.
    void destroyWhileRunning_data()
    {
        QTest::addColumn<int>("settleMs"); // how long it runs before its owner goes
        QTest::newRow("in its first query") << 0;
        QTest::newRow("sleeping") << 50;
    }

    void destroyWhileRunning()
    {
        QFETCH(int, settleMs);
        writeEntries({"Editor"});
        for (int round = 0; round < 10; ++round) {
            auto *owner = new QObject;
            auto app = record("Editor");
            auto *watcher = new FindRegedit(owner, app, FindRegedit::WaitForUninstallation, 60, 1h);
            QPointer<FindRegedit> guard(watcher);
            int signals_ = 0;
            connect(watcher, &FindRegedit::uninstallationCompleteSiganl, this, [&signals_] { ++signals_; });
            watcher->start();
            if (settleMs)
                QTest::qWait(settleMs);
            QElapsedTimer timer;
            timer.start();
            delete owner;
            // Far below the pause: the destruction did not sleep it out.
            QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
            QVERIFY(guard.isNull());
            QCoreApplication::sendPostedEvents();
            QCOMPARE(signals_, 0);
            QCOMPARE(app->name, QString("Editor"));
        }
    }

    // The thread has handed its result over, but the owner goes before the
    // event loop delivers it.
    void destroyedWithReportPending()
    {
        writeEntries({"Editor|/opt/e/"});
        auto app = record("Editor", "2");
        int signals_ = 0;
        {
            FindRegedit watcher(nullptr, app, FindRegedit::WaitForInstallation, 3, 1ms);
            connect(&watcher, &FindRegedit::installationCompleteSiganl, this, [&signals_] { ++signals_; });
            watcher.start();
            QVERIFY(watcher.wait(20000));
        }
        QCoreApplication::sendPostedEvents();
        QCOMPARE(signals_, 0);
        QCOMPARE(app->install, QString("old-install"));
    }

    void stopEndsWithoutSignal()
    {
        FindRegedit watcher(nullptr, record("Editor"), FindRegedit::WaitForUninstallation, 60, 1h);
        QSignalSpy uninstalled(&watcher, &FindRegedit::uninstallationCompleteSiganl);
        watcher.start();
        watcher.stop();
        QVERIFY(watcher.wait(20000));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(uninstalled.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestFindRegedit)
#include "tst_findregedit.moc"
