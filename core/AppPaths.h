#pragma once

#include <QString>

// Every file the client reads or writes lives beside the executable.
namespace AppPaths {

// Directory of the running executable. Tests may point it elsewhere with
// setAppDirPathOverride() so that they work on a folder of their own.
QString appDirPath();
void setAppDirPathOverride(const QString &dir);

// appDirPath() joined with a relative name ("Config.ini", "CacheImage", ...).
QString appFilePath(const QString &name);

// Process-wide service base address, set once at start-up.
QString serverAddress();
void setServerAddress(const QString &address);

} // namespace AppPaths
