// Service calls in a row against the reference service on loopback: prints
// calls per second and the mean latency for a few kinds of operation, so
// that changes to the transport can be compared.
//
//   bench_service [calls]   (default 500; needs ORVANE_BIN_DIR or the build layout)

#include "core/AppPaths.h"
#include "service/SrvInterface.h"
#include "tests/support/RefServiceProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

void measure(const char *label, int calls, const std::function<bool()> &call)
{
    QElapsedTimer clock;
    int failed = 0;
    clock.start();
    for (int i = 0; i < calls; ++i) {
        if (!call())
            ++failed;
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    std::printf("%-34s %6d calls  %8.1f calls/s  mean %7.3f ms  failed %d\n", label, calls,
                calls / seconds, 1000.0 * seconds / calls, failed);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int calls = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 500;

    if (qEnvironmentVariableIsEmpty("ORVANE_BIN_DIR"))
        qputenv("ORVANE_BIN_DIR", (QCoreApplication::applicationDirPath() + "/../bin").toLocal8Bit());
    RefServiceProcess service;
    if (!service.isRunning()) {
        std::fprintf(stderr, "bench_service: %s\n", qPrintable(service.errorText()));
        return 1;
    }
    QTemporaryDir appDir;
    AppPaths::setAppDirPathOverride(appDir.path());
    AppPaths::setServerAddress(service.baseUrl());
    const auto creds = service.demoCredentials();

    std::printf("bench_service: %d calls per kind against %s\n", calls, qPrintable(service.baseUrl()));
    QString answer;
    {
        SrvInterface srv;
        measure("update check (GET, small answer)", calls,
                [&] { return srv.getNewNSVSoftwareToAll(SrvInterface::kUpdateRegionId, &answer); });
        measure("sign-in (POST)", calls, [&] { return srv.login(QStringLiteral("demo"), QStringLiteral("demo1234"), &answer); });
        measure("application list (GET, ~8 KB)", calls,
                [&] { return srv.getCloudDesktopAppFullInfo(creds.first, creds.second, &answer); });
    }
    // As callers use it: a fresh instance per exchange.
    measure("fresh SrvInterface per call", calls, [&] {
        SrvInterface srv;
        return srv.IsInstallAppInCloudDesktop(creds.first, creds.second, QStringLiteral("a101"), &answer);
    });
    return 0;
}
