#include "platform/Platform.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

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

} // namespace Platform
