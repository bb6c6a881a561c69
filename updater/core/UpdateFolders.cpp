#include "updater/core/UpdateFolders.h"

#include <QDir>
#include <QFileInfo>

UpdateFolders::UpdateFolders(const QString &clientDir)
{
    const QFileInfo info(QDir::cleanPath(QDir(clientDir).absolutePath()));
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
