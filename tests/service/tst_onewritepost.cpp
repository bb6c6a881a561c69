#include "service/ServiceReply.h"
#include "service/SrvInterface.h"

#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QtTest>

// SrvInterface's POST path (service/OneWritePost.cpp) against a loopback
// server that frames its answers in every way HTTP/1.1 allows and closes
// connections where a real server may: the reference service answers with
// Content-Length only and never closes a connection under a request.

namespace {

struct Received
{
    int connection;
    QByteArray method;
    QByteArray target;
    QByteArray contentType;
    QByteArray body;
};

class ScriptedServer : public QTcpServer
{
public:
    enum class Framing { Length, Chunked, UntilClose, AfterContinue, CutBody, HugeLength, HugeChunk };

    Framing framing = Framing::Length;
    // The request (counted over the whole server) at which the connection is
    // closed without an answer, as a server does with an idle connection
    // just as a request arrives; 0: never.
    int closeAtRequest = 0;
    QList<Received> received;
    int connections = 0;

    void useTls(const QSslCertificate &cert, const QSslKey &key)
    {
        m_cert = cert;
        m_key = key;
    }

protected:
    void incomingConnection(qintptr handle) override
    {
        QTcpSocket *socket = nullptr;
        if (!m_cert.isNull()) {
            auto *ssl = new QSslSocket(this);
            if (!ssl->setSocketDescriptor(handle)) {
                delete ssl;
                return;
            }
            ssl->setLocalCertificate(m_cert);
            ssl->setPrivateKey(m_key);
            ssl->setProtocol(QSsl::TlsV1_2OrLater);
            connect(ssl, QOverload<const QList<QSslError> &>::of(&QSslSocket::sslErrors), ssl,
                    [ssl] { ssl->abort(); });
            ssl->startServerEncryption();
            socket = ssl;
        } else {
            socket = new QTcpSocket(this);
            if (!socket->setSocketDescriptor(handle)) {
                delete socket;
                return;
            }
        }
        const int index = ++connections;
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, index, buffer] {
            *buffer += socket->readAll();
            serve(socket, index, buffer.get());
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    void serve(QTcpSocket *socket, int index, QByteArray *buffer)
    {
        for (;;) {
            const int end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QList<QByteArray> lines = buffer->left(end).split('\n');
            Received r{index, {}, {}, {}, {}};
            const QList<QByteArray> request = lines.first().trimmed().split(' ');
            r.method = request.value(0);
            r.target = request.value(1);
            qint64 length = 0;
            for (const QByteArray &line : lines.mid(1)) {
                const int colon = line.indexOf(':');
                const QByteArray name = line.left(colon).trimmed().toLower();
                const QByteArray value = line.mid(colon + 1).trimmed();
                if (name == "content-length")
                    length = value.toLongLong();
                else if (name == "content-type")
                    r.contentType = value;
            }
            if (buffer->size() < end + 4 + length)
                return;
            r.body = buffer->mid(end + 4, int(length));
            buffer->remove(0, end + 4 + int(length));
            received.append(r);
            if (received.size() == closeAtRequest) {
                socket->abort();
                return;
            }
            answer(socket, "got " + r.body);
            if (framing == Framing::UntilClose || framing == Framing::CutBody
                || framing == Framing::HugeLength || framing == Framing::HugeChunk)
                return;
        }
    }

    void answer(QTcpSocket *socket, const QByteArray &text)
    {
        switch (framing) {
        case Framing::Length:
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: "
                          + QByteArray::number(text.size()) + "\r\n\r\n" + text);
            break;
        case Framing::AfterContinue:
            socket->write("HTTP/1.1 100 Continue\r\n\r\n");
            socket->flush();
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(text.size())
                          + "\r\n\r\n" + text);
            break;
        case Framing::Chunked: {
            // Pieces in separate writes, one with an extension, and a trailer.
            socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
            socket->flush();
            const int half = text.size() / 2;
            socket->write(QByteArray::number(half, 16) + ";piece=1\r\n" + text.left(half) + "\r\n");
            socket->flush();
            socket->write(QByteArray::number(text.size() - half, 16) + "\r\n" + text.mid(half)
                          + "\r\n0\r\nX-Trailer: yes\r\n\r\n");
            break;
        }
        case Framing::UntilClose:
            socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + text);
            socket->disconnectFromHost();
            break;
        case Framing::HugeLength:
            // Promises a gigabyte; the client must not wait for it or keep it.
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 1073741824\r\n\r\n" + text);
            break;
        case Framing::HugeChunk:
            socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n40000000\r\n" + text);
            break;
        case Framing::CutBody:
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: "
                          + QByteArray::number(text.size() + 100) + "\r\n\r\n" + text);
            socket->disconnectFromHost();
            break;
        }
    }

    QSslCertificate m_cert;
    QSslKey m_key;
};

QByteArray readFixture(const QString &name)
{
    QFile file(qEnvironmentVariable("ORVANE_SOURCE_DIR") + QStringLiteral("/tests/service/data/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString urlOf(const QTcpServer &server, const char *scheme)
{
    return QStringLiteral("%1://127.0.0.1:%2/svc/op/json?a=1&b=x%20y")
        .arg(QLatin1String(scheme))
        .arg(server.serverPort());
}

} // namespace

class OneWritePostTest : public QObject
{
    Q_OBJECT
private slots:
    void framings_data();
    void framings();
    void brokenAnswersFail_data();
    void brokenAnswersFail();
    void keptAliveConnectionIsReused();
    void connectionClosedUnderRequestIsRetried();
    void tls_data();
    void tls();
};

void OneWritePostTest::framings_data()
{
    QTest::addColumn<int>("framing");
    QTest::addColumn<int>("connections"); // for two calls: kept alive or not
    QTest::newRow("Content-Length") << int(ScriptedServer::Framing::Length) << 1;
    QTest::newRow("chunked, in pieces, with trailer") << int(ScriptedServer::Framing::Chunked) << 1;
    QTest::newRow("to the end of the connection") << int(ScriptedServer::Framing::UntilClose) << 2;
    QTest::newRow("after 100 Continue") << int(ScriptedServer::Framing::AfterContinue) << 1;
}

void OneWritePostTest::framings()
{
    QFETCH(int, framing);
    QFETCH(int, connections);
    ScriptedServer server;
    server.framing = ScriptedServer::Framing(framing);
    QVERIFY(server.listen(QHostAddress::LocalHost));
    SrvInterface srv;
    // Twice: the second call must not see anything of the first answer.
    for (const QString &body : {QStringLiteral("name=%E8%AE%B0&x=1"), QStringLiteral("second=2")}) {
        QString answer;
        QVERIFY(srv.sendRequest(urlOf(server, "http"), body, 5000, &answer));
        QCOMPARE(answer, QStringLiteral("got ") + body);
    }
    QCOMPARE(server.received.size(), 2);
    QCOMPARE(server.connections, connections);
    const Received &r = server.received.first();
    QCOMPARE(r.method, QByteArray("POST"));
    QCOMPARE(r.target, QByteArray("/svc/op/json?a=1&b=x%20y"));
    QCOMPARE(r.contentType, QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(r.body, QByteArray("name=%E8%AE%B0&x=1"));
}

void OneWritePostTest::brokenAnswersFail_data()
{
    QTest::addColumn<int>("framing");
    QTest::newRow("body cut short") << int(ScriptedServer::Framing::CutBody);
    QTest::newRow("length beyond any answer") << int(ScriptedServer::Framing::HugeLength);
    QTest::newRow("chunk beyond any answer") << int(ScriptedServer::Framing::HugeChunk);
}

void OneWritePostTest::brokenAnswersFail()
{
    QFETCH(int, framing);
    ScriptedServer server;
    server.framing = ScriptedServer::Framing(framing);
    QVERIFY(server.listen(QHostAddress::LocalHost));
    SrvInterface srv;
    QString answer = QStringLiteral("stale");
    QVERIFY(!srv.sendRequest(urlOf(server, "http"), QStringLiteral("a=1"), 5000, &answer));
    QVERIFY(answer.isEmpty());
    // A failure of the answer itself, known at once: not a wait for the
    // time-out while the promised bytes trickle in.
    QScopedPointer<ServiceReply> reply(
        ServiceReply::send(urlOf(server, "http"), QStringLiteral("a=1"), 20000));
    QSignalSpy spy(reply.data(), &ServiceReply::finished);
    QVERIFY(spy.wait(15000));
    QCOMPARE(reply->result(), ServiceReply::Result::NetworkError);
}

void OneWritePostTest::keptAliveConnectionIsReused()
{
    ScriptedServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    for (int i = 0; i < 3; ++i) {
        SrvInterface srv; // as callers do: a fresh instance per exchange
        QString answer;
        QVERIFY(srv.sendRequest(urlOf(server, "http"), QStringLiteral("n=%1").arg(i), 5000, &answer));
        QCOMPARE(answer, QStringLiteral("got n=%1").arg(i));
    }
    QCOMPARE(server.connections, 1);
    QCOMPARE(server.received.size(), 3);
}

void OneWritePostTest::connectionClosedUnderRequestIsRetried()
{
    ScriptedServer server;
    server.closeAtRequest = 2;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    SrvInterface srv;
    QString answer;
    QVERIFY(srv.sendRequest(urlOf(server, "http"), QStringLiteral("n=1"), 5000, &answer));
    QVERIFY(srv.sendRequest(urlOf(server, "http"), QStringLiteral("n=2"), 5000, &answer));
    QCOMPARE(answer, QStringLiteral("got n=2"));
    QCOMPARE(server.connections, 2);
    QCOMPARE(server.received.size(), 3);
    QCOMPARE(server.received.at(2).connection, 2);
    QCOMPARE(server.received.at(2).body, QByteArray("n=2"));
}

void OneWritePostTest::tls_data()
{
    QTest::addColumn<bool>("trusted");
    QTest::newRow("unknown certificate is refused") << false;
    QTest::newRow("trusted certificate") << true;
}

void OneWritePostTest::tls()
{
    QFETCH(bool, trusted);
    if (!QSslSocket::supportsSsl())
        QSKIP("no TLS library");
    const QSslCertificate cert(readFixture(QStringLiteral("loopback.crt")), QSsl::Pem);
    const QSslKey key(readFixture(QStringLiteral("loopback.key")), QSsl::Ec, QSsl::Pem);
    QVERIFY(!cert.isNull() && !key.isNull());

    const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
    if (trusted) {
        QSslConfiguration config = original;
        config.addCaCertificate(cert);
        QSslConfiguration::setDefaultConfiguration(config);
    }
    ScriptedServer server;
    server.useTls(cert, key);
    QVERIFY(server.listen(QHostAddress::LocalHost));
    SrvInterface srv;
    QString first, second;
    const bool firstOk = srv.sendRequest(urlOf(server, "https"), QStringLiteral("n=1"), 5000, &first);
    const bool secondOk = srv.sendRequest(urlOf(server, "https"), QStringLiteral("n=2"), 5000, &second);
    QSslConfiguration::setDefaultConfiguration(original);

    QCOMPARE(firstOk, trusted);
    QCOMPARE(secondOk, trusted);
    if (trusted) {
        QCOMPARE(first, QStringLiteral("got n=1"));
        QCOMPARE(second, QStringLiteral("got n=2"));
        QCOMPARE(server.connections, 1);
    } else {
        QVERIFY(first.isEmpty() && second.isEmpty());
        QVERIFY(server.received.isEmpty());
    }
}

QTEST_GUILESS_MAIN(OneWritePostTest)
#include "tst_onewritepost.moc"
