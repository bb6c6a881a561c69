#include "platform/FolderWatch.h"

#include "platform/PlatformLog.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

// What can change a folder's list of entries or what one of them holds.
constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB
    | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

FolderWatch::FolderWatch()
    : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    if (m_fd < 0)
        qCWarning(lcPlatform) << "no file-system notification:" << std::strerror(errno);
}

FolderWatch::~FolderWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FolderWatch::isAvailable() const
{
    return m_fd >= 0;
}

bool FolderWatch::watch(const QString &folder)
{
    if (m_fd < 0)
        return false;
    const int wd = inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), kMask);
    if (wd < 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            qCWarning(lcPlatform) << "cannot watch" << folder << std::strerror(errno);
        return false;
    }
    // The same folder reached by another path keeps one id; the latest path
    // names it.
    m_folders.insert(wd, folder);
    return true;
}

bool FolderWatch::isWatched(const QString &folder) const
{
    for (auto it = m_folders.cbegin(); it != m_folders.cend(); ++it) {
        if (it.value() == folder)
            return true;
    }
    return false;
}

void FolderWatch::clear()
{
    if (m_fd < 0)
        return;
    // A fresh instance drops every watch and every pending event at once.
    ::close(m_fd);
    m_folders.clear();
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

FolderWatch::Changes FolderWatch::take()
{
    Changes changes;
    if (m_fd < 0)
        return changes;
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break; // EAGAIN: nothing more
        }
        if (n == 0)
            break;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event)) + event->len;
            if (event->mask & IN_Q_OVERFLOW) {
                changes.any = true;
                changes.overflow = true;
                continue;
            }
            const QString folder = m_folders.value(event->wd);
            if (event->mask & IN_IGNORED) {
                // The folder went (or its watch was dropped): it is no longer
                // watched, whatever comes into its place.
                if (m_folders.remove(event->wd) > 0) {
                    changes.any = true;
                    changes.gone.append(folder);
                }
                continue;
            }
            if (folder.isEmpty())
                continue;
            changes.any = true;
            if (event->len > 0 && event->name[0] != '\0')
                changes.paths.append(folder + QLatin1Char('/') + QFile::decodeName(event->name));
            else
                changes.paths.append(folder);
        }
    }
    return changes;
}
