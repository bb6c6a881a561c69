#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

// A folder on which no file can grow, for tests of saves that cannot be
// completed. Where the test may mount (it runs as root), the folder is a
// small tmpfs of its own that fill() fills to the last byte: a real full
// disk. Elsewhere fill() lowers this process's file-size limit to nothing
// instead (writes then fail with EFBIG, SIGXFSZ ignored), which every user
// may do. Files written before fill() stay readable; release() (or the
// destructor) lifts the condition.
class FullDisk
{
public:
    FullDisk()
        : m_dir(std::make_unique<QTemporaryDir>())
    {
        if (!m_dir->isValid()) {
            m_reason = QStringLiteral("no temporary folder");
            return;
        }
        m_path = m_dir->filePath(QStringLiteral("disk"));
        QDir().mkpath(m_path);
        if (geteuid() == 0
            && QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                  QStringLiteral("size=256k,mode=0755"), QStringLiteral("tmpfs"), m_path})
                == 0) {
            m_mounted = true;
            return;
        }
        struct rlimit limit {};
        if (getrlimit(RLIMIT_FSIZE, &limit) == 0) {
            m_limit = limit;
            m_useLimit = true;
            return;
        }
        m_reason = QStringLiteral("neither a tmpfs can be mounted nor the file-size limit lowered");
    }

    ~FullDisk()
    {
        release();
        if (m_mounted && QProcess::execute(QStringLiteral("umount"), {m_path}) != 0)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_path});
    }

    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    bool isAvailable() const { return m_mounted || m_useLimit; }
    QString reason() const { return m_reason; }
    // The folder to put the files into.
    QString path() const { return m_path; }
    QString kind() const { return m_mounted ? QStringLiteral("tmpfs") : QStringLiteral("RLIMIT_FSIZE"); }

    bool fill()
    {
        if (m_mounted) {
            QFile filler(m_path + QStringLiteral("/.filler"));
            if (!filler.open(QIODevice::WriteOnly | QIODevice::Append))
                return false;
            const QByteArray block(4096, 'f');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
            QByteArray byte(1, 'f');
            while (filler.write(byte) == 1 && filler.flush()) {
            }
            m_filled = true;
            return true;
        }
        if (m_useLimit) {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = m_limit;
            limit.rlim_cur = 0;
            m_filled = setrlimit(RLIMIT_FSIZE, &limit) == 0;
            return m_filled;
        }
        return false;
    }

    void release()
    {
        if (!m_filled)
            return;
        m_filled = false;
        if (m_mounted)
            QFile::remove(m_path + QStringLiteral("/.filler"));
        else
            setrlimit(RLIMIT_FSIZE, &m_limit);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    QString m_reason;
    bool m_mounted = false;
    bool m_useLimit = false;
    bool m_filled = false;
    struct rlimit m_limit {};
};
