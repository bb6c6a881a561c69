#include "updater/core/UpdateJournal.h"

#include "core/SaveFile.h"
#include "platform/Platform.h"
#include "updater/core/UpdaterLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

namespace UpdateJournal {

namespace {

QByteArray readMark(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(256).trimmed();
}

} // namespace

bool write(const UpdateFolders &folders, const Entry &entry)
{
    QSaveFile file(folders.journal);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QJsonObject o{{QStringLiteral("mark"), entry.mark}, {QStringLiteral("version"), entry.version}};
    if (!SaveFile::write(file, QJsonDocument(o).toJson()))
        return false;
    if (!Platform::flushToDisk(file)) {
        file.cancelWriting();
        return false;
    }
    return SaveFile::commit(file);
}

std::optional<Entry> read(const UpdateFolders &folders)
{
    QFile file(folders.journal);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject o = QJsonDocument::fromJson(file.read(64 * 1024)).object();
    Entry entry{o.value(QStringLiteral("mark")).toString(), o.value(QStringLiteral("version")).toString()};
    if (entry.mark.isEmpty())
        return std::nullopt;
    return entry;
}

QString previousFolder(const UpdateFolders &folders)
{
    return folders.work + QStringLiteral("/previous");
}

bool finish(const UpdateFolders &folders)
{
    QFile::remove(folders.clientMark());
    const bool removed = QDir(folders.work).removeRecursively();
    if (!removed)
        qCWarning(lcUpdater) << "cannot remove" << folders.work;
    return removed;
}

Settled settle(const UpdateFolders &folders)
{
    if (!QFileInfo::exists(folders.work))
        return Settled::Clean;
    const auto entry = read(folders);
    const QString previous = previousFolder(folders);
    if (!entry) {
        // Cut short before the swap was prepared: only the staging folder
        // (and the download, kept for a continuation) can be there.
        QDir(folders.staging).removeRecursively();
        QDir(previous).removeRecursively();
        QFile::remove(folders.journal);
        return Settled::Clean;
    }
    const QByteArray mark = entry->mark.toUtf8();
    if (!QFileInfo::exists(folders.client)) {
        // Between the two renames of a file system that cannot swap.
        if (QFileInfo::exists(previous) && Platform::replaceFile(previous, folders.client)) {
            qCWarning(lcUpdater) << "update cut short between its renames; old client moved back";
            QDir(folders.staging).removeRecursively();
            QFile::remove(folders.journal);
            return Settled::RolledBack;
        }
        qCCritical(lcUpdater) << "client folder missing and nothing to move back";
        return Settled::Failed;
    }
    if (readMark(folders.clientMark()) == mark) {
        qCInfo(lcUpdater) << "update to" << entry->version << "was in place; finishing it";
        return finish(folders) ? Settled::Finished : Settled::Failed;
    }
    qCInfo(lcUpdater) << "update to" << entry->version << "was cut short before the swap; undoing it";
    QDir(folders.staging).removeRecursively();
    QFile::remove(folders.journal);
    return Settled::RolledBack;
}

Settled settleAtStart(const QString &clientDir)
{
    const UpdateFolders folders(clientDir);
    if (!QFileInfo::exists(folders.work))
        return Settled::Clean;
    QLockFile lock(folders.lock);
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0))
        return Settled::Busy;
    return settle(folders);
}

} // namespace UpdateJournal
