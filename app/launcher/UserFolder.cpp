#include "app/launcher/UserFolder.h"

#include "app/launcher/LauncherLog.h"
#include "core/Settings.h"
#include "core/UserFiles.h"
#include "core/VersionCheck.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace UserFolder {

namespace {

QString versionOf(const QString &dir)
{
    return Settings::installedVersion(QDir(dir).filePath(QStringLiteral("UpdaterVer.ini")));
}

bool usable(const QString &version)
{
    return VersionCheck::parts(version).size() == 3;
}

bool fail(Result *result, const QString &why)
{
    result->ok = false;
    result->error = why;
    return false;
}

// The installed folder, file by file; links stay links.
bool copyTree(const QString &from, const QString &to, QString *error)
{
    if (!QDir().mkpath(to)) {
        *error = QStringLiteral("cannot make %1").arg(to);
        return false;
    }
    // The copy holds the user's password and downloads: owner only.
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QDir base(from);
    QDirIterator it(from, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString target = QDir(to).filePath(base.relativeFilePath(path));
        if (info.isSymLink()) {
            const QString link = info.absoluteDir().relativeFilePath(info.symLinkTarget());
            if (!QFile::link(link, target)) {
                *error = QStringLiteral("cannot link %1").arg(target);
                return false;
            }
        } else if (info.isDir()) {
            if (!QDir().mkpath(target)) {
                *error = QStringLiteral("cannot make %1").arg(target);
                return false;
            }
        } else {
            QFile source(path);
            if (!source.copy(target)) {
                *error = QStringLiteral("cannot copy %1: %2").arg(path, source.errorString());
                return false;
            }
            // Root's read-only files become the user's own, so the
            // client's updater can replace them later.
            QFile::setPermissions(target, info.permissions() | QFile::WriteOwner);
        }
    }
    return true;
}

void removeIfThere(const QString &dir)
{
    if (QFileInfo::exists(dir) && !QDir(dir).removeRecursively())
        qCWarning(lcLauncher) << "cannot remove" << dir;
}

} // namespace

QString stagingDir(const QString &userDir)
{
    const QFileInfo info(userDir);
    return info.absoluteDir().filePath(QLatin1Char('.') + info.fileName() + QStringLiteral(".new"));
}

QString previousDir(const QString &userDir)
{
    const QFileInfo info(userDir);
    return info.absoluteDir().filePath(QLatin1Char('.') + info.fileName() + QStringLiteral(".old"));
}

Plan plan(const QString &installedDir, const QString &userDir, const QString &executable)
{
    if (!QFileInfo::exists(userDir))
        return Plan::Create;
    if (!QFileInfo(QDir(userDir).filePath(executable)).isFile())
        return Plan::Refresh;
    const QString have = versionOf(userDir);
    const QString installed = versionOf(installedDir);
    if (!usable(have))
        return usable(installed) ? Plan::Refresh : Plan::Keep;
    // Never older: a copy the updater brought forward stays as it is.
    return VersionCheck::isNewer(have, installed) ? Plan::Refresh : Plan::Keep;
}

Result prepare(const QString &installedDir, const QString &userDir, const QString &executable)
{
    Result result;
    const QString staging = stagingDir(userDir);
    const QString previous = previousDir(userDir);
    if (!QDir().mkpath(QFileInfo(userDir).absolutePath())) {
        fail(&result, QStringLiteral("cannot make the parent of %1").arg(userDir));
        return result;
    }

    // Cut short between the two renames of a swap: the previous copy is
    // the user's folder still.
    if (!QFileInfo::exists(userDir) && QFileInfo::exists(previous)) {
        qCWarning(lcLauncher) << "restoring" << userDir << "from an unfinished refresh";
        if (!QDir().rename(previous, userDir)) {
            fail(&result, QStringLiteral("cannot restore %1 from %2").arg(userDir, previous));
            return result;
        }
    }
    removeIfThere(staging);
    removeIfThere(previous);

    result.plan = plan(installedDir, userDir, executable);
    if (result.plan == Plan::Keep) {
        result.ok = true;
        return result;
    }
    if (!QFileInfo(QDir(installedDir).filePath(executable)).isFile()) {
        fail(&result, QStringLiteral("no client in %1").arg(installedDir));
        return result;
    }

    QString error;
    const bool hadCopy = QFileInfo::exists(userDir);
    if (!copyTree(installedDir, staging, &error)
        || (hadCopy && !UserFiles::carryOver(userDir, staging, &error))) {
        removeIfThere(staging);
        fail(&result, error);
        return result;
    }
    if (hadCopy && !QDir().rename(userDir, previous)) {
        removeIfThere(staging);
        fail(&result, QStringLiteral("cannot move %1 aside").arg(userDir));
        return result;
    }
    if (!QDir().rename(staging, userDir)) {
        if (hadCopy)
            QDir().rename(previous, userDir);
        removeIfThere(staging);
        fail(&result, QStringLiteral("cannot move the new copy to %1").arg(userDir));
        return result;
    }
    removeIfThere(previous);
    result.ok = true;
    return result;
}

} // namespace UserFolder
