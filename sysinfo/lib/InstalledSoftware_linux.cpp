// Installed software on a Linux desktop: the applications that have a
// desktop entry, and the packages the Debian package database holds.

#include "InstalledSoftware.h"

#include "platform/FolderWatch.h"
#include "platform/Platform.h"

#include <QDir>
#include <QHash>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

const char kVersionKey[] = "X-Orvane-Version";
const char kUninstallKey[] = "X-Orvane-Uninstall";
// The escapes of a desktop entry's string values.
QString unescapeValue(const QString &raw)
{
    if (!raw.contains(QLatin1Char('\\')))
        return raw;
    QString out;
    out.reserve(raw.size());
    for (int i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != QLatin1Char('\\') || i + 1 >= raw.size()) {
            out.append(c);
            continue;
        }
        const QChar next = raw.at(++i);
        switch (next.unicode()) {
        case 's': out.append(QLatin1Char(' ')); break;
        case 'n': out.append(QLatin1Char('\n')); break;
        case 't': out.append(QLatin1Char('\t')); break;
        case 'r': out.append(QLatin1Char('\r')); break;
        case '\\': out.append(QLatin1Char('\\')); break;
        default:
            out.append(c);
            out.append(next);
            break;
        }
    }
    return out;
}

// The first word of an Exec line: the program. Double quotes group, and
// inside them a backslash escapes the next character.
QString execProgram(const QString &exec)
{
    QString program;
    int i = 0;
    while (i < exec.size() && exec.at(i).isSpace())
        ++i;
    bool quoted = false;
    for (; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                quoted = false;
            } else if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                program.append(exec.at(++i));
            } else {
                program.append(c);
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c.isSpace()) {
            break;
        } else {
            program.append(c);
        }
    }
    return program;
}

// Desktop entries are a few kilobytes; this much reaches far beyond any
// real one's main group without holding a whole huge file in memory.
constexpr qint64 kDesktopEntryReadLimit = 1024 * 1024;

// Opens path for reading only if it is a regular file. A pipe (also behind
// a symlink) would block the opening until someone writes to it, and a
// device may never end; O_NONBLOCK keeps the opening itself from waiting,
// and the check is made on what was really opened.
bool openRegularFile(QFile *file, const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

struct DesktopEntry
{
    bool application = false;
    bool hidden = false;
    QString name;
    QString path;
    QString exec;
    QString version;
    QString uninstall;
};

DesktopEntry readDesktopEntry(const QString &filePath)
{
    DesktopEntry entry;
    QFile file;
    if (!openRegularFile(&file, filePath))
        return entry;
    QByteArray data = file.read(kDesktopEntryReadLimit);
    // A line cut by the limit would give a shortened value.
    if (!file.atEnd())
        data.truncate(data.lastIndexOf('\n') + 1);
    const QString text = QString::fromUtf8(data);

    bool inMainGroup = false;
    int start = 0;
    while (start <= text.size()) {
        int end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        const QStringRef line = text.midRef(start, end - start).trimmed();
        start = end + 1;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            // Only the first group may be the main one; later groups are
            // actions and extensions with keys of the same names.
            if (inMainGroup)
                break;
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            if (!inMainGroup)
                break;
            continue;
        }
        if (!inMainGroup)
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QStringRef key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed().toString();
        if (key == QLatin1String("Type"))
            entry.application = value == QLatin1String("Application");
        else if (key == QLatin1String("Hidden"))
            entry.hidden = value == QLatin1String("true");
        else if (key == QLatin1String("Name"))
            entry.name = unescapeValue(value);
        else if (key == QLatin1String("Path"))
            entry.path = unescapeValue(value);
        else if (key == QLatin1String("Exec"))
            entry.exec = unescapeValue(value);
        else if (key == QLatin1String(kVersionKey))
            entry.version = unescapeValue(value);
        else if (key == QLatin1String(kUninstallKey))
            entry.uninstall = unescapeValue(value);
    }
    return entry;
}

// "want flag state": installed with no error flag, whatever the wish (a
// held package is as installed as any other).
bool statusMeansInstalled(const QByteArray &status)
{
    const QList<QByteArray> words = status.simplified().split(' ');
    return words.size() == 3 && words.at(1) == "ok" && words.at(2) == "installed";
}

void listPackages(std::vector<InstalledSoftwareInfo> *software)
{
    const QString path = Platform::packageDatabasePath();
    QFile file;
    if (!openRegularFile(&file, path))
        return; // not a Debian system, or a fixture without packages
    const QByteArray data = file.readAll();

    QByteArray package, version, status;
    auto flush = [&]() {
        if (!package.isEmpty() && statusMeansInstalled(status)) {
            InstalledSoftwareInfo info;
            info.name = QString::fromUtf8(package);
            info.version = QString::fromUtf8(version);
            info.origin = QStringLiteral("dpkg");
            info.uninstallCommand = QStringLiteral("apt-get remove ") + info.name;
            software->push_back(info);
        }
        package.clear();
        version.clear();
        status.clear();
    };

    int start = 0;
    while (start < data.size()) {
        int end = data.indexOf('\n', start);
        if (end < 0)
            end = data.size();
        const int length = end - start;
        const char *line = data.constData() + start;
        start = end + 1;

        if (length == 0 || (length == 1 && line[0] == '\r')) {
            flush();
            continue;
        }
        if (line[0] == ' ' || line[0] == '\t' || line[0] == '#')
            continue; // continuation of a long field, or a comment
        const QByteArray field = QByteArray::fromRawData(line, length);
        const int colon = field.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray key = field.left(colon).trimmed().toLower();
        if (key == "package")
            package = field.mid(colon + 1).trimmed();
        else if (key == "version")
            version = field.mid(colon + 1).trimmed();
        else if (key == "status")
            status = field.mid(colon + 1).trimmed();
    }
    flush();
}

// What identifies one version of a file: a change of any of these means
// the file may hold something else. Times to the nanosecond, as the file
// system keeps them.
struct FileStamp
{
    bool exists = false;
    bool link = false; // reached through a symbolic link
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;

    bool operator==(const FileStamp &o) const
    {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size
            && mtimeNs == o.mtimeNs && ctimeNs == o.ctimeNs;
    }
    bool operator!=(const FileStamp &o) const { return !(*this == o); }
};

FileStamp stampOf(const QString &path)
{
    FileStamp stamp;
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::lstat(name.constData(), &info) != 0)
        return stamp;
    if (S_ISLNK(info.st_mode)) {
        stamp.link = true;
        if (::stat(name.constData(), &info) != 0)
            return stamp;
    }
    stamp.exists = true;
    stamp.device = quint64(info.st_dev);
    stamp.inode = quint64(info.st_ino);
    stamp.size = qint64(info.st_size);
    stamp.mtimeNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.ctimeNs = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    return stamp;
}

qint64 nowNs()
{
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// A file changed twice within the file system's clock tick keeps its
// stamp; one that was this young when read is read again next time.
constexpr qint64 kFreshNs = 2000000000;

// What the sources held at the last look, so that a look at unchanged
// sources reads nothing, and a change re-reads only the files it touched.
// One per process: every library object, in whatever thread, shares it
// under its lock.
class SoftwareIndex
{
public:
    void list(std::vector<InstalledSoftwareInfo> *software)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        refreshDesktopEntries();
        refreshPackages();
        software->reserve(software->size() + m_entries.size() + m_packages.size());
        software->insert(software->end(), m_entries.cbegin(), m_entries.cend());
        software->insert(software->end(), m_packages.cbegin(), m_packages.cend());
    }

private:
    struct IndexedFile
    {
        FileStamp stamp;
        // Read within the file system's clock tick of a change: read again.
        bool fresh = false;
        // An application that is listed (not hidden, with a name).
        bool listed = false;
        InstalledSoftwareInfo info;
        quint64 walk = 0; // the last walk that met it
    };

    // True when the folders may hold something other than at the last walk.
    bool desktopEntriesChanged(const QStringList &folders)
    {
        if (folders != m_folders) {
            m_folders = folders;
            m_watch.clear();
            m_watchComplete = false;
            return true;
        }
        const FolderWatch::Changes changes = m_watch.take();
        for (const QString &path : changes.paths)
            m_touched.insert(path);
        bool changed = !m_watchComplete || changes.any || m_hasFresh;
        // A folder that was missing at the last walk may be there now.
        for (const QString &folder : qAsConst(m_missingFolders)) {
            if (QFileInfo(folder).isDir())
                changed = true;
        }
        // A link's target may lie in a folder nobody watches.
        for (const QString &path : qAsConst(m_linked)) {
            const auto it = m_files.constFind(path);
            if (it == m_files.cend() || stampOf(path) != it->stamp)
                changed = true;
        }
        return changed;
    }

    // True when the news named the file or a folder above it (a folder
    // moved away and back brings its files back changed).
    bool touched(const QString &path) const
    {
        if (m_touched.isEmpty())
            return false;
        if (m_touched.contains(path))
            return true;
        for (int slash = path.lastIndexOf(QLatin1Char('/')); slash > 0;
             slash = path.lastIndexOf(QLatin1Char('/'), slash - 1)) {
            if (m_touched.contains(path.left(slash)))
                return true;
        }
        return false;
    }

    void refreshDesktopEntries()
    {
        const QStringList folders = Platform::applicationFolders();
        if (!desktopEntriesChanged(folders))
            return;

        // News that arrives from here on is kept for the next look. The
        // folders are watched before they are read, so nothing written
        // during the walk goes unnoticed.
        bool complete = m_watch.isAvailable();
        // Only news gathered while every folder was watched can vouch for
        // the files it does not name.
        const bool watched = m_watchComplete;
        m_missingFolders.clear();
        m_linked.clear();
        m_hasFresh = false;
        const qint64 readAt = nowNs();
        const quint64 walk = ++m_walks;
        std::vector<InstalledSoftwareInfo> entries;
        entries.reserve(m_entries.size());

        // An entry hides every entry of the same desktop-file id in a less
        // important folder, also when it is itself hidden.
        QSet<QString> seenIds;
        seenIds.reserve(m_files.size());
        for (const QString &folder : folders) {
            if (!QFileInfo(folder).isDir()) {
                m_missingFolders.append(folder);
                continue;
            }
            if (complete && !m_watch.watch(folder))
                complete = false;
            QStringList paths;
            QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
            while (it.hasNext()) {
                const QString path = it.next();
                if (it.fileInfo().isDir()) {
                    if (complete && !m_watch.watch(path))
                        complete = false;
                } else if (path.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive)) {
                    paths.append(path);
                }
            }
            std::sort(paths.begin(), paths.end());

            const int prefix = folder.size() + 1;
            for (const QString &path : qAsConst(paths)) {
                QString id = path.mid(prefix);
                id.replace(QLatin1Char('/'), QLatin1Char('-'));
                if (seenIds.contains(id))
                    continue;
                seenIds.insert(id);

                auto known = m_files.find(path);
                bool read = known == m_files.end();
                if (!read) {
                    // The news names what changed, even where the stamp
                    // cannot tell; without news (or behind a link) the
                    // stamp has to.
                    if (known->fresh || touched(path))
                        read = true;
                    else if (!watched || known->stamp.link)
                        read = stampOf(path) != known->stamp;
                }
                if (read) {
                    IndexedFile file;
                    file.stamp = stampOf(path);
                    const DesktopEntry entry = readDesktopEntry(path);
                    file.listed = entry.application && !entry.hidden && !entry.name.isEmpty();
                    if (file.listed) {
                        file.info.name = entry.name;
                        file.info.version = entry.version;
                        file.info.installLocation = entry.path;
                        file.info.origin = path;
                        file.info.mainProgram = execProgram(entry.exec);
                        file.info.uninstallCommand = entry.uninstall;
                    }
                    // Without news of each change, a second change within
                    // the clock tick would go unseen.
                    file.fresh = !complete
                        && (readAt - file.stamp.mtimeNs < kFreshNs || readAt - file.stamp.ctimeNs < kFreshNs);
                    known = m_files.insert(path, file);
                }
                known->walk = walk;
                m_hasFresh = m_hasFresh || known->fresh;
                if (known->stamp.link)
                    m_linked.append(path);
                if (known->listed)
                    entries.push_back(known->info);
            }
        }
        // Files gone, or hidden by another folder's entry now, are forgotten.
        for (auto it = m_files.begin(); it != m_files.end();) {
            if (it->walk != walk)
                it = m_files.erase(it);
            else
                ++it;
        }
        m_entries = std::move(entries);
        m_touched.clear();
        m_watchComplete = complete;
    }

    void refreshPackages()
    {
        const QString path = Platform::packageDatabasePath();
        const QString folder = QFileInfo(path).absolutePath();
        if (folder != m_packageFolder) {
            m_packageFolder = folder;
            m_packageWatch.clear();
            m_packageWatched = m_packageWatch.watch(folder);
            m_packagesRead = false;
        }
        bool touched = !m_packageWatched;
        const FolderWatch::Changes changes = m_packageWatch.take();
        if (changes.overflow || !changes.gone.isEmpty() || changes.paths.contains(path)
            || changes.paths.contains(folder))
            touched = true;
        if (!changes.gone.isEmpty())
            m_packageWatched = m_packageWatch.watch(folder);

        const FileStamp stamp = stampOf(path);
        if (m_packagesRead && path == m_packagePath && stamp == m_packageStamp && !touched
            && !m_packagesFresh)
            return;
        m_packages.clear();
        listPackages(&m_packages);
        m_packagePath = path;
        m_packageStamp = stamp;
        m_packagesRead = true;
        const qint64 readAt = nowNs();
        m_packagesFresh = !m_packageWatched && stamp.exists
            && (readAt - stamp.mtimeNs < kFreshNs || readAt - stamp.ctimeNs < kFreshNs);
    }

    std::mutex m_mutex;

    QStringList m_folders;
    FolderWatch m_watch;
    // Every folder below the roots is watched: no news means no change.
    bool m_watchComplete = false;
    QStringList m_missingFolders;
    QStringList m_linked;
    bool m_hasFresh = false;
    QSet<QString> m_touched;
    QHash<QString, IndexedFile> m_files;
    quint64 m_walks = 0;
    std::vector<InstalledSoftwareInfo> m_entries;

    QString m_packageFolder;
    FolderWatch m_packageWatch;
    bool m_packageWatched = false;
    QString m_packagePath;
    FileStamp m_packageStamp;
    bool m_packagesRead = false;
    bool m_packagesFresh = false;
    std::vector<InstalledSoftwareInfo> m_packages;
};

} // namespace

void listInstalledSoftware(std::vector<InstalledSoftwareInfo> *software)
{
    static SoftwareIndex index;
    index.list(software);
}
