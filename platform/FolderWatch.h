#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// Tells what changed in a set of folders since the last look, without an
// event loop and without waiting: a thread that polls asks take() before
// each look and walks the folders only when something happened there.
//
// Each folder is watched on its own (not its subfolders). Use one object
// from one thread at a time.
class FolderWatch
{
public:
    struct Changes
    {
        // Something happened in a watched folder, or the system lost count.
        bool any = false;
        // The system dropped news: anything may have changed.
        bool overflow = false;
        // The entries named by the news (folder + "/" + name), and folders
        // themselves when they changed as a whole.
        QStringList paths;
        // Watched folders that went away (removed or moved); no longer watched.
        QStringList gone;
    };

    FolderWatch();
    ~FolderWatch();
    FolderWatch(const FolderWatch &) = delete;
    FolderWatch &operator=(const FolderWatch &) = delete;

    // False when this system gives no news of changes; then every look has
    // to walk the folders itself.
    bool isAvailable() const;

    // Starts watching the folder; true when it is watched (also when it
    // already was). False for a missing folder or when the system refuses.
    bool watch(const QString &folder);
    bool isWatched(const QString &folder) const;
    // Stops watching every folder; news not taken yet is dropped.
    void clear();

    Changes take();

private:
    int m_fd = -1;
    QHash<int, QString> m_folders; // watch id -> folder
};
