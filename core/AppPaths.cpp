#include "core/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>

namespace {
QMutex g_mutex;
QString g_dirOverride;
QString g_serverAddress;
}

namespace AppPaths {

QString appDirPath()
{
    {
        QMutexLocker lock(&g_mutex);
        if (!g_dirOverride.isEmpty())
            return g_dirOverride;
    }
    return QCoreApplication::applicationDirPath();
}

void setAppDirPathOverride(const QString &dir)
{
    QMutexLocker lock(&g_mutex);
    g_dirOverride = dir.isEmpty() ? QString() : QDir::cleanPath(dir);
}

QString appFilePath(const QString &name)
{
    return QDir(appDirPath()).filePath(name);
}

QString serverAddress()
{
    QMutexLocker lock(&g_mutex);
    return g_serverAddress;
}

void setServerAddress(const QString &address)
{
    QMutexLocker lock(&g_mutex);
    g_serverAddress = address;
}

} // namespace AppPaths
