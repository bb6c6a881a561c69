// The reference service's push server, spoken to over a real WebSocket the
// way the push page speaks to it.

#include "push/core/PushConnection.h"
#include "push/core/PushMessage.h"
#include "tests/support/RefServiceProcess.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QUrl>
#include <QWebSocket>
#include <QtTest>

#include <memory>

namespace {

// One push connection and every frame it received.
class Client
{
public:
    Client()
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString &text) {
            frames.append(QJsonDocument::fromJson(text.toUtf8()).object());
        });
    }

    bool open(const QString &host, const QString &port)
    {
        socket.open(QUrl(QStringLiteral("ws://%1:%2/").arg(host, port)));
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState
                                            || socket.state() == QAbstractSocket::UnconnectedState; },
                               10000)
            && socket.state() == QAbstractSocket::ConnectedState;
    }

    void send(const QJsonObject &frame)
    {
        socket.sendTextMessage(QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact)));
    }

    // Sends identify (last: a string, or null when last is a null QString)
    // and waits for the answer; the answer's "last".
    QString identify(const QString &uid, const QString &last = QString())
    {
        const int before = frames.size();
        send({{QStringLiteral("type"), QStringLiteral("identify")},
              {QStringLiteral("user"), PushConnection::identity(uid)},
              {QStringLiteral("last"), last.isNull() ? QJsonValue() : QJsonValue(last)}});
        if (!QTest::qWaitFor([&] { return indexOf(QStringLiteral("identified"), before) >= 0; }, 10000))
            return QStringLiteral("<no answer>");
        return frames.at(indexOf(QStringLiteral("identified"), before)).value(QLatin1String("last")).toString();
    }

    int indexOf(const QString &type, int from = 0) const
    {
        for (int i = from; i < frames.size(); ++i) {
            if (frames.at(i).value(QLatin1String("type")).toString() == type)
                return i;
        }
        return -1;
    }

    // The ids of the pushed messages received, in order.
    QStringList pushedIds() const
    {
        QStringList ids;
        for (const QJsonObject &f : frames) {
            if (f.value(QLatin1String("type")).toString() == QLatin1String("push"))
                ids.append(f.value(QLatin1String("message")).toObject().value(QLatin1String("uuid")).toString());
        }
        return ids;
    }

    bool waitForPushes(int n) { return QTest::qWaitFor([&] { return pushedIds().size() >= n; }, 10000); }

    QWebSocket socket;
    QList<QJsonObject> frames;
};

QString lookupAnswer(const RefServiceProcess &service, const QString &uid, const QString &token)
{
    const qint64 t = QDateTime::currentSecsSinceEpoch();
    return QString::fromUtf8(service.get(
        QStringLiteral("NSVPushSvrService/getPushSvrIPAddressByTime33Hash/json?t_=%1&p_=%2&i_=&d_=linux&dv_=&v_=V"
                       "&uid=%3&token=%4")
            .arg(t)
            .arg(3 * (t % 10000) + 2345)
            .arg(uid, token)));
}

PushConnection::ServerAddress lookup(const RefServiceProcess &service, const QPair<QString, QString> &credentials)
{
    return PushConnection::parseLookup(true, lookupAnswer(service, credentials.first, credentials.second));
}

} // namespace

class PushServerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void lookupNamesThePushServer_data();
    void lookupNamesThePushServer();
    void identifiedUserReceivesNotice();
    void offerCarriesItsFields();
    void refusals();
    void unknownIdentityIsClosed();
    void pingIsAnsweredUnlessMuted();
    void missedMessagesReplayedAfterDrop();
    void replayFromUnknownOrEmptyId();
    void restartedServerKeepsBacklog();
    void backlogIsBounded();
    void stopsCleanlyAfterPushes();

private:
    QString lookupAnswer() const;
    QString pushHost() const;
    QString pushPort() const;

    std::unique_ptr<RefServiceProcess> m_service;
    QString m_uid, m_token;
};

void PushServerTest::initTestCase()
{
    m_service = std::make_unique<RefServiceProcess>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    const auto credentials = m_service->demoCredentials();
    m_uid = credentials.first;
    m_token = credentials.second;
    QVERIFY(!m_uid.isEmpty());
}

void PushServerTest::init()
{
    QVERIFY(m_service->reset());
}

QString PushServerTest::lookupAnswer() const
{
    return ::lookupAnswer(*m_service, m_uid, m_token);
}

QString PushServerTest::pushHost() const
{
    return PushConnection::parseLookup(true, lookupAnswer()).address;
}

QString PushServerTest::pushPort() const
{
    return PushConnection::parseLookup(true, lookupAnswer()).port;
}

void PushServerTest::lookupNamesThePushServer_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<bool>("usable");
    QTest::newRow("normal") << "normal" << true;
    // The client must read each of these as "no push server".
    QTest::newRow("port as a number") << "numberPort" << false;
    QTest::newRow("message not ok") << "notOk" << false;
    QTest::newRow("other code") << "badCode" << false;
}

void PushServerTest::lookupNamesThePushServer()
{
    QFETCH(QString, form);
    QFETCH(bool, usable);
    QVERIFY(m_service->setPushLookup(form));
    const PushConnection::ServerAddress server = PushConnection::parseLookup(true, lookupAnswer());
    if (!usable) {
        QCOMPARE(server.address, QString());
        QCOMPARE(server.port, QString());
        return;
    }
    QCOMPARE(server.address, QStringLiteral("127.0.0.1"));
    QVERIFY(server.port.toInt() > 0);
    QVERIFY(QUrl(m_service->baseUrl()).port() != server.port.toInt());
    Client client;
    QVERIFY(client.open(server.address, server.port));

    // The pushPort switch names another port; 0 names the real one again.
    QVERIFY(m_service->setPushPort(9));
    QCOMPARE(pushPort(), QStringLiteral("9"));
    QVERIFY(m_service->setPushPort(0));
    QCOMPARE(pushPort(), server.port);
}

void PushServerTest::identifiedUserReceivesNotice()
{
    Client client;
    QVERIFY(client.open(pushHost(), pushPort()));
    client.identify(m_uid);
    QTRY_COMPARE(m_service->pushIdentifiedUsers(), QStringList{m_uid});

    const QString title = QStringLiteral("维护通知 \"quoted\" <b>");
    const QString content = QStringLiteral("第一行\n第二行 \\ 'single'");
    const QJsonObject sent = m_service->push({{QStringLiteral("uid"), m_uid},
                                               {QStringLiteral("kind"), QStringLiteral("notice")},
                                               {QStringLiteral("title"), title},
                                               {QStringLiteral("content"), content}});
    QCOMPARE(sent.value(QLatin1String("delivered")).toInt(), 1);
    const QString uuid = sent.value(QLatin1String("uuid")).toString();
    QVERIFY(!uuid.isEmpty());
    QVERIFY(client.waitForPushes(1));
    QCOMPARE(client.pushedIds(), QStringList{uuid});

    const QJsonObject message = client.frames.at(client.indexOf(QStringLiteral("push")))
                                    .value(QLatin1String("message")).toObject();
    const PushMessage parsed =
        PushMessage::parse(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    QCOMPARE(parsed.kind, PushMessage::Kind::Notice);
    QCOMPARE(parsed.uuid, uuid);
    QCOMPARE(parsed.title, title);
    QCOMPARE(parsed.content, content);
    QVERIFY(!parsed.noticeId.isEmpty());
}

void PushServerTest::offerCarriesItsFields()
{
    Client client;
    QVERIFY(client.open(pushHost(), pushPort()));
    client.identify(m_uid);
    const QString uuid = m_service->pushOffer(m_uid, {{QStringLiteral("app_id"), QStringLiteral("a303")},
                                                      {QStringLiteral("name"), QStringLiteral("思维导图")},
                                                      {QStringLiteral("price"), QString()},
                                                      {QStringLiteral("cate_id"), QStringLiteral("c2")}});
    QVERIFY(!uuid.isEmpty());
    QVERIFY(client.waitForPushes(1));
    const QJsonObject message = client.frames.at(client.indexOf(QStringLiteral("push")))
                                    .value(QLatin1String("message")).toObject();
    const PushMessage parsed =
        PushMessage::parse(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    QCOMPARE(parsed.kind, PushMessage::Kind::App);
    QCOMPARE(parsed.appId, QStringLiteral("a303"));
    QCOMPARE(parsed.name, QStringLiteral("思维导图"));
    QCOMPARE(parsed.cateId, QStringLiteral("c2"));
    QCOMPARE(parsed.priceText(), QStringLiteral("免费"));
    // Without an icon of its own an offer points at the application's icon.
    QCOMPARE(parsed.icon, m_service->baseUrl() + QStringLiteral("images/app/a303/icon.png"));
    int status = 0;
    QVERIFY(!m_service->get(QStringLiteral("images/app/a303/icon.png"), &status).isEmpty());
    QCOMPARE(status, 200);
}

void PushServerTest::refusals()
{
    QVERIFY(m_service->push({{QStringLiteral("uid"), QStringLiteral("no-such-user")},
                             {QStringLiteral("kind"), QStringLiteral("notice")}}).isEmpty());
    QVERIFY(m_service->push({{QStringLiteral("uid"), m_uid}, {QStringLiteral("kind"), QStringLiteral("other")}})
                .isEmpty());
    QVERIFY(m_service->push({{QStringLiteral("uid"), m_uid}, {QStringLiteral("message"), QStringLiteral("[1]")}})
                .isEmpty());
    // By account name, as scripts/push sends.
    QVERIFY(!m_service->push({{QStringLiteral("account"), QStringLiteral("demo")},
                              {QStringLiteral("kind"), QStringLiteral("app")}})
                 .isEmpty());
    QVERIFY(m_service->push({{QStringLiteral("account"), QStringLiteral("nobody")},
                             {QStringLiteral("kind"), QStringLiteral("app")}})
                .isEmpty());
    // A message of any other kind goes out as given, with an id added.
    const QJsonObject raw = m_service->push(
        {{QStringLiteral("uid"), m_uid}, {QStringLiteral("message"), QStringLiteral("{\"alias\":\"somethingElse\"}")}});
    QVERIFY(!raw.value(QLatin1String("uuid")).toString().isEmpty());
    QCOMPARE(raw.value(QLatin1String("message")).toObject().value(QLatin1String("alias")).toString(),
             QStringLiteral("somethingElse"));
}

void PushServerTest::unknownIdentityIsClosed()
{
    Client client;
    QVERIFY(client.open(pushHost(), pushPort()));
    client.send({{QStringLiteral("type"), QStringLiteral("identify")},
                 {QStringLiteral("user"), QStringLiteral("NSVIDCODE999999999")},
                 {QStringLiteral("last"), QJsonValue()}});
    QTRY_VERIFY(client.indexOf(QStringLiteral("error")) >= 0);
    QTRY_COMPARE(client.socket.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(m_service->pushIdentifiedUsers().isEmpty());
}

void PushServerTest::pingIsAnsweredUnlessMuted()
{
    Client client;
    QVERIFY(client.open(pushHost(), pushPort()));
    client.send({{QStringLiteral("type"), QStringLiteral("ping")}});
    QTRY_VERIFY(client.indexOf(QStringLiteral("pong")) >= 0);

    QVERIFY(m_service->setPushMuted(true));
    const int before = client.frames.size();
    client.send({{QStringLiteral("type"), QStringLiteral("ping")}});
    // A message sent after the ping still arrives, so the pong would have.
    client.identify(m_uid);
    QCOMPARE(client.indexOf(QStringLiteral("pong"), before), -1);
}

void PushServerTest::missedMessagesReplayedAfterDrop()
{
    Client first;
    QVERIFY(first.open(pushHost(), pushPort()));
    const QString start = first.identify(m_uid);
    const QString a = m_service->pushNotice(m_uid, QStringLiteral("A"), QString());
    QVERIFY(first.waitForPushes(1));
    QCOMPARE(first.pushedIds(), QStringList{a});
    QVERIFY(start != a);

    QVERIFY(m_service->dropPushConnections());
    QTRY_COMPARE(first.socket.state(), QAbstractSocket::UnconnectedState);
    QTRY_VERIFY(m_service->pushIdentifiedUsers().isEmpty());
    const QJsonObject b = m_service->push({{QStringLiteral("uid"), m_uid},
                                           {QStringLiteral("kind"), QStringLiteral("notice")},
                                           {QStringLiteral("title"), QStringLiteral("B")}});
    QCOMPARE(b.value(QLatin1String("delivered")).toInt(), 0);
    const QString c = m_service->pushNotice(m_uid, QStringLiteral("C"), QString());

    Client again;
    QVERIFY(again.open(pushHost(), pushPort()));
    again.identify(m_uid, a);
    QVERIFY(again.waitForPushes(2));
    QTest::qWait(100);
    QCOMPARE(again.pushedIds(), (QStringList{b.value(QLatin1String("uuid")).toString(), c}));

    // A client that names no last id starts afresh: nothing is replayed.
    Client fresh;
    QVERIFY(fresh.open(pushHost(), pushPort()));
    QCOMPARE(fresh.identify(m_uid), c);
    const QString d = m_service->pushNotice(m_uid, QStringLiteral("D"), QString());
    QVERIFY(fresh.waitForPushes(1));
    QCOMPARE(fresh.pushedIds(), QStringList{d});
}

void PushServerTest::replayFromUnknownOrEmptyId()
{
    // A fresh service, so the backlog holds exactly what this test sends.
    RefServiceProcess service;
    QVERIFY2(service.isRunning(), qPrintable(service.errorText()));
    const QString uid = service.demoCredentials().first;
    const QString a = service.pushNotice(uid, QStringLiteral("A"), QString());
    const QString b = service.pushNotice(uid, QStringLiteral("B"), QString());
    const PushConnection::ServerAddress server = lookup(service, service.demoCredentials());

    // "" names the start: a session that had seen nothing gets everything.
    Client empty;
    QVERIFY(empty.open(server.address, server.port));
    empty.identify(uid, QStringLiteral(""));
    QVERIFY(empty.waitForPushes(2));
    QCOMPARE(empty.pushedIds(), (QStringList{a, b}));

    // An id the server no longer has: everything too (the client drops
    // what it already saw).
    Client unknown;
    QVERIFY(unknown.open(server.address, server.port));
    unknown.identify(uid, QStringLiteral("gone"));
    QVERIFY(unknown.waitForPushes(2));
    QCOMPARE(unknown.pushedIds(), (QStringList{a, b}));

    Client latest;
    QVERIFY(latest.open(server.address, server.port));
    QCOMPARE(latest.identify(uid, b), b);
    QTest::qWait(200);
    QVERIFY(latest.pushedIds().isEmpty());
}

void PushServerTest::restartedServerKeepsBacklog()
{
    const QString host = pushHost();
    const QString port = pushPort();
    Client client;
    QVERIFY(client.open(host, port));
    client.identify(m_uid);
    const QString a = m_service->pushNotice(m_uid, QStringLiteral("A"), QString());
    QVERIFY(client.waitForPushes(1));

    QVERIFY(m_service->setPushServerRunning(false));
    QTRY_COMPARE(client.socket.state(), QAbstractSocket::UnconnectedState);
    Client refused;
    QVERIFY(!refused.open(host, port));
    const QString b = m_service->pushNotice(m_uid, QStringLiteral("B"), QString());

    QVERIFY(m_service->setPushServerRunning(true));
    QCOMPARE(pushPort(), port);
    Client back;
    QVERIFY(back.open(host, port));
    back.identify(m_uid, a);
    QVERIFY(back.waitForPushes(1));
    QCOMPARE(back.pushedIds(), QStringList{b});
}

void PushServerTest::backlogIsBounded()
{
    RefServiceProcess service;
    QVERIFY2(service.isRunning(), qPrintable(service.errorText()));
    const auto credentials = service.demoCredentials();
    QStringList ids;
    for (int i = 0; i < 105; ++i)
        ids.append(service.push({{QStringLiteral("uid"), credentials.first},
                                 {QStringLiteral("message"), QStringLiteral("{\"alias\":\"x\"}")}})
                       .value(QLatin1String("uuid")).toString());
    const PushConnection::ServerAddress server = lookup(service, credentials);
    Client client;
    QVERIFY(client.open(server.address, server.port));
    client.identify(credentials.first, QStringLiteral(""));
    QVERIFY(client.waitForPushes(100));
    QTest::qWait(200);
    QCOMPARE(client.pushedIds(), ids.mid(5));
}

void PushServerTest::stopsCleanlyAfterPushes()
{
    // The push thread's end once raced the process's exit (seen under the
    // sanitizers as a crash report after a clean exit code); a few rounds
    // of use and SIGTERM must end quietly.
    QString bin = qEnvironmentVariable("ORVANE_BIN_DIR");
    for (int round = 0; round < 3; ++round) {
        QTemporaryDir data;
        QProcess process;
        process.start(QDir(bin).filePath(QStringLiteral("orvane-service")),
                      {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--data"), data.path(),
                       QStringLiteral("--with-parent")});
        QVERIFY(process.waitForReadyRead(15000));
        const QString base = QString::fromUtf8(process.readLine()).trimmed();
        QNetworkAccessManager manager;
        for (const QByteArray &body : {QByteArray("account=demo&kind=notice&title=x"), QByteArray("on=0"),
                                       QByteArray("on=1")}) {
            QNetworkRequest request(QUrl(base + (body.startsWith("on") ? QStringLiteral("__admin/pushServer")
                                                                         : QStringLiteral("__admin/push"))));
            request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
            QNetworkReply *reply = manager.post(request, body);
            QTRY_VERIFY(reply->isFinished());
            QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
            delete reply;
        }
        process.terminate();
        QVERIFY(process.waitForFinished(15000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        const QByteArray errors = process.readAllStandardError();
        QVERIFY2(!errors.contains("Sanitizer") && !errors.contains("runtime error"), errors.constData());
    }
}

QTEST_GUILESS_MAIN(PushServerTest)
#include "tst_pushserver.moc"
