#pragma once

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>

namespace SysinfoFixture {

// Written whole or not at all, so a polling reader never sees half a file.
inline bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(content);
    return file.commit();
}

// A desktop entry's string escapes for backslashes.
inline QString escaped(QString value)
{
    return value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
}

inline QByteArray desktopEntry(const QString &name, const QString &location = QString(),
                               const QString &uninstall = QString(), const QString &version = QString())
{
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n")
                       .arg(name, QStringLiteral("/usr/bin/true"));
    if (!location.isEmpty())
        text += QStringLiteral("Path=%1\n").arg(escaped(location));
    if (!uninstall.isEmpty())
        text += QStringLiteral("X-Orvane-Uninstall=%1\n").arg(escaped(uninstall));
    if (!version.isEmpty())
        text += QStringLiteral("X-Orvane-Version=%1\n").arg(version);
    return text.toUtf8();
}

} // namespace SysinfoFixture
