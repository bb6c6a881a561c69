// Push latency: from the admin path's send to the pop-up being shown, over
// the whole road a message takes (reference service, push server, the push
// page "cil.html" in a web engine, the web channel, QAcceptMsgWidget).
// Prints the median and the maximum.
//
//   bench_pushlatency [pushes]   (default 50; under a display: xvfb-run, and
//                                 QTWEBENGINE_DISABLE_SANDBOX=1 as root)

#include "core/AppPaths.h"
#include "push/QAcceptMsgWidget.h"
#include "push/core/PushConnection.h"
#include "tests/support/RefServiceProcess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Stands in for the desktop window's share: each message makes a pop-up in
// the corner, as the desktop does.
class Bridge : public QObject
{
    Q_OBJECT
public:
    QWebEnginePage *page = nullptr;
    QString identifyScript;
    bool connected = false;
    QElapsedTimer clock;
    qint64 shownAt = -1;
    std::vector<std::unique_ptr<QAcceptMsgWidget>> popups;

public slots:
    void connectPushServer(const QString &)
    {
        connected = true;
        page->runJavaScript(identifyScript);
    }
    void disconnectPushServer(const QString &) {}
    void connectFailed(const QString &) {}
    void NSVPush(const QString &strJson)
    {
        auto popup = std::make_unique<QAcceptMsgWidget>(strJson);
        popup->moveToCorner();
        popup->show();
        shownAt = clock.nsecsElapsed();
        popups.push_back(std::move(popup));
        emit shown();
    }

signals:
    void shown();
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const int pushes = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 50;

    RefServiceProcess service;
    if (!service.isRunning()) {
        std::fprintf(stderr, "bench_pushlatency: %s\n", qPrintable(service.errorText()));
        return 1;
    }
    QTemporaryDir appDir;
    AppPaths::setAppDirPathOverride(appDir.path());
    const auto credentials = service.demoCredentials();
    const qint64 t = QDateTime::currentSecsSinceEpoch();
    const PushConnection::ServerAddress server = PushConnection::parseLookup(
        true, QString::fromUtf8(service.get(
                  QStringLiteral("NSVPushSvrService/getPushSvrIPAddressByTime33Hash/json?t_=%1&p_=%2&i_=&d_=linux"
                                 "&dv_=&v_=V&uid=%3&token=%4")
                      .arg(t)
                      .arg(3 * (t % 10000) + 2345)
                      .arg(credentials.first, credentials.second))));

    Bridge bridge;
    QWebChannel channel;
    channel.registerObject(QStringLiteral("QJsInterface"), &bridge);
    QWebEnginePage page;
    page.setWebChannel(&channel);
    bridge.page = &page;
    bridge.identifyScript = PushConnection::identifyScript(credentials.first);
    QString bin = qEnvironmentVariable("ORVANE_BIN_DIR");
    if (bin.isEmpty())
        bin = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
    QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
    page.load(QUrl::fromLocalFile(QDir(bin).filePath(QStringLiteral("cil.html"))));
    if (!loaded.wait(30000)) {
        std::fprintf(stderr, "bench_pushlatency: cil.html did not load\n");
        return 1;
    }
    page.runJavaScript(PushConnection::connectScript(server));
    if (!QTest::qWaitFor([&] { return service.pushIdentifiedUsers().contains(credentials.first); }, 20000)) {
        std::fprintf(stderr, "bench_pushlatency: the page never identified\n");
        return 1;
    }

    std::vector<double> ms;
    bridge.clock.start();
    for (int i = 0; i < pushes; ++i) {
        bridge.shownAt = -1;
        const qint64 sent = bridge.clock.nsecsElapsed();
        // Alternating kinds; offers carry no picture address, so the figure
        // is the road of the message, not a picture download.
        const QString id = i % 2 ? service.pushOffer(credentials.first, {{QStringLiteral("name"), QStringLiteral("应用")}})
                                 : service.pushNotice(credentials.first, QStringLiteral("通知"), QStringLiteral("内容"));
        if (!id.isEmpty() && bridge.shownAt < 0) {
            // An event loop, not polling: the wait adds nothing to the figure.
            QEventLoop loop;
            QObject::connect(&bridge, &Bridge::shown, &loop, &QEventLoop::quit);
            QTimer::singleShot(10000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        if (id.isEmpty() || bridge.shownAt < 0) {
            std::fprintf(stderr, "bench_pushlatency: push %d never popped up\n", i);
            return 1;
        }
        ms.push_back(double(bridge.shownAt - sent) / 1e6);
        bridge.popups.clear();
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
    std::printf("push to pop-up shown  %d pushes  median %.2f ms  max %.2f ms  min %.2f ms\n", pushes, median,
                ms.back(), ms.front());
    AppPaths::setAppDirPathOverride(QString());
    return 0;
}

#include "bench_pushlatency.moc"
