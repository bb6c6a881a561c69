#include "sysinfo/FindRegedit.h"

#include "platform/Platform.h"
#include "sysinfo/SysinfoLog.h"
#include "sysinfo/QGetInfomation.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QFileInfo>

#include <algorithm>
#include <vector>

namespace {

const QString kPathRecordingType = QStringLiteral("2");

// D:\Apps\Editor\ and editor.exe give D:/Apps/Editor/editor.exe.
QString programPath(const QString &location, const QString &execpath)
{
    QString base = location;
    base.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QLatin1Char('/') + execpath;
}

} // namespace

FindRegedit::FindRegedit(QObject *parent, const DesktopAppInfoPtr &app, int mode, int passes,
                         std::chrono::milliseconds pause)
    : QThread(parent)
    , m_app(app)
    , m_target(app ? app->name : QString())
    , m_recordPaths(app && app->type == kPathRecordingType)
    , m_execpath(app ? app->execpath : QString())
    , m_mode(app ? mode : -1)
    , m_passes(passes)
    , m_pause(pause)
{
    registerDesktopAppTypes();
    if (m_mode == WaitForInstallation || m_mode == WaitForUninstallation)
        watchSoftwareFolders();
}

FindRegedit::~FindRegedit()
{
    stop();
    wait();
}

void FindRegedit::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
}

bool FindRegedit::stopRequested()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stop;
}

void FindRegedit::poke()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_poked = true;
    }
    m_wake.notify_all();
}

FindRegedit::Wake FindRegedit::pause()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait_for(lock, m_pause, [this] { return m_stop || m_poked; });
    if (m_stop)
        return Wake::Stopped;
    if (m_poked) {
        m_poked = false;
        return Wake::Poked;
    }
    return Wake::Elapsed;
}

void FindRegedit::watchSoftwareFolders()
{
    // An installer or uninstaller changes these; waiting out the pause
    // would only delay the news by up to its length.
    QStringList paths = Platform::applicationFolders();
    paths << QFileInfo(Platform::packageDatabasePath()).absolutePath() << Platform::userDesktopFolder();
    QStringList existing;
    for (const QString &path : qAsConst(paths)) {
        if (QFileInfo(path).isDir())
            existing << path;
    }
    if (existing.isEmpty())
        return;
    auto *folders = new QFileSystemWatcher(existing, this);
    connect(folders, &QFileSystemWatcher::directoryChanged, this, [this]() { poke(); });
}

void FindRegedit::run()
{
    if (m_mode != WaitForInstallation && m_mode != WaitForUninstallation)
        return;
    // Every name contains the empty one: a nameless record would be
    // "installed" by whatever comes first in the list.
    if (m_mode == WaitForInstallation && m_target.isEmpty())
        return;

    // The library object belongs to this thread for the whole run.
    QGetInfomation info;
    std::vector<InstalledSoftwareInfo> software;
    const QString shortcut = QDir(Platform::userDesktopFolder()).filePath(Platform::shortcutFileName(m_target));
    const QString shortcutPath = QString(shortcut).replace(QLatin1Char('\\'), QLatin1Char('/'));

    // The passes' whole time bounds the watch, however often it is poked.
    const auto deadline = std::chrono::steady_clock::now() + m_passes * m_pause;
    bool shortcutReported = false;
    for (int remaining = m_passes; remaining > 0;) {
        if (stopRequested())
            return;
        software.clear();
        info.installedSoftware(&software);

        if (m_mode == WaitForInstallation) {
            bool finished = false;
            const auto found = std::find_if(software.cbegin(), software.cend(), [this](const InstalledSoftwareInfo &s) {
                return s.name.contains(m_target, Qt::CaseSensitive);
            });
            if (found != software.cend()) {
                // Without a location there is nothing to record yet; a
                // shortcut may still appear.
                if (!m_recordPaths || !found->installLocation.isEmpty()) {
                    const QString location = found->installLocation;
                    // A shortcut already reported stays what a launch opens.
                    const QString install = !m_recordPaths ? QString()
                                            : shortcutReported ? shortcutPath
                                                               : programPath(location, m_execpath);
                    const QString uninstall = found->uninstallCommand;
                    qCDebug(lcSysinfo) << "found" << found->name << "for" << m_target;
                    QMetaObject::invokeMethod(this, [this, location, install, uninstall] {
                        reportInstalled(location, install, uninstall);
                    }, Qt::QueuedConnection);
                    finished = true;
                }
            }
            if (m_recordPaths && !shortcutReported && Platform::isDesktopShortcut(shortcut)) {
                qCDebug(lcSysinfo) << "desktop shortcut" << shortcutPath << "for" << m_target;
                QMetaObject::invokeMethod(this, [this, shortcutPath] { reportShortcut(shortcutPath); },
                                          Qt::QueuedConnection);
                shortcutReported = true;
                // An installer may write its shortcut a moment before the
                // entry that names its uninstaller: the watch goes on for
                // that entry, or the program could never be uninstalled.
            }
            if (finished)
                return;
        } else {
            const bool present = std::any_of(software.cbegin(), software.cend(), [this](const InstalledSoftwareInfo &s) {
                return s.name == m_target;
            });
            if (!present) {
                qCDebug(lcSysinfo) << m_target << "is no longer installed";
                QMetaObject::invokeMethod(this, [this] { reportUninstalled(); }, Qt::QueuedConnection);
                return;
            }
        }

        // No point sleeping after the last pass.
        if (remaining <= 1)
            break;
        const Wake wake = pause();
        if (wake == Wake::Stopped)
            return;
        if (wake == Wake::Elapsed || std::chrono::steady_clock::now() >= deadline)
            --remaining;
    }
    qCDebug(lcSysinfo) << "gave up waiting for" << m_target;
}

void FindRegedit::reportInstalled(const QString &location, const QString &install, const QString &uninstall)
{
    if (stopRequested())
        return;
    if (m_recordPaths) {
        writeRecord([&](desktopAppInfo &app) {
            app.install = install;
            app.uninstall = uninstall;
        });
    }
    emit installationCompleteSiganl(location, m_app);
}

void FindRegedit::reportShortcut(const QString &path)
{
    if (stopRequested())
        return;
    writeRecord([&](desktopAppInfo &app) { app.install = path; });
    emit installationCompleteSiganl(path, m_app);
}

void FindRegedit::writeRecord(const std::function<void(desktopAppInfo &)> &edit)
{
    if (m_store && m_store->updateApp(m_app, edit))
        return;
    edit(*m_app);
}

void FindRegedit::reportUninstalled()
{
    if (stopRequested())
        return;
    emit uninstallationCompleteSiganl(m_app);
}
