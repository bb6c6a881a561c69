// Sign-in plus a catalogue of N applications whose pictures the reference
// service answers each after a delay: wall time with the icons fetched a
// few at a time per host, then one at a time, and their ratio.
//
// Run on demand: build-dir/bench/bench_login [apps=200] [picture delay ms=20]

#include "core/AppPaths.h"
#include "login/core/CatalogueFetch.h"
#include "login/core/LoginAttempt.h"
#include "service/IconFetch.h"
#include "service/SrvInterface.h"
#include "tests/support/RefServiceProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// One full sign-in into a fresh client folder; returns milliseconds, or -1.
qint64 signIn(bool concurrent, int *apps)
{
    QTemporaryDir folder;
    AppPaths::setAppDirPathOverride(folder.path());
    DesktopAppCatalogue catalogue;
    LoginUserInfo user;
    LoginServiceLinks links;

    LoginAttempt::Hooks hooks;
    hooks.message = [](const QString &text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); };
    hooks.showDialog = []() {};
    hooks.requestLogin = [](const QString &account, const QString &password, QString *answer) {
        return SrvInterface().login(account, password, answer);
    };
    hooks.loadCatalogueFile = []() { return false; };
    hooks.fetchCatalogue = [&](const QString &token, const QString &uid) {
        CatalogueFetch::Hooks fetch;
        fetch.requestApps = [](const QString &u, const QString &t, QString *answer) {
            return SrvInterface().getCloudDesktopAppFullInfo(u, t, answer);
        };
        fetch.message = hooks.message;
        fetch.fetchIcons = [&](const QStringList &addresses) {
            return concurrent ? IconFetch::concurrent(addresses, folder.path())
                              : IconFetch::sequential(addresses, folder.path());
        };
        return CatalogueFetch::run(fetch, token, uid, folder.filePath("DesktopApp.xml"), &catalogue);
    };

    QElapsedTimer timer;
    timer.start();
    const bool ok = LoginAttempt(hooks, folder.filePath("Config.ini"))
                        .run(QStringLiteral("demo"), QStringLiteral("demo1234"), true, &user, &links);
    const qint64 ms = timer.elapsed();
    *apps = 0;
    for (const auto &entry : catalogue)
        *apps += entry.second.size();
    AppPaths::setAppDirPathOverride(QString());
    return ok ? ms : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("orvane.*.debug=false"));
    const int apps = argc > 1 ? QByteArray(argv[1]).toInt() : 200;
    const int delay = argc > 2 ? QByteArray(argv[2]).toInt() : 20;

    RefServiceProcess service;
    if (!service.isRunning()) {
        std::fprintf(stderr, "reference service: %s\n", qPrintable(service.errorText()));
        return 1;
    }
    if (!service.setCatalogueSize(apps) || !service.setImageDelay(delay)) {
        std::fprintf(stderr, "reference service refused the switches\n");
        return 1;
    }
    AppPaths::setServerAddress(service.baseUrl());

    int gotConcurrent = 0, gotSequential = 0;
    const qint64 concurrent = signIn(true, &gotConcurrent);
    const qint64 sequential = signIn(false, &gotSequential);
    if (concurrent < 0 || sequential < 0) {
        std::fprintf(stderr, "sign-in failed\n");
        return 1;
    }
    std::printf("sign-in with %d applications, pictures answered after %d ms each\n", apps, delay);
    std::printf("  concurrent (%d per host): %6lld ms  (%d applications)\n", IconFetch::kPerHost,
                static_cast<long long>(concurrent), gotConcurrent);
    std::printf("  one at a time:           %6lld ms  (%d applications)\n",
                static_cast<long long>(sequential), gotSequential);
    std::printf("  ratio one-at-a-time / concurrent: %.2f\n",
                concurrent > 0 ? double(sequential) / double(concurrent) : 0.0);
    return 0;
}
