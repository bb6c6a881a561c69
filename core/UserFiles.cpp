#include "core/UserFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace UserFiles {

QStringList names()
{
    return {
        QStringLiteral("Config.ini"),
        QStringLiteral("DesktopApp.xml"),
        QStringLiteral("CacheImage"),
        QStringLiteral("downloadApp"),
        QStringLiteral("PushServerLog.txt"),
        QStringLiteral("Favourites.json"),
        // The web engine's profile (cookies, local storage of the service's
        // pages) lands here when the client folder is the per-user one:
        // both are the application's data location.
        QStringLiteral("QtWebEngine"),
    };
}

namespace {

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

bool copyFile(const QString &from, const QString &to, QString *error)
{
    if (QFileInfo::exists(to) && !QFile::remove(to))
        return fail(error, QStringLiteral("cannot replace %1").arg(to));
    QFile source(from);
    if (!source.copy(to))
        return fail(error, QStringLiteral("cannot copy %1 to %2: %3").arg(from, to, source.errorString()));
    // Config.ini holds the password: the copy keeps the owner-only mode.
    QFile::setPermissions(to, QFile::permissions(from));
    return true;
}

bool copyTree(const QString &from, const QString &to, QString *error)
{
    if (!QDir().mkpath(to))
        return fail(error, QStringLiteral("cannot make %1").arg(to));
    QDirIterator it(from, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir base(from);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString target = QDir(to).filePath(base.relativeFilePath(path));
        if (info.isSymLink())
            continue; // a user folder has no business linking elsewhere
        if (info.isDir()) {
            if (!QDir().mkpath(target))
                return fail(error, QStringLiteral("cannot make %1").arg(target));
        } else if (!copyFile(path, target, error)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool carryOver(const QString &fromDir, const QString &toDir, QString *error)
{
    const QDir from(fromDir);
    const QDir to(toDir);
    for (const QString &name : names()) {
        const QFileInfo info(from.filePath(name));
        if (!info.exists() || info.isSymLink())
            continue;
        const bool ok = info.isDir() ? copyTree(info.filePath(), to.filePath(name), error)
                                     : copyFile(info.filePath(), to.filePath(name), error);
        if (!ok)
            return false;
    }
    return true;
}

} // namespace UserFiles
