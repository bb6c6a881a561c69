#include "bench/desktop/InstallJourney.h"

#include "appcenter/DownloadItem.h"
#include "appcenter/window/QAppCenterWidget.h"
#include "desktop/window/QLumiqDesk.h"
#include "push/bridge/QJsInterface.h"
#include "tests/desktop/DeskFixture.h"
#include "tests/support/RefServiceProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

const QString kAppId = QStringLiteral("a402");
const QString kButton = QStringLiteral("document.querySelector('li.app[data-app=\"a402\"] button.primary')");

// Moments of one journey, in microseconds since the benchmark's start.
struct Marks
{
    qint64 call = -1;       // the store page called install
    qint64 requested = -1;  // the service agreed; the download row exists
    qint64 downloaded = -1; // the installer is complete on disk and started
    qint64 installed = -1;  // the installer has exited
    qint64 detected = -1;   // the watch found the program (registration begins)
    qint64 shown = -1;      // the icon is in the desktop's open grid
};

QElapsedTimer &benchClock()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer;
}

qint64 now()
{
    return benchClock().nsecsElapsed() / 1000;
}

double ms(qint64 from, qint64 to)
{
    return double(to - from) / 1000.0;
}

bool iconShown(const QLumiqDesk &desk)
{
    if (!desk.popupGrid() || !desk.popupGrid()->isVisible())
        return false;
    for (DragButton *b : desk.popupGrid()->buttons()) {
        if (b->appInfo() && b->appInfo()->id == kAppId && b->isVisible())
            return true;
    }
    return false;
}

QVariant runScript(QWebEngineView *view, const QString &script)
{
    // The answer may come after the wait gave up on it.
    auto answer = std::make_shared<QVariant>();
    auto done = std::make_shared<bool>(false);
    view->page()->runJavaScript(script, [answer, done](const QVariant &v) {
        *answer = v;
        *done = true;
    });
    if (!QTest::qWaitFor([done]() { return *done; }, 10000))
        return QVariant();
    return *answer;
}

void removeInstallation(const QString &home)
{
    QDir(home + "/.local/share/orvane-demo/jizhang").removeRecursively();
    QFile::remove(home + "/.local/share/applications/orvane-demo-jizhang.desktop");
    QFile::remove(home + QStringLiteral("/Desktop/记账本.desktop"));
}

bool oneRun(const QString &home, qint64 bytes, Marks *m)
{
    // A fresh service each time: the program is not on the list yet.
    RefServiceProcess service;
    if (!service.isRunning()) {
        std::fprintf(stderr, "bench_desktop: reference service: %s\n", qPrintable(service.errorText()));
        return false;
    }
    if (!service.setInstallerSize(bytes)) {
        std::fprintf(stderr, "bench_desktop: the service refused an installer of %lld bytes\n", bytes);
        return false;
    }
    removeInstallation(home);
    DeskFixture fixture(service);
    if (!fixture.signedIn()) {
        std::fprintf(stderr, "bench_desktop: the demo account did not sign in\n");
        return false;
    }
    CatalogueStore &store = fixture.session.catalogue;

    // Hooks made before the windows, so that the store page's call is seen
    // before the app centre acts on it.
    QObject hooks;
    QObject::connect(QJsInterface::instance(), &QJsInterface::sigInstall, &hooks, [m](const QString &) {
        if (m->call < 0)
            m->call = now();
    });

    QLumiqDesk desk(fixture.session.userInfo, fixture.session.serviceLinks, store);
    desk.show();
    if (!QTest::qWaitForWindowExposed(&desk) || desk.categoryTabs().size() < 4)
        return false;
    // The grid of the program's category is open, where its icon will come.
    emit desk.categoryTabs().at(3)->ELCSignal(1);

    QAppCenterWidget centre(fixture.session);
    centre.show();
    if (!QTest::qWaitForWindowExposed(&centre))
        return false;
    const auto categories = fixture.session.serviceLinks.appCategoryLinks;
    for (QPushButton *b : centre.findChildren<QPushButton *>()) {
        if (categories.size() > 3 && b->text() == categories.at(3).first)
            b->click();
    }
    const QString ready = "location.href.indexOf('cate_id=c4') >= 0 && !!" + kButton;
    if (!QTest::qWaitFor([&]() { return runScript(centre.view(), ready).toBool(); }, 30000)) {
        std::fprintf(stderr, "bench_desktop: the store page never offered the program\n");
        return false;
    }

    QObject::connect(centre.flows(), &AppFlows::downloadRequested, &hooks, [&, m](const DesktopAppInfoPtr &app) {
        m->requested = now();
        // The row is there (the window made it first); its installer is
        // started as the client starts it, but watched for its end.
        for (DownloadItem *row : centre.findChildren<DownloadItem *>()) {
            if (row->job()->app() != app)
                continue;
            row->job()->manager()->setLauncher([&hooks, m](const QString &program) {
                m->downloaded = now();
                auto *installer = new QProcess(&hooks);
                installer->setWorkingDirectory(QFileInfo(program).absolutePath());
                QObject::connect(installer, qOverload<int, QProcess::ExitStatus>(&QProcess::finished),
                                 [m]() { m->installed = now(); });
                installer->start(program, QStringList());
                return installer->waitForStarted(5000);
            });
        }
    });
    QObject::connect(centre.flows(), &AppFlows::pageCall, &hooks,
                     [m](const QString &function, const QStringList &) {
                         if (function == QLatin1String("app_install_done") && m->detected < 0)
                             m->detected = now();
                     });
    // After the desktop's own handling of the change, which rebuilds the grid.
    QObject::connect(&store, &CatalogueStore::changed, &hooks, [&desk, m]() {
        if (m->shown < 0 && iconShown(desk))
            m->shown = now();
    });

    runScript(centre.view(), kButton + ".click()");
    const bool shown = QTest::qWaitFor([&]() {
        if (m->shown < 0 && iconShown(desk))
            m->shown = now();
        return m->shown >= 0;
    }, 120000);
    // The installer may still be finishing when the watch has found it.
    const bool ended = QTest::qWaitFor([m]() { return m->installed >= 0; }, 30000);
    if (!shown || !ended || m->call < 0 || m->downloaded < 0 || m->installed < 0 || m->detected < 0) {
        std::fprintf(stderr,
                     "bench_desktop: the journey did not complete (call %lld, downloaded %lld, installed %lld, "
                     "found %lld, shown %lld)\n",
                     m->call, m->downloaded, m->installed, m->detected, m->shown);
        return false;
    }
    const QFileInfo installerFile(fixture.appDir() + "/downloadApp/a402/jizhang-setup.sh");
    if (installerFile.size() != bytes) {
        std::fprintf(stderr, "bench_desktop: the installer downloaded has %lld bytes, not %lld\n",
                     installerFile.size(), bytes);
        return false;
    }
    return true;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0.0 : values.at(values.size() / 2);
}

} // namespace

int runInstallJourney(int runs, qint64 bytes)
{
    benchClock();
    // The installer installs for "the user": one of the benchmark's own.
    QTemporaryDir home;
    QDir().mkpath(home.filePath("Desktop"));
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(".config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(".local/share").toUtf8());
    // A message box would wait for a person.
    qputenv("ORVANE_AUTO_ANSWER", "confirm");
    QLumiqDesk::setScreenAreaOverride(QSize(1920, 1040));

    QList<double> download, ask, install, detection, both, registration, total;
    for (int run = 0; run < runs; ++run) {
        Marks m;
        if (!oneRun(home.path(), bytes, &m))
            return 1;
        download << ms(m.call, m.downloaded);
        ask << ms(m.call, m.requested);
        install << ms(m.downloaded, m.installed);
        detection << ms(m.installed, m.detected);
        both << ms(m.downloaded, m.detected);
        registration << ms(m.detected, m.shown);
        total << ms(m.call, m.shown);
        std::printf("install journey run %d: download %.1f ms (service before it %.1f ms), install %.1f ms, "
                    "detection %.1f ms (install and detection %.1f ms), registration %.1f ms; "
                    "install call to icon %.1f ms\n",
                    run + 1, download.last(), ask.last(), install.last(), detection.last(), both.last(),
                    registration.last(), total.last());
        std::fflush(stdout);
    }
    std::printf("install journey, %.1f MiB installer, median of %d runs: download %.1f ms (service before it "
                "%.1f ms), install %.1f ms, detection %.1f ms (install and detection %.1f ms), registration "
                "%.1f ms; store page's install call to the icon on the desktop %.1f ms\n",
                double(bytes) / 1048576.0, runs, median(download), median(ask), median(install), median(detection),
                median(both), median(registration), median(total));
    std::printf("(detection counts from the installer's exit: negative when the watch found the program "
                "before the installer had ended)\n");
    return 0;
}
