// orvane-service: the reference service that stands in for the cloud-desktop
// service in the demo and in every test.
//
//   orvane-service --port PORT --data DIR
//
// The first line on standard output is the base address ("http://127.0.0.1:PORT/").
// SIGTERM or SIGINT stops it cleanly.

#include "refservice/PushServer.h"
#include "refservice/RequestDeadline.h"
#include "refservice/Service.h"
#include "refservice/Store.h"
#include "refservice/UpdatePackages.h"

#include <httplib.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>

int main(int argc, char **argv)
{
    // Stop signals are taken by sigwait below, also one that comes during
    // the start; no thread made from here on ever sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Pictures are drawn into images with shapes only: no display, no fonts.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvane-service"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reference service for OrvaneDesk"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("port"), QStringLiteral("Port to listen on (0: any free port)."),
                      QStringLiteral("port"), QStringLiteral("0")});
    parser.addOption({QStringLiteral("data"), QStringLiteral("Folder of the service's database."),
                      QStringLiteral("dir")});
    parser.addOption({QStringLiteral("host"), QStringLiteral("Address to listen on (default 127.0.0.1)."),
                      QStringLiteral("host"), QStringLiteral("127.0.0.1")});
    parser.addOption({QStringLiteral("push-port"),
                      QStringLiteral("Port of the push server (0: any free port)."),
                      QStringLiteral("port"), QStringLiteral("0")});
    parser.addOption({QStringLiteral("with-parent"),
                      QStringLiteral("Stop when the process that started the service ends.")});
    parser.addOption({QStringLiteral("client-dir"),
                      QStringLiteral("Client folder update packages are made from (default: the service's own)."),
                      QStringLiteral("dir"), QCoreApplication::applicationDirPath()});
    parser.addOption({QStringLiteral("update-key"),
                      QStringLiteral("PEM file of the Ed25519 private key update packages are signed with."),
                      QStringLiteral("file"), QStringLiteral(ORVANE_UPDATE_DEV_KEY)});
    parser.addOption({QStringLiteral("package-cache"), QStringLiteral("Folder the update packages are kept in."),
                      QStringLiteral("dir"),
                      QDir::tempPath() + QStringLiteral("/orvane-update-packages-%1").arg(::getuid())});
    parser.process(app);

    if (parser.isSet(QStringLiteral("with-parent"))) {
        // A test that crashes must not leave its service running: the
        // kernel sends the (blocked, sigwait-ed) SIGTERM when the parent goes.
        const pid_t parent = getppid();
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            return 0;
    }

    bool portOk = false;
    const int port = parser.value(QStringLiteral("port")).toInt(&portOk);
    const QString dataDir = parser.value(QStringLiteral("data"));
    bool pushPortOk = false;
    const int pushPort = parser.value(QStringLiteral("push-port")).toInt(&pushPortOk);
    if (!portOk || port < 0 || port > 65535 || dataDir.isEmpty() || !pushPortOk || pushPort < 0
        || pushPort > 65535) {
        std::fprintf(stderr, "usage: orvane-service --port PORT --data DIR [--push-port PORT]\n");
        return 2;
    }

    Store store;
    QString error;
    if (!store.open(dataDir, &error)) {
        std::fprintf(stderr, "orvane-service: %s\n", qPrintable(error));
        return 1;
    }

    httplib::Server server;
    // Slow answers (the delay switch) each hold a thread; keep plenty.
    server.new_task_queue = [] { return new httplib::ThreadPool(64); };
    server.set_keep_alive_timeout(2);
    server.set_keep_alive_max_count(1000);
    // Headers and body go out in separate writes; without this every answer
    // waits for the peer's delayed acknowledgement.
    server.set_tcp_nodelay(true);
    server.set_payload_max_length(8 * 1024 * 1024);
    const std::string host = parser.value(QStringLiteral("host")).toStdString();
    // The push server runs beside the HTTP one, on a port of its own that
    // the push lookup names.
    PushServer push(store);
    if (!push.start(QString::fromStdString(host), quint16(pushPort))) {
        std::fprintf(stderr, "orvane-service: cannot listen for push on %s:%d\n", host.c_str(), pushPort);
        return 1;
    }
    Service service(store);
    service.setPushServer(&push);
    UpdatePackages packages(parser.value(QStringLiteral("client-dir")), parser.value(QStringLiteral("update-key")),
                            parser.value(QStringLiteral("package-cache")));
    service.setUpdatePackages(&packages);
    service.install(server);

    const int bound = port == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, port) ? port : -1);
    if (bound <= 0) {
        std::fprintf(stderr, "orvane-service: cannot listen on %s:%d\n", host.c_str(), port);
        return 1;
    }
    const QString base = QStringLiteral("http://%1:%2/").arg(QString::fromStdString(host)).arg(bound);
    service.setBase(base);

    // A request has this long to arrive, counted from the connection's
    // start or the previous answer on it; slow clients are cut off so that
    // they cannot hold every worker thread.
    RequestDeadline deadline(bound, std::chrono::seconds(5));
    service.setRequestArrived([&deadline](const std::string &address, int port) {
        deadline.arrived(address, port);
    });
    server.set_logger([&deadline](const httplib::Request &req, const httplib::Response &) {
        deadline.answered(req.remote_addr, req.remote_port);
    });

    std::atomic<bool> listenerEnded{false};
    std::thread listener([&server, &listenerEnded] {
        server.listen_after_bind();
        listenerEnded = true;
    });
    // stop() does nothing until the server runs; the address goes out only
    // then, so that a stop asked for at once is not lost.
    while (!server.is_running() && !listenerEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (listenerEnded) {
        listener.join();
        std::fprintf(stderr, "orvane-service: cannot serve on %s:%d\n", host.c_str(), bound);
        return 1;
    }

    std::printf("%s\n", qPrintable(base));
    std::fflush(stdout);
    // Nothing else goes to standard output: a reader that stops reading
    // must never block the service.
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0) {
        ::dup2(devNull, STDOUT_FILENO);
        ::close(devNull);
    }

    int sig = 0;
    sigwait(&stopSignals, &sig);
    service.stop();
    server.stop();
    listener.join();
    push.stop();
    return 0;
}
