// Cost of one installed-software query over many desktop entries plus this
// machine's package database, beside a bare walk of the same folders (what
// any look that has to list them costs at least), the cost of a query
// right after one entry changed, and what a watcher polling at the default
// pace costs in CPU.

#include "sysinfo/FindRegedit.h"
#include "platform/Platform.h"
#include "sysinfo/QGetInfomation.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double cpuMs()
{
    return 1000.0 * double(std::clock()) / CLOCKS_PER_SEC;
}

bool writeEntries(const QString &folder, int count)
{
    if (!QDir().mkpath(folder))
        return false;
    for (int i = 0; i < count; ++i) {
        QFile file(QStringLiteral("%1/app-%2.desktop").arg(folder).arg(i, 5, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        QTextStream out(&file);
        out << "[Desktop Entry]\nType=Application\n"
            << "Name=Application " << i << "\n"
            << "Name[de]=Anwendung " << i << "\n"
            << "Comment=Benchmark entry number " << i << "\n"
            << "Path=/opt/apps/app" << i << "/\n"
            << "Exec=\"/opt/apps/app" << i << "/bin/app\" --open %F\n"
            << "Icon=app" << i << "\n"
            << "Categories=Office;Utility;\n"
            << "X-Orvane-Version=1." << i << "\n"
            << "X-Orvane-Uninstall=/opt/apps/app" << i << "/uninstall.sh\n"
            << "\n[Desktop Action new]\nName=New window\nExec=/opt/apps/app" << i << "/bin/app --new\n";
    }
    return true;
}

// The folders' entries listed, nothing read: the floor of a look that walks.
int walkFolders()
{
    int files = 0;
    const QStringList folders = Platform::applicationFolders();
    for (const QString &folder : folders) {
        QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (it.hasNext()) {
            it.next();
            ++files;
        }
    }
    return files;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int entries = args.size() > 1 ? args.at(1).toInt() : 5000;
    const int queries = args.size() > 2 ? args.at(2).toInt() : 20;

    QTemporaryDir root;
    if (!root.isValid() || !writeEntries(root.filePath("data/applications"), entries)) {
        std::fprintf(stderr, "cannot write the fixture entries\n");
        return 1;
    }
    qputenv("XDG_DATA_HOME", root.filePath("home").toUtf8());
    qputenv("XDG_DATA_DIRS", root.filePath("data").toUtf8());
    qunsetenv("ORVANE_DPKG_STATUS"); // this machine's own database

    QGetInfomation info;
    std::vector<InstalledSoftwareInfo> software;
    info.installedSoftware(&software); // warm the file cache
    int packages = 0;
    for (const InstalledSoftwareInfo &s : software)
        packages += s.origin == QLatin1String("dpkg") ? 1 : 0;

    QElapsedTimer wall;
    const double cpuStart = cpuMs();
    wall.start();
    for (int i = 0; i < queries; ++i) {
        software.clear();
        info.installedSoftware(&software);
    }
    const double wallPerQuery = double(wall.nsecsElapsed()) / 1e6 / queries;
    const double cpuPerQuery = (cpuMs() - cpuStart) / queries;
    std::printf("installed-software query: %d desktop entries + %d packages = %zu entries\n",
                int(software.size()) - packages, packages, software.size());
    std::printf("  %.2f ms per query (wall), %.2f ms CPU per query, %d queries\n", wallPerQuery, cpuPerQuery,
                queries);

    int walked = 0;
    wall.restart();
    for (int i = 0; i < queries; ++i)
        walked = walkFolders();
    const double walkPerQuery = double(wall.nsecsElapsed()) / 1e6 / queries;
    std::printf("bare walk of the same folders (the floor of a look that lists them): %d files\n", walked);
    std::printf("  %.2f ms per walk; query / walk = %.3f\n", walkPerQuery, wallPerQuery / walkPerQuery);

    // One entry rewritten before each query: the walk plus one file read.
    const QString changed = root.filePath("data/applications/app-00000.desktop");
    double changedMs = 0;
    for (int i = 0; i < queries; ++i) {
        QFile file(changed);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
            return 1;
        file.write("# touched\n");
        file.close();
        wall.restart();
        software.clear();
        info.installedSoftware(&software);
        changedMs += double(wall.nsecsElapsed()) / 1e6;
    }
    std::printf("  %.2f ms per query after one entry changed\n", changedMs / queries);

    // A watcher that never finds its target, with the pause scaled down; the
    // main thread only waits, so the process CPU time is the watcher's.
    const int passes = 10;
    const auto scaledPause = std::chrono::milliseconds(50);
    auto record = DesktopAppInfoPtr::create();
    record->name = QStringLiteral("No Such Application");
    FindRegedit watcher(nullptr, record, FindRegedit::WaitForInstallation, passes, scaledPause);
    const double watchCpuStart = cpuMs();
    wall.restart();
    watcher.start();
    watcher.wait();
    const double watchWall = double(wall.elapsed());
    const double cpuPerPass = (cpuMs() - watchCpuStart) / passes;
    const double defaultPauseMs = double(FindRegedit::DefaultPause.count());
    std::printf("watcher: %d passes with %lld ms pauses took %.0f ms, %.2f ms CPU per pass\n", passes,
                static_cast<long long>(scaledPause.count()), watchWall, cpuPerPass);
    std::printf("  CPU share at the default pace (%d passes, %.0f ms pause): %.3f %% of one core\n",
                FindRegedit::DefaultPasses, defaultPauseMs, 100.0 * cpuPerPass / (defaultPauseMs + wallPerQuery));
    return 0;
}
