#include "refservice/PushServer.h"

#include "push/core/PushBacklog.h"
#include "refservice/JsonText.h"
#include "refservice/Store.h"

#include <QDateTime>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QEventLoop>
#include <QUuid>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>
#include <future>

namespace {

const QString kIdentityPrefix = QStringLiteral("NSVIDCODE");

QString text(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QJsonObject bad(const QString &why)
{
    return JsonText::envelope(400, why);
}

QJsonObject okAnswer(const QJsonValue &data = QJsonObject())
{
    return JsonText::envelope(200, QStringLiteral("ok"), data);
}

} // namespace

namespace PushServerDetail {

// Owns the sockets; every member runs on the push thread.
class Hub : public QObject
{
public:
    Hub(Store &store, const QHostAddress &host)
        : m_store(store)
        , m_host(host)
        , m_backlog(PushServer::kBacklogPerUser)
    {
    }

    bool listen(quint16 port)
    {
        if (!m_server) {
            m_server = new QWebSocketServer(QStringLiteral("orvane-push"), QWebSocketServer::NonSecureMode, this);
            connect(m_server, &QWebSocketServer::newConnection, this, [this] { acceptPending(); });
        }
        if (m_server->isListening())
            return true;
        if (!m_server->listen(m_host, port))
            return false;
        m_port = m_server->serverPort();
        return true;
    }

    quint16 port() const { return m_port; }

    void close()
    {
        if (m_server)
            m_server->close();
        dropAll();
    }

    void dropAll()
    {
        // An abrupt end, as a network drop looks to the client.
        const auto sockets = m_clients.keys();
        for (QWebSocket *socket : sockets)
            socket->abort();
    }

    QJsonObject admin(const std::string &name, bool post, const QMap<QString, QString> &in, const QString &base)
    {
        if (name == "pushClients") {
            QJsonArray users;
            for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it) {
                if (!it.value().isEmpty())
                    users.append(it.value());
            }
            return okAnswer(QJsonObject{{QStringLiteral("connections"), m_clients.size()},
                                        {QStringLiteral("identified"), users}});
        }
        if (!post)
            return bad(QStringLiteral("POST only"));
        auto flag = [&](const char *key) { return in.value(QLatin1String(key)) == QLatin1String("1"); };
        if (name == "push")
            return push(in, base);
        if (name == "pushDrop") {
            dropAll();
            return okAnswer();
        }
        if (name == "pushMute") {
            m_muted = flag("on");
            return okAnswer();
        }
        if (name == "pushServer") {
            if (flag("on"))
                return listen(m_port) ? okAnswer() : bad(QStringLiteral("cannot listen again"));
            close();
            return okAnswer();
        }
        return bad(QStringLiteral("unknown push switch"));
    }

    void reset()
    {
        m_muted = false;
        listen(m_port);
    }

private:
    void acceptPending()
    {
        while (QWebSocket *socket = m_server->nextPendingConnection()) {
            socket->setParent(this);
            m_clients.insert(socket, QString());
            connect(socket, &QWebSocket::textMessageReceived, this,
                    [this, socket](const QString &message) { received(socket, message); });
            connect(socket, &QWebSocket::disconnected, this, [this, socket] {
                m_clients.remove(socket);
                socket->deleteLater();
            });
        }
    }

    void send(QWebSocket *socket, const QJsonObject &object) { socket->sendTextMessage(text(object)); }

    void received(QWebSocket *socket, const QString &message)
    {
        const QJsonObject in = QJsonDocument::fromJson(message.toUtf8()).object();
        const QString type = in.value(QLatin1String("type")).toString();
        if (type == QLatin1String("ping")) {
            if (!m_muted)
                send(socket, {{QStringLiteral("type"), QStringLiteral("pong")}});
        } else if (type == QLatin1String("identify")) {
            identify(socket, in);
        }
    }

    void identify(QWebSocket *socket, const QJsonObject &in)
    {
        const QString identity = in.value(QLatin1String("user")).toString();
        const QString uid = identity.startsWith(kIdentityPrefix) ? identity.mid(kIdentityPrefix.size()) : QString();
        if (uid.isEmpty() || !m_store.userByUid(uid)) {
            send(socket, {{QStringLiteral("type"), QStringLiteral("error")},
                          {QStringLiteral("reason"), QStringLiteral("unknown user")}});
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("unknown user"));
            return;
        }
        m_clients.insert(socket, uid);
        send(socket, {{QStringLiteral("type"), QStringLiteral("identified")},
                      {QStringLiteral("user"), identity},
                      {QStringLiteral("last"), m_backlog.newestId(uid)}});
        // A client that names no last id starts afresh; one that does gets
        // what came after it.
        const QJsonValue last = in.value(QLatin1String("last"));
        if (!last.isString())
            return;
        for (const PushBacklog::Entry &e : m_backlog.since(uid, last.toString()))
            socket->sendTextMessage(e.text);
    }

    QJsonObject push(const QMap<QString, QString> &in, const QString &base)
    {
        // By user id, or by account name for the demo's command line.
        const QString account = in.value(QStringLiteral("account"));
        const auto user = in.contains(QStringLiteral("uid"))
                              ? m_store.userByUid(in.value(QStringLiteral("uid")))
                              : m_store.userByAccount(QStringLiteral("username"), account);
        if (!user)
            return bad(QStringLiteral("no such user"));
        const QString uid = user->uid;
        const QString kind = in.value(QStringLiteral("kind"));
        auto field = [&in](const char *key, const QString &fallback = QString()) {
            return in.value(QLatin1String(key), fallback);
        };

        QJsonObject message;
        if (in.contains(QStringLiteral("message"))) {
            const QJsonDocument doc = QJsonDocument::fromJson(in.value(QStringLiteral("message")).toUtf8());
            if (!doc.isObject())
                return bad(QStringLiteral("message must be a JSON object"));
            message = doc.object();
        } else if (kind == QLatin1String("notice")) {
            const QString title = field("title", QStringLiteral("系统通知"));
            const QString content = field("content");
            message = {{QStringLiteral("alias"), QStringLiteral("lumiqPushNotice")},
                       {QStringLiteral("data"), QJsonObject{{QStringLiteral("uuid"), field("notice_id", newId())},
                                                            {QStringLiteral("title"), title},
                                                            {QStringLiteral("content"), content}}}};
            // A notice pushed is a notice of the company: the message centre lists it.
            m_store.addNotice(user->companyId, title, content,
                              field("created", QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
        } else if (kind == QLatin1String("app")) {
            const QString appId = field("app_id");
            const QString icon = field("icon", appId.isEmpty() ? QString()
                                                               : base + QStringLiteral("images/app/%1/icon.png").arg(appId));
            QJsonObject data{{QStringLiteral("uuid"), field("app_uuid", newId())}, {QStringLiteral("icon"), icon}};
            for (const char *key : {"push_id", "app_id", "type", "name", "url", "desc", "params", "exec_path",
                                    "price", "cate_id", "sort"})
                data.insert(QLatin1String(key), field(key));
            message = {{QStringLiteral("alias"), QStringLiteral("lumiqPushApp")}, {QStringLiteral("data"), data}};
        } else {
            return bad(QStringLiteral("kind must be notice or app, or give message"));
        }
        if (in.contains(QStringLiteral("uuid")))
            message.insert(QStringLiteral("uuid"), in.value(QStringLiteral("uuid")));
        else if (!message.value(QLatin1String("uuid")).isString())
            message.insert(QStringLiteral("uuid"), newId());
        const QString uuid = message.value(QLatin1String("uuid")).toString();

        const QString frame = text({{QStringLiteral("type"), QStringLiteral("push")},
                                    {QStringLiteral("message"), message}});
        m_backlog.append(uid, uuid, frame);
        int delivered = 0;
        for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it) {
            if (it.value() == uid) {
                it.key()->sendTextMessage(frame);
                ++delivered;
            }
        }
        return okAnswer(QJsonObject{{QStringLiteral("uuid"), uuid},
                                    {QStringLiteral("delivered"), delivered},
                                    {QStringLiteral("message"), message}});
    }

    Store &m_store;
    QHostAddress m_host;
    QWebSocketServer *m_server = nullptr;
    quint16 m_port = 0;
    // Every open connection; the user id once it identified, else empty.
    QHash<QWebSocket *, QString> m_clients;
    PushBacklog m_backlog;
    bool m_muted = false;
};

} // namespace PushServerDetail

PushServer::PushServer(Store &store)
    : m_store(store)
{
}

PushServer::~PushServer()
{
    stop();
}

bool PushServer::start(const QString &host, quint16 port)
{
    if (m_thread.joinable())
        return true;
    m_host = host;
    std::promise<bool> listening;
    std::future<bool> started = listening.get_future();
    m_thread = std::thread([this, host, port, &listening] {
        QEventLoop loop;
        PushServerDetail::Hub hub(m_store, QHostAddress(host));
        const bool ok = hub.listen(port);
        m_port = hub.port();
        m_hub = &hub;
        m_loop = &loop;
        listening.set_value(ok);
        if (ok)
            loop.exec();
        hub.close();
    });
    if (started.get())
        return true;
    m_thread.join();
    m_hub = nullptr;
    m_loop = nullptr;
    return false;
}

void PushServer::stop()
{
    if (!m_thread.joinable())
        return;
    QEventLoop *loop = m_loop;
    QMetaObject::invokeMethod(m_hub, [loop] { loop->quit(); }, Qt::QueuedConnection);
    m_thread.join();
    m_hub = nullptr;
    m_loop = nullptr;
}

bool PushServer::admin(const std::string &name, bool post, const QMap<QString, QString> &in,
                       const QString &base, QJsonObject *answer)
{
    static const char *const names[] = {"push", "pushDrop", "pushServer", "pushMute", "pushClients"};
    if (std::none_of(std::begin(names), std::end(names), [&](const char *n) { return name == n; }))
        return false;
    if (!m_hub) {
        *answer = bad(QStringLiteral("push server not running"));
        return true;
    }
    QMetaObject::invokeMethod(
        m_hub, [&] { *answer = m_hub->admin(name, post, in, base); }, Qt::BlockingQueuedConnection);
    return true;
}

void PushServer::reset()
{
    if (m_hub)
        QMetaObject::invokeMethod(m_hub, [this] { m_hub->reset(); }, Qt::BlockingQueuedConnection);
}
