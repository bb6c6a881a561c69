// Installed software on a Linux desktop: the applications that have a
// desktop entry, and the packages the Debian package database holds.

#include "InstalledSoftware.h"

#include "platform/Platform.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
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

void listDesktopEntries(std::vector<InstalledSoftwareInfo> *software)
{
    // An entry hides every entry of the same desktop-file id in a less
    // important folder, also when it is itself hidden.
    QSet<QString> seenIds;
    const QStringList folders = Platform::applicationFolders();
    for (const QString &folder : folders) {
        QStringList files;
        QDirIterator it(folder, QStringList{QStringLiteral("*.desktop")}, QDir::Files,
                        QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (it.hasNext())
            files.append(it.next());
        std::sort(files.begin(), files.end());

        const int prefix = folder.size() + 1;
        for (const QString &file : qAsConst(files)) {
            QString id = file.mid(prefix);
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seenIds.contains(id))
                continue;
            seenIds.insert(id);

            const DesktopEntry entry = readDesktopEntry(file);
            if (!entry.application || entry.hidden || entry.name.isEmpty())
                continue;
            InstalledSoftwareInfo info;
            info.name = entry.name;
            info.version = entry.version;
            info.installLocation = entry.path;
            info.origin = file;
            info.mainProgram = execProgram(entry.exec);
            info.uninstallCommand = entry.uninstall;
            software->push_back(info);
        }
    }
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

} // namespace

void listInstalledSoftware(std::vector<InstalledSoftwareInfo> *software)
{
    listDesktopEntries(software);
    listPackages(software);
}
