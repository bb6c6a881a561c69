#pragma once

#include "catalogue/CatalogueStore.h"
#include "catalogue/DesktopAppInfo.h"

#include <QPointer>
#include <QString>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// Waits, on a thread of its own, until an application shows up in the
// installed software (mode 0) or is gone from it (mode 1), polling the list
// a limited number of times with a pause between passes.
//
// The watcher holds its record; the thread itself never touches it. Found
// values travel back to this object, which lives in the thread that made it,
// and are written into the record there before a signal is emitted, so
// receivers in that thread always see the updated record.
//
// Destroying the watcher (also through its parent) ends the pause at once
// and waits for the thread.
class FindRegedit : public QThread
{
    Q_OBJECT

public:
    enum Mode { WaitForInstallation = 0, WaitForUninstallation = 1 };

    static constexpr int DefaultPasses = 60;
    static constexpr std::chrono::milliseconds DefaultPause{5000};

    FindRegedit(QObject *parent, const DesktopAppInfoPtr &app, int mode,
                int passes = DefaultPasses, std::chrono::milliseconds pause = DefaultPause);
    ~FindRegedit() override;

    DesktopAppInfoPtr application() const { return m_app; }

    // When the watched record is in this store, the found paths are written
    // through it, so every window showing the catalogue hears of them.
    void setCatalogueStore(CatalogueStore *store) { m_store = store; }

    // Ends the watch soon without a signal; returns at once. Thread-safe.
    void stop();
    // Looks again now instead of at the end of the pause; a look this
    // causes does not count as one of the passes, but the passes' whole
    // time stays the bound. Thread-safe. The watcher calls it itself when
    // a folder the installed-software list comes from changes.
    void poke();

signals:
    // location: the install location as listed, or the shortcut's path.
    void installationCompleteSiganl(const QString &location, const DesktopAppInfoPtr &app);
    void uninstallationCompleteSiganl(const DesktopAppInfoPtr &app);

protected:
    void run() override;

private:
    // Sleeps for the pause; false when stop() was called.
    enum class Wake { Elapsed, Poked, Stopped };
    Wake pause();
    void watchSoftwareFolders();
    bool stopRequested();

    // Called in this object's thread.
    void reportInstalled(const QString &location, const QString &install, const QString &uninstall);
    void reportShortcut(const QString &path);
    void reportUninstalled();
    void writeRecord(const std::function<void(desktopAppInfo &)> &edit);

    DesktopAppInfoPtr m_app;
    QPointer<CatalogueStore> m_store;

    // Taken from the record when the watcher is made; the thread reads only these.
    const QString m_target;
    const bool m_recordPaths;
    const QString m_execpath;
    const int m_mode;
    const int m_passes;
    const std::chrono::milliseconds m_pause;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_poked = false;
};
