// /usr/bin/orvanedesk: runs the client from the user's own copy of the
// installed client folder, making or refreshing that copy first and
// presetting the administrator's service address.

#include "app/launcher/LauncherLog.h"
#include "app/launcher/UserFolder.h"
#include "core/Settings.h"
#include "core/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const QString kExecutable = QStringLiteral("OrvaneDesk");

QString userDir()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("OrvaneDesk"));
}

QString adminConfig()
{
    const QString path = qEnvironmentVariable("ORVANE_ADMIN_CONFIG");
    return path.isEmpty() ? QStringLiteral("/etc/orvanedesk/Config.ini") : path;
}

const char *planName(UserFolder::Plan plan)
{
    switch (plan) {
    case UserFolder::Plan::Create: return "created";
    case UserFolder::Plan::Refresh: return "refreshed";
    case UserFolder::Plan::Keep: return "kept";
    }
    return "?";
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The client folder lies where the package puts it, seen from here; a
    // package unpacked elsewhere (dpkg -x) works the same.
    const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath()
                                              + QStringLiteral("/" ORVANE_LAUNCHER_TO_CLIENT));
    const QString mine = userDir();
    bool othersRunning = false;
    {
        // The client's own guard (same key as the client's): while a client
        // runs, its folder is not swapped under it; while we refresh, a
        // client started elsewhere is refused.
        SingleInstance instance(QStringLiteral("OrvaneDesk"));
        if (instance.tryAcquire()) {
            const UserFolder::Result result = UserFolder::prepare(installed, mine, kExecutable);
            if (result.ok)
                qCDebug(lcLauncher) << "user folder" << mine << planName(result.plan);
            else
                qCWarning(lcLauncher) << "user folder" << mine << "not" << planName(result.plan)
                                      << "from" << installed << ":" << result.error;
            if (QFileInfo(mine).isDir()) {
                const auto seed = Settings::seedServerGroup(
                    adminConfig(), QDir(mine).filePath(QStringLiteral("Config.ini")));
                if (seed == Settings::ServerSeed::Seeded)
                    qCDebug(lcLauncher) << "service preset from" << adminConfig();
            }
        } else {
            othersRunning = true;
            qCDebug(lcLauncher) << "the client runs already; its folder is left alone";
        }
    }

    QString program = QDir(mine).filePath(kExecutable);
    if (!QFileInfo(program).isExecutable()) {
        if (!othersRunning) {
            std::fprintf(stderr, "orvanedesk: no client in %s\n", qPrintable(mine));
            return 1;
        }
        // Only to tell the user that the client runs already.
        program = QDir(installed).filePath(kExecutable);
    }

    const QByteArray path = QFile::encodeName(program);
    std::vector<char *> args;
    args.push_back(const_cast<char *>(path.constData()));
    for (int i = 1; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    std::fflush(stderr);
    ::execv(path.constData(), args.data());
    std::fprintf(stderr, "orvanedesk: cannot start %s: %s\n", path.constData(), std::strerror(errno));
    return 1;
}
