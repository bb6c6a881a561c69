#include "platform/Platform.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTextStream>

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

} // namespace Platform
