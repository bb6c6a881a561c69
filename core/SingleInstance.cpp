#include "core/SingleInstance.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace {

QString markerDirectory(const QString &directory)
{
    if (!directory.isEmpty())
        return directory;
    // Per user, like a named segment in the user's session.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}

} // namespace

SingleInstance::SingleInstance(const QString &key, const QString &directory)
    : m_path(QDir(markerDirectory(directory)).filePath(key + QStringLiteral(".lock")))
{
}

SingleInstance::~SingleInstance()
{
    release();
}

bool SingleInstance::tryAcquire()
{
    if (m_lock && m_lock->isLocked())
        return true;
    m_lock.reset(new QLockFile(m_path));
    // Never treat a live holder as stale by age; only a dead holder frees it.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}

void SingleInstance::release()
{
    if (m_lock)
        m_lock->unlock();
    m_lock.reset();
}

QString SingleInstance::lockFilePath() const
{
    return m_path;
}
