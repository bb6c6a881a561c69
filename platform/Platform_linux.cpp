#include "platform/Platform.h"

#include "platform/LinuxDesktop.h"
#include "platform/PlatformLog.h"
#include "platform/WebAddress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QProcessEnvironment>
#include <QSysInfo>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

// Base directory lists ignore relative paths, as the XDG rules require.
QStringList absolutePaths(const QString &list)
{
    QStringList result;
    const QStringList parts = list.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (QDir::isAbsolutePath(part))
            result.append(QDir::cleanPath(part));
    }
    return result;
}

} // namespace

namespace Platform {

QString osFamily()
{
    return QStringLiteral("linux");
}

QString osPrettyName()
{
    // os-release is the system's own description; QSysInfo reads it too,
    // but falls back to invented names when the file is missing.
    for (const char *path : {"/etc/os-release", "/usr/lib/os-release"}) {
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        QTextStream in(&file);
        in.setCodec("UTF-8");
        while (!in.atEnd()) {
            const QString line = in.readLine().trimmed();
            if (!line.startsWith(QLatin1String("PRETTY_NAME=")))
                continue;
            QString value = line.mid(int(qstrlen("PRETTY_NAME=")));
            if (value.size() >= 2 && (value.startsWith(QLatin1Char('"')) || value.startsWith(QLatin1Char('\'')))
                && value.endsWith(value.at(0)))
                value = value.mid(1, value.size() - 2);
            return value;
        }
    }
    return QSysInfo::prettyProductName();
}

namespace {

bool runDesktopSteps(const char *what, const QList<LinuxDesktop::Step> &steps)
{
    const LinuxDesktop::Outcome outcome = LinuxDesktop::run(steps);
    for (const QString &failure : outcome.failures)
        qCDebug(lcPlatform) << what << "not by" << failure;
    if (outcome.done)
        qCDebug(lcPlatform) << what << "by" << outcome.doneBy;
    else
        qCWarning(lcPlatform) << what << "failed: nothing on this machine could do it";
    return outcome.done;
}

} // namespace

bool lockSession()
{
    return runDesktopSteps("lock", LinuxDesktop::lockSteps());
}

bool setDesktopWallpaper(const QString &picturePath)
{
    // Desktops take any name and show nothing when the file is missing, so
    // an unreadable picture is a failure here, as the caller must be told.
    const QFileInfo picture(picturePath);
    if (!picture.isFile() || !picture.isReadable()) {
        qCWarning(lcPlatform) << "wallpaper: cannot read" << picturePath;
        return false;
    }
    const QString desktop = QProcessEnvironment::systemEnvironment().value(QStringLiteral("XDG_CURRENT_DESKTOP"));
    return runDesktopSteps("wallpaper", LinuxDesktop::wallpaperSteps(picture.absoluteFilePath(), desktop));
}

QString systemWallpaper()
{
    const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (gsettings.isEmpty())
        return QString();
    QProcess get;
    get.start(gsettings, {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.background"),
                          QStringLiteral("picture-uri")});
    if (!get.waitForFinished(3000) || get.exitStatus() != QProcess::NormalExit || get.exitCode() != 0) {
        get.kill();
        get.waitForFinished(1000);
        return QString();
    }
    const QString value = LinuxDesktop::gvariantStringValue(QString::fromUtf8(get.readAllStandardOutput()));
    return LinuxDesktop::localPictureFile(value);
}

bool openInBrowser(const QString &address)
{
    QString why;
    const QString web = WebAddress::forBrowser(address, &why);
    if (web.isEmpty()) {
        qCWarning(lcPlatform).noquote() << "not opened in the browser:" << why << "-" << address.left(200);
        return false;
    }
    return runDesktopSteps("browser", LinuxDesktop::browserSteps(web));
}

QString userDesktopFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString shortcutFileName(const QString &name)
{
    return name + QStringLiteral(".desktop");
}

bool isDesktopShortcut(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.fileName().endsWith(QLatin1String(".desktop"));
}

bool flushToDisk(QFileDevice &file)
{
    if (!file.isOpen() || !file.flush())
        return false;
    const int fd = file.handle();
    return fd >= 0 && ::fsync(fd) == 0;
}

bool replaceFile(const QString &from, const QString &to)
{
    // rename(2) replaces the target atomically; QFile::rename refuses to.
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

bool exchangePaths(const QString &a, const QString &b)
{
    return ::renameat2(AT_FDCWD, QFile::encodeName(a).constData(), AT_FDCWD,
                       QFile::encodeName(b).constData(), RENAME_EXCHANGE)
        == 0;
}

bool isProcessRunning(qint64 pid)
{
    if (pid <= 0)
        return false;
    // A zombie still answers kill(); its /proc status says it has ended.
    if (::kill(pid_t(pid), 0) != 0 && errno != EPERM)
        return false;
    QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = status.readAll();
    const int close = line.lastIndexOf(')');
    return close < 0 || close + 2 >= line.size() || line.at(close + 2) != 'Z';
}

QStringList shortcutSuffixes()
{
    return {QStringLiteral(".desktop")};
}

bool startProgram(const QString &program, const QStringList &arguments,
                  const QString &workingDirectory)
{
    if (program.isEmpty())
        return false;
    return QProcess::startDetached(program, arguments, workingDirectory);
}

namespace {

// The Exec line of the main group of a desktop entry, or empty when the
// file is not an application entry.
QString desktopEntryExec(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    QTextStream in(&file);
    in.setCodec("UTF-8");
    bool inMain = false;
    bool application = false;
    QString exec;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMain)
            continue;
        if (line == QLatin1String("Type=Application"))
            application = true;
        else if (line.startsWith(QLatin1String("Exec=")))
            exec = line.mid(5).trimmed();
    }
    return application ? exec : QString();
}

} // namespace

bool openShortcut(const QString &path)
{
    if (!isDesktopShortcut(path))
        return false;
    // gio starts the entry detached and returns before the program ends;
    // its own failure would go unseen, so the entry is checked here first.
    const QStringList exec = QProcess::splitCommand(desktopEntryExec(path));
    if (exec.isEmpty())
        return false;
    const QString program = exec.first();
    if (QStandardPaths::findExecutable(program).isEmpty()
        && !(QFileInfo(program).isAbsolute() && QFileInfo(program).isExecutable()))
        return false;
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        return false;
    return QProcess::startDetached(gio, {QStringLiteral("launch"), path});
}

void adjustShellDesktopIcons()
{
}

QStringList applicationFolders()
{
    QStringList bases;
    const QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (QDir::isAbsolutePath(home))
        bases.append(QDir::cleanPath(home));
    else
        bases.append(QDir::homePath() + QStringLiteral("/.local/share"));

    QStringList dirs = absolutePaths(qEnvironmentVariable("XDG_DATA_DIRS"));
    if (dirs.isEmpty())
        dirs = QStringList{QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
    bases.append(dirs);
    bases.removeDuplicates();

    QStringList folders;
    for (const QString &base : qAsConst(bases))
        folders.append(base + QStringLiteral("/applications"));
    return folders;
}

QString packageDatabasePath()
{
    const QString path = qEnvironmentVariable("ORVANE_DPKG_STATUS");
    return path.isEmpty() ? QStringLiteral("/var/lib/dpkg/status") : path;
}

} // namespace Platform
