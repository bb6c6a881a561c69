#include "updater/core/UpdateFolders.h"

#include <QDir>
#include <QFileInfo>

UpdateFolders::UpdateFolders(const QString &clientDir)
{
    // A folder reached through a link is updated where it really lies;
    // swapping the link itself would strand the folder behind it.
    const QString given = QDir::cleanPath(QDir(clientDir).absolutePath());
    const QString real = QFileInfo(given).canonicalFilePath();
    const QFileInfo info(real.isEmpty() ? given : real);
    const QString parent = info.absolutePath();
    const QString name = info.fileName();
    client = info.absoluteFilePath();
    work = parent + QStringLiteral("/.") + name + QStringLiteral("-update");
    staging = work + QStringLiteral("/staging");
    journal = work + QStringLiteral("/journal.json");
    lock = parent + QStringLiteral("/.") + name + QStringLiteral("-update.lock");
}

QString UpdateFolders::markName()
{
    return QStringLiteral(".update-mark");
}

QString UpdateFolders::stagingMark() const
{
    return staging + QLatin1Char('/') + markName();
}

QString UpdateFolders::clientMark() const
{
    return client + QLatin1Char('/') + markName();
}
