#include "ConfigFile.h"

#include "AppPaths.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSettings>
#include <QTextCodec>

Q_LOGGING_CATEGORY(lcConfig, "orvane.config")

namespace {

void openCodec(QSettings &settings)
{
    settings.setIniCodec(QTextCodec::codecForName("GB2312"));
}

void restrictToOwner(const QString &path)
{
    if (QFile::exists(path)
        && !QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        qCWarning(lcConfig) << "cannot restrict permissions of" << path;
    }
}

} // namespace

namespace ConfigFile {

QString defaultPath()
{
    return AppPaths::appFilePath(QStringLiteral("Config.ini"));
}

QString readText(const QString &key)
{
    return readText(defaultPath(), key);
}

QString readText(const QString &path, const QString &key)
{
    QSettings settings(path, QSettings::IniFormat);
    openCodec(settings);
    return settings.value(key).toString();
}

int readFlag(const QString &key)
{
    return readFlag(defaultPath(), key);
}

int readFlag(const QString &path, const QString &key)
{
    QSettings settings(path, QSettings::IniFormat);
    openCodec(settings);
    if (!settings.contains(key))
        return -1;
    return settings.value(key).toInt();
}

bool writeKeys(const Entries &entries)
{
    return writeKeys(defaultPath(), entries);
}

bool writeKeys(const QString &path, const Entries &entries)
{
    // Create the file owner-only before the first write: the settings
    // writer keeps the permissions of the file it replaces, so the password
    // is never readable by others, not even for a moment.
    if (!QFile::exists(path)) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.close();
    }
    restrictToOwner(path);
    QSettings::Status status;
    {
        QSettings settings(path, QSettings::IniFormat);
        openCodec(settings);
        for (const auto &entry : entries)
            settings.setValue(entry.first, entry.second);
        settings.sync();
        status = settings.status();
    }
    restrictToOwner(path);
    if (status != QSettings::NoError) {
        qCWarning(lcConfig) << "cannot write" << path;
        return false;
    }
    return true;
}

QString chooseServerAddress()
{
    return chooseServerAddress(defaultPath());
}

QString chooseServerAddress(const QString &path)
{
    QSettings settings(path, QSettings::IniFormat);
    openCodec(settings);
    const QString flag = settings.value(QStringLiteral("/server/flag")).toString();
    if (flag.isEmpty() || flag == QLatin1String("0"))
        return settings.value(QStringLiteral("/server/testserver")).toString();
    return settings.value(QStringLiteral("/server/officialserver")).toString();
}

} // namespace ConfigFile
