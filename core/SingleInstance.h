#pragma once

#include <QScopedPointer>
#include <QString>

class QLockFile;

// Makes sure only one client runs per user. The marker is a lock file whose
// holder is known by process id: when the holder dies, even by SIGKILL, the
// next start finds the lock stale and takes it over, so a crash never locks
// the user out until reboot.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &key, const QString &directory = QString());
    ~SingleInstance();

    // True when this process now holds the marker; false when another
    // live process holds it.
    bool tryAcquire();
    void release();

    QString lockFilePath() const;

private:
    QString m_path;
    QScopedPointer<QLockFile> m_lock;
};
