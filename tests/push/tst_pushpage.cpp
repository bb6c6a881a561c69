// The push page "cil.html" in a real web engine against the reference
// service's push server. A small bridge object stands in for the client's
// own, published under the same name with the same slots, and does what
// the desktop window does: it tells the page who the user is as soon as
// the connection is up.

#include "push/core/PushConnection.h"
#include "tests/support/RefServiceProcess.h"

#include <QApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QtTest>

#include <memory>

namespace {

class TestBridge : public QObject
{
    Q_OBJECT
public:
    struct Report
    {
        QString name;
        QString text;
    };

    QPointer<QWebEnginePage> page;
    QString identifyScript; // run on connectPushServer, as the desktop does
    QList<Report> reports;

    int count(const QString &name) const
    {
        int n = 0;
        for (const Report &r : reports)
            n += r.name == name;
        return n;
    }

    QList<QJsonObject> messages() const
    {
        QList<QJsonObject> out;
        for (const Report &r : reports) {
            if (r.name == QLatin1String("NSVPush"))
                out.append(QJsonDocument::fromJson(r.text.toUtf8()).object());
        }
        return out;
    }

    QStringList messageIds() const
    {
        QStringList ids;
        for (const QJsonObject &m : messages())
            ids.append(m.value(QLatin1String("uuid")).toString());
        return ids;
    }

public slots:
    void connectPushServer(const QString &strJson)
    {
        reports.append({QStringLiteral("connectPushServer"), strJson});
        if (page && !identifyScript.isEmpty())
            page->runJavaScript(identifyScript);
    }
    void disconnectPushServer(const QString &strJson) { reports.append({QStringLiteral("disconnectPushServer"), strJson}); }
    void connectFailed(const QString &strJson) { reports.append({QStringLiteral("connectFailed"), strJson}); }
    void NSVPush(const QString &strJson) { reports.append({QStringLiteral("NSVPush"), strJson}); }
};

} // namespace

class PushPageTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void connectsIdentifiesAndReceives();
    void reconnectsAfterDropWithReplay();
    void serverRestartedMidRun();
    void duplicatesGiveOneMessage();
    void unansweredPingIsADrop();
    void emptyLookupFailsOnce();
    void unreachableServerIsRetried();
    void backoff_data();
    void backoff();

private:
    // Loads a fresh page with its channel; shortens the timing when asked.
    void loadPage();
    QVariant run(const QString &script);
    void connectToLookup();

    std::unique_ptr<RefServiceProcess> m_service;
    QString m_uid, m_token;
    PushConnection::ServerAddress m_server;
    std::unique_ptr<QWebEnginePage> m_page;
    std::unique_ptr<QWebChannel> m_channel;
    std::unique_ptr<TestBridge> m_bridge;
};

void PushPageTest::initTestCase()
{
    QVERIFY2(QFile::exists(QDir(qEnvironmentVariable("ORVANE_BIN_DIR")).filePath(QStringLiteral("cil.html"))),
             "cil.html is not in the client folder");
    m_service = std::make_unique<RefServiceProcess>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    const auto credentials = m_service->demoCredentials();
    m_uid = credentials.first;
    m_token = credentials.second;
    const qint64 t = QDateTime::currentSecsSinceEpoch();
    m_server = PushConnection::parseLookup(
        true, QString::fromUtf8(m_service->get(
                  QStringLiteral("NSVPushSvrService/getPushSvrIPAddressByTime33Hash/json?t_=%1&p_=%2&i_=&d_=linux"
                                 "&dv_=&v_=V&uid=%3&token=%4")
                      .arg(t)
                      .arg(3 * (t % 10000) + 2345)
                      .arg(m_uid, m_token))));
    QVERIFY(!m_server.port.isEmpty());
}

void PushPageTest::init()
{
    QVERIFY(m_service->reset());
    loadPage();
}

void PushPageTest::cleanup()
{
    m_page.reset();
    m_channel.reset();
    m_bridge.reset();
    // The server sees the page's connection go before the next test.
    QTRY_VERIFY(m_service->pushIdentifiedUsers().isEmpty());
}

void PushPageTest::loadPage()
{
    m_bridge = std::make_unique<TestBridge>();
    m_channel = std::make_unique<QWebChannel>();
    m_channel->registerObject(QStringLiteral("QJsInterface"), m_bridge.get());
    m_page = std::make_unique<QWebEnginePage>();
    m_page->setWebChannel(m_channel.get());
    m_bridge->page = m_page.get();
    m_bridge->identifyScript = PushConnection::identifyScript(m_uid);
    QSignalSpy loaded(m_page.get(), &QWebEnginePage::loadFinished);
    m_page->load(QUrl::fromLocalFile(QDir(qEnvironmentVariable("ORVANE_BIN_DIR")).filePath(QStringLiteral("cil.html"))));
    QVERIFY(loaded.wait(20000));
    QCOMPARE(loaded.first().first().toBool(), true);
    QTRY_VERIFY(run(QStringLiteral("pushStatus().bridge")).toBool());
}

QVariant PushPageTest::run(const QString &script)
{
    QVariant result;
    bool done = false;
    m_page->runJavaScript(script, [&](const QVariant &v) {
        result = v;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000))
        qWarning() << "script did not finish:" << script;
    return result;
}

void PushPageTest::connectToLookup()
{
    run(PushConnection::connectScript(m_server));
}

void PushPageTest::connectsIdentifiesAndReceives()
{
    connectToLookup();
    QTRY_COMPARE(m_bridge->count(QStringLiteral("connectPushServer")), 1);
    QTRY_COMPARE(m_service->pushIdentifiedUsers(), QStringList{m_uid});

    const QString title = QStringLiteral("通知 \"引号\" 'single' \\ </script>");
    const QString content = QStringLiteral("第一行\n第二行");
    const QString notice = m_service->pushNotice(m_uid, title, content);
    const QString offer = m_service->pushOffer(m_uid, {{QStringLiteral("app_id"), QStringLiteral("a303")},
                                                       {QStringLiteral("price"), QStringLiteral("9.9")}});
    QTRY_COMPARE(m_bridge->messageIds(), (QStringList{notice, offer}));
    const QJsonObject first = m_bridge->messages().at(0);
    QCOMPARE(first.value(QLatin1String("alias")).toString(), QStringLiteral("lumiqPushNotice"));
    QCOMPARE(first.value(QLatin1String("data")).toObject().value(QLatin1String("title")).toString(), title);
    QCOMPARE(first.value(QLatin1String("data")).toObject().value(QLatin1String("content")).toString(), content);
    const QJsonObject second = m_bridge->messages().at(1);
    QCOMPARE(second.value(QLatin1String("alias")).toString(), QStringLiteral("lumiqPushApp"));
    QCOMPARE(second.value(QLatin1String("data")).toObject().value(QLatin1String("price")).toString(),
             QStringLiteral("9.9"));
    QCOMPARE(m_bridge->count(QStringLiteral("connectFailed")), 0);
    QCOMPARE(m_bridge->count(QStringLiteral("disconnectPushServer")), 0);
}

void PushPageTest::reconnectsAfterDropWithReplay()
{
    connectToLookup();
    QTRY_COMPARE(m_service->pushIdentifiedUsers(), QStringList{m_uid});
    const QString a = m_service->pushNotice(m_uid, QStringLiteral("A"), QString());
    QTRY_COMPARE(m_bridge->messageIds(), QStringList{a});

    QVERIFY(m_service->dropPushConnections());
    QTRY_COMPARE(m_bridge->count(QStringLiteral("disconnectPushServer")), 1);
    // Sent before the page is back (its first retry waits about a second).
    const QString b = m_service->pushNotice(m_uid, QStringLiteral("B"), QString());
    QTRY_COMPARE_WITH_TIMEOUT(m_bridge->count(QStringLiteral("connectPushServer")), 2, 10000);
    QTRY_COMPARE(m_bridge->messageIds(), (QStringList{a, b}));
    QTest::qWait(300);
    QCOMPARE(m_bridge->messageIds(), (QStringList{a, b}));
}

void PushPageTest::serverRestartedMidRun()
{
    // Short waits, so that the retries while the server is down are seen.
    run(QStringLiteral("PushConfig.firstDelayMs = 100; PushConfig.maxDelayMs = 400;"));
    connectToLookup();
    QTRY_COMPARE(m_service->pushIdentifiedUsers(), QStringList{m_uid});

    QVERIFY(m_service->setPushServerRunning(false));
    QTRY_COMPARE(m_bridge->count(QStringLiteral("disconnectPushServer")), 1);
    const QString whileDown = m_service->pushNotice(m_uid, QStringLiteral("while down"), QString());
    QTRY_VERIFY(m_bridge->count(QStringLiteral("connectFailed")) >= 2);
    QVERIFY(m_bridge->messageIds().isEmpty());

    QVERIFY(m_service->setPushServerRunning(true));
    QTRY_COMPARE(m_bridge->count(QStringLiteral("connectPushServer")), 2);
    QTRY_COMPARE(m_bridge->messageIds(), QStringList{whileDown});
    QTest::qWait(300);
    QCOMPARE(m_bridge->messageIds(), QStringList{whileDown});
    QCOMPARE(m_bridge->count(QStringLiteral("disconnectPushServer")), 1);
}

void PushPageTest::duplicatesGiveOneMessage()
{
    connectToLookup();
    QTRY_COMPARE(m_service->pushIdentifiedUsers(), QStringList{m_uid});
    const QString a = m_service->pushNotice(m_uid, QStringLiteral("A"), QString(), QStringLiteral("same-id"));
    QCOMPARE(m_service->pushNotice(m_uid, QStringLiteral("A again"), QString(), QStringLiteral("same-id")), a);
    const QString b = m_service->pushNotice(m_uid, QStringLiteral("B"), QString());
    QTRY_COMPARE(m_bridge->messageIds(), (QStringList{a, b}));
    QCOMPARE(run(QStringLiteral("pushStatus().dropped")).toInt(), 1);

    // Identifying again from an id the server does not know replays the
    // whole backlog (earlier tests' messages too); the page lets none of
    // what it already had through a second time.
    run(QStringLiteral("Push.lastId = 'unknown-id'; Push.identifySent = false; setUserLoginUUID(Push.identity);"));
    QTRY_VERIFY(run(QStringLiteral("pushStatus().dropped")).toInt() >= 4);
    QTest::qWait(300);
    QCOMPARE(m_bridge->messageIds().count(a), 1);
    QCOMPARE(m_bridge->messageIds().count(b), 1);
    QCOMPARE(m_bridge->messageIds().mid(0, 2), (QStringList{a, b}));
}

void PushPageTest::unansweredPingIsADrop()
{
    run(QStringLiteral("PushConfig.pingIntervalMs = 300; PushConfig.firstDelayMs = 100;"));
    connectToLookup();
    QTRY_COMPARE(m_service->pushIdentifiedUsers(), QStringList{m_uid});
    // Answered pings keep the connection.
    QTest::qWait(1000);
    QCOMPARE(m_bridge->count(QStringLiteral("disconnectPushServer")), 0);

    QVERIFY(m_service->setPushMuted(true));
    QTRY_COMPARE(m_bridge->count(QStringLiteral("disconnectPushServer")), 1);
    QVERIFY(m_service->setPushMuted(false));
    QTRY_COMPARE(m_bridge->count(QStringLiteral("connectPushServer")), 2);
    const QString a = m_service->pushNotice(m_uid, QStringLiteral("after"), QString());
    QTRY_COMPARE(m_bridge->messageIds(), QStringList{a});
}

void PushPageTest::emptyLookupFailsOnce()
{
    run(PushConnection::connectScript({}));
    QTRY_COMPARE(m_bridge->count(QStringLiteral("connectFailed")), 1);
    // Nothing to retry without an address.
    QTest::qWait(1500);
    QCOMPARE(m_bridge->reports.size(), 1);
    // A hostile address never becomes script or a socket address.
    run(PushConnection::connectScript({QStringLiteral("');alert(1);//"), QStringLiteral("1'")}));
    QTRY_COMPARE(m_bridge->count(QStringLiteral("connectFailed")), 2);
}

void PushPageTest::unreachableServerIsRetried()
{
    // A port nobody listens on: the push server's, while it is stopped.
    QVERIFY(m_service->setPushServerRunning(false));
    connectToLookup();
    QTRY_COMPARE(m_bridge->count(QStringLiteral("connectFailed")), 1);
    // The first retry comes after about a second (0.8 to 1.2 s).
    QTRY_COMPARE_WITH_TIMEOUT(m_bridge->count(QStringLiteral("connectFailed")), 2, 5000);
    QVERIFY(m_service->setPushServerRunning(true));
    QTRY_COMPARE_WITH_TIMEOUT(m_bridge->count(QStringLiteral("connectPushServer")), 1, 10000);
    QCOMPARE(m_bridge->count(QStringLiteral("disconnectPushServer")), 0);
}

void PushPageTest::backoff_data()
{
    QTest::addColumn<int>("attempt");
    QTest::addColumn<double>("random");
    QTest::addColumn<int>("expected");
    QTest::newRow("first, middle") << 0 << 0.5 << 1000;
    QTest::newRow("first, shortest") << 0 << 0.0 << 800;
    QTest::newRow("first, longest") << 0 << 0.999999 << 1200;
    QTest::newRow("second doubles") << 1 << 0.5 << 2000;
    QTest::newRow("sixth") << 5 << 0.5 << 32000;
    QTest::newRow("capped at 60 s") << 6 << 0.5 << 60000;
    QTest::newRow("capped, spread below") << 6 << 0.0 << 48000;
    QTest::newRow("capped, never above") << 6 << 0.999999 << 60000;
    QTest::newRow("far on") << 1000 << 0.5 << 60000;
}

void PushPageTest::backoff()
{
    QFETCH(int, attempt);
    QFETCH(double, random);
    QFETCH(int, expected);
    const QVariant delay = run(QStringLiteral("PushBackoff.delay(%1, %2)").arg(attempt).arg(random, 0, 'g', 17));
    QCOMPARE(delay.toInt(), expected);
}

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    PushPageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pushpage.moc"
