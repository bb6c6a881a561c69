#include "service/OneWritePost.h"

#include <QMultiHash>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>

#include <cstring>

namespace {

constexpr int kMaxHeadBytes = 64 * 1024;
constexpr int kMaxIdlePerOrigin = 4;
// Far above any answer of the service: an endless or absurd answer fails
// instead of filling memory.
constexpr qint64 kMaxAnswerBytes = 64 * 1024 * 1024;

// Idle kept-alive connections of one manager (so of one thread), by origin.
// Dies with the manager; a connection the server closes leaves at once.
class IdleConnections : public QObject
{
    Q_OBJECT
public:
    explicit IdleConnections(QNetworkAccessManager *manager)
        : QObject(manager)
        , m_manager(manager)
    {
    }

    static IdleConnections *of(QNetworkAccessManager *manager)
    {
        auto *pool = manager->findChild<IdleConnections *>(QString(), Qt::FindDirectChildrenOnly);
        return pool ? pool : new IdleConnections(manager);
    }

    QNetworkAccessManager *manager() const { return m_manager; }

    // A connected socket with nothing unread, handed over to newParent.
    QAbstractSocket *take(const QString &origin, QObject *newParent)
    {
        while (QAbstractSocket *socket = m_idle.take(origin)) {
            disconnect(socket, nullptr, this, nullptr);
            if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0) {
                socket->setParent(newParent);
                return socket;
            }
            socket->abort();
            socket->deleteLater();
        }
        return nullptr;
    }

    void put(const QString &origin, QAbstractSocket *socket)
    {
        if (m_idle.count(origin) >= kMaxIdlePerOrigin) {
            socket->disconnectFromHost();
            socket->deleteLater();
            return;
        }
        socket->setParent(this);
        m_idle.insert(origin, socket);
        const auto drop = [this, origin, socket] {
            if (m_idle.remove(origin, socket) > 0)
                socket->deleteLater();
        };
        connect(socket, &QAbstractSocket::disconnected, this, drop);
        connect(socket, &QAbstractSocket::errorOccurred, this, drop);
        // Anything a server sends on an idle connection is out of turn.
        connect(socket, &QIODevice::readyRead, this, [socket] { socket->abort(); });
    }

private:
    QNetworkAccessManager *m_manager;
    QMultiHash<QString, QAbstractSocket *> m_idle;
};

QNetworkReply::NetworkError statusError(int status)
{
    switch (status) {
    case 400: return QNetworkReply::ProtocolInvalidOperationError;
    case 401: return QNetworkReply::AuthenticationRequiredError;
    case 403: return QNetworkReply::ContentAccessDenied;
    case 404: return QNetworkReply::ContentNotFoundError;
    case 405: return QNetworkReply::ContentOperationNotPermittedError;
    case 407: return QNetworkReply::ProxyAuthenticationRequiredError;
    case 409: return QNetworkReply::ContentConflictError;
    case 410: return QNetworkReply::ContentGoneError;
    case 500: return QNetworkReply::InternalServerError;
    case 501: return QNetworkReply::OperationNotImplementedError;
    case 503: return QNetworkReply::ServiceUnavailableError;
    default:
        if (status >= 500)
            return QNetworkReply::UnknownServerError;
        return status >= 400 ? QNetworkReply::UnknownContentError : QNetworkReply::NoError;
    }
}

bool hasToken(const QByteArray &list, const char *token)
{
    for (const QByteArray &item : list.split(','))
        if (item.trimmed().toLower() == token)
            return true;
    return false;
}

class OneWritePostReply : public QNetworkReply
{
    Q_OBJECT
public:
    OneWritePostReply(IdleConnections *pool, const QNetworkRequest &request, const QByteArray &body)
        : QNetworkReply(pool->manager())
        , m_pool(pool)
        , m_body(body)
    {
        setRequest(request);
        setUrl(request.url());
        setOperation(QNetworkAccessManager::PostOperation);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        const QUrl url = request.url();
        m_tls = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
        m_port = quint16(url.port(m_tls ? 443 : 80));
        m_origin = url.scheme().toLower() + QLatin1String("://") + url.host(QUrl::FullyEncoded)
                   + QLatin1Char(':') + QString::number(m_port);
        start(true);
    }

    ~OneWritePostReply() override { dropSocket(); }

    void abort() override
    {
        if (isFinished())
            return;
        dropSocket();
        setError(OperationCanceledError, tr("Operation canceled"));
        setFinished(true);
        emit errorOccurred(OperationCanceledError);
        emit finished();
        close();
    }

    bool isSequential() const override { return true; }

    qint64 bytesAvailable() const override
    {
        return m_answer.size() - m_readPos + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin<qint64>(maxSize, m_answer.size() - m_readPos);
        if (n <= 0)
            return isFinished() ? -1 : 0;
        std::memcpy(data, m_answer.constData() + m_readPos, size_t(n));
        m_readPos += n;
        return n;
    }

private:
    enum class Stage { Head, Body, ChunkSize, ChunkData, ChunkEnd, Trailer, Done };

    void start(bool mayReuse)
    {
        m_socket = mayReuse ? m_pool->take(m_origin, this) : nullptr;
        m_reused = m_socket != nullptr;
        if (m_socket) {
            watch();
            send();
            return;
        }
        const QString host = url().host();
        QSslSocket *ssl = m_tls ? new QSslSocket(this) : nullptr;
        m_socket = ssl ? ssl : new QTcpSocket(this);
        m_socket->setProxy(QNetworkProxy::NoProxy);
        // The option needs the socket's descriptor, so it is set on connecting
        // (before the TLS handshake, which gains from it as well).
        connect(m_socket, &QAbstractSocket::connected, this,
                [this] { m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1); });
        if (ssl) {
            ssl->setSslConfiguration(request().sslConfiguration());
            connect(ssl, &QSslSocket::encrypted, this, &OneWritePostReply::send);
        } else {
            connect(m_socket, &QAbstractSocket::connected, this, &OneWritePostReply::send);
        }
        watch();
        if (m_tls)
            static_cast<QSslSocket *>(m_socket)->connectToHostEncrypted(host, m_port);
        else
            m_socket->connectToHost(host, m_port);
    }

    void watch()
    {
        connect(m_socket, &QIODevice::readyRead, this, &OneWritePostReply::receive);
        connect(m_socket, &QAbstractSocket::errorOccurred, this, &OneWritePostReply::ended);
        connect(m_socket, &QAbstractSocket::disconnected, this, &OneWritePostReply::ended);
    }

    void dropSocket()
    {
        if (!m_socket)
            return;
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }

    void send()
    {
        const QUrl url = this->url();
        QUrl target = url;
        QUrl::FormattingOptions format = QUrl::RemoveScheme | QUrl::RemoveAuthority
                                         | QUrl::RemoveFragment | QUrl::FullyEncoded;
        if (target.path().isEmpty())
            target.setPath(QStringLiteral("/"));
        else
            format |= QUrl::NormalizePathSegments;
        QByteArray hostField = url.host(QUrl::FullyEncoded).toLatin1();
        if (hostField.contains(':'))
            hostField = '[' + hostField + ']';
        if (url.port() != -1 && url.port() != (m_tls ? 443 : 80))
            hostField += ':' + QByteArray::number(url.port());

        QByteArray out;
        out.reserve(512 + m_body.size());
        out += "POST " + target.toEncoded(format) + " HTTP/1.1\r\nHost: " + hostField + "\r\n";
        const QNetworkRequest req = request();
        bool hasType = false, hasAgent = false;
        for (const QByteArray &name : req.rawHeaderList()) {
            const QByteArray lower = name.toLower();
            if (lower == "host" || lower == "content-length" || lower == "connection"
                || lower == "transfer-encoding" || lower == "accept-encoding")
                continue;
            hasType = hasType || lower == "content-type";
            hasAgent = hasAgent || lower == "user-agent";
            out += name + ": " + req.rawHeader(name) + "\r\n";
        }
        if (!hasType)
            out += "Content-Type: application/octet-stream\r\n";
        if (!hasAgent)
            out += "User-Agent: Mozilla/5.0\r\n";
        if (QNetworkCookieJar *jar = m_pool->manager()->cookieJar()) {
            QByteArray cookies;
            for (const QNetworkCookie &cookie : jar->cookiesForUrl(url))
                cookies += (cookies.isEmpty() ? "" : "; ")
                           + cookie.toRawForm(QNetworkCookie::NameAndValueOnly);
            if (!cookies.isEmpty())
                out += "Cookie: " + cookies + "\r\n";
        }
        out += "Content-Length: " + QByteArray::number(m_body.size())
               + "\r\nAccept-Encoding: identity\r\nConnection: keep-alive\r\n\r\n";
        out += m_body;
        // One write: with Nagle off it leaves at once, in as few segments as fit.
        if (m_socket->write(out) != out.size())
            fail(UnknownNetworkError, tr("Cannot send the request"));
    }

    void receive()
    {
        if (!m_socket)
            return;
        const QByteArray bytes = m_socket->readAll();
        if (bytes.isEmpty())
            return;
        m_anyByte = true;
        m_in += bytes;
        parse();
    }

    // The socket closed or failed.
    void ended()
    {
        if (!m_socket || isFinished())
            return;
        receive();
        if (isFinished() || !m_socket)
            return;
        const QAbstractSocket::SocketError socketError = m_socket->error();
        if (m_stage == Stage::Body && m_untilClose
            && socketError == QAbstractSocket::RemoteHostClosedError) {
            m_keepAlive = false;
            complete();
            return;
        }
        if (!m_anyByte && m_reused
            && (socketError == QAbstractSocket::RemoteHostClosedError
                || socketError == QAbstractSocket::NetworkError)) {
            // The server closed the idle connection as the request went out.
            dropSocket();
            start(false);
            return;
        }
        NetworkError code = UnknownNetworkError;
        switch (socketError) {
        case QAbstractSocket::ConnectionRefusedError: code = ConnectionRefusedError; break;
        case QAbstractSocket::RemoteHostClosedError: code = RemoteHostClosedError; break;
        case QAbstractSocket::HostNotFoundError: code = HostNotFoundError; break;
        case QAbstractSocket::SocketTimeoutError: code = TimeoutError; break;
        case QAbstractSocket::SslHandshakeFailedError: code = SslHandshakeFailedError; break;
        default: break;
        }
        fail(code, m_socket->errorString());
    }

    // One line of m_in without its line end, or false when none is whole yet.
    bool takeLine(QByteArray *line)
    {
        const int end = m_in.indexOf('\n');
        if (end < 0)
            return false;
        *line = m_in.left(end);
        if (line->endsWith('\r'))
            line->chop(1);
        m_in.remove(0, end + 1);
        return true;
    }

    void parse()
    {
        while (!isFinished()) {
            switch (m_stage) {
            case Stage::Head:
                if (!parseHead())
                    return;
                break;
            case Stage::Body: {
                if (m_untilClose) {
                    if (m_answer.size() + m_in.size() > kMaxAnswerBytes)
                        return fail(ProtocolFailure, tr("Answer too large"));
                    m_answer += m_in;
                    m_in.clear();
                    return;
                }
                const int n = int(qMin<qint64>(m_remaining, m_in.size()));
                m_answer += m_in.left(n);
                m_in.remove(0, n);
                m_remaining -= n;
                if (m_remaining > 0)
                    return;
                complete();
                return;
            }
            case Stage::ChunkSize: {
                QByteArray line;
                if (!takeLine(&line)) {
                    if (m_in.size() > kMaxHeadBytes)
                        return fail(ProtocolFailure, tr("Bad chunk"));
                    return;
                }
                const int semi = line.indexOf(';');
                const QByteArray digits = (semi < 0 ? line : line.left(semi)).trimmed();
                bool ok = false;
                const qint64 size = digits.toLongLong(&ok, 16);
                if (!ok || size < 0 || digits.size() > 15)
                    return fail(ProtocolFailure, tr("Bad chunk size"));
                if (m_answer.size() + size > kMaxAnswerBytes)
                    return fail(ProtocolFailure, tr("Answer too large"));
                m_remaining = size;
                m_stage = size == 0 ? Stage::Trailer : Stage::ChunkData;
                break;
            }
            case Stage::ChunkData: {
                const int n = int(qMin<qint64>(m_remaining, m_in.size()));
                m_answer += m_in.left(n);
                m_in.remove(0, n);
                m_remaining -= n;
                if (m_remaining > 0)
                    return;
                m_stage = Stage::ChunkEnd;
                break;
            }
            case Stage::ChunkEnd: {
                QByteArray line;
                if (!takeLine(&line))
                    return;
                if (!line.isEmpty())
                    return fail(ProtocolFailure, tr("Bad chunk end"));
                m_stage = Stage::ChunkSize;
                break;
            }
            case Stage::Trailer: {
                QByteArray line;
                if (!takeLine(&line)) {
                    if (m_in.size() > kMaxHeadBytes)
                        return fail(ProtocolFailure, tr("Bad trailer"));
                    return;
                }
                if (line.isEmpty()) {
                    complete();
                    return;
                }
                break;
            }
            case Stage::Done:
                return;
            }
        }
    }

    // Reads one answer head; false when it is not whole yet (or failed).
    bool parseHead()
    {
        int end = m_in.indexOf("\r\n\r\n");
        int skip = 4;
        const int bare = m_in.indexOf("\n\n");
        if (bare >= 0 && (end < 0 || bare < end)) {
            end = bare;
            skip = 2;
        }
        if (end < 0) {
            if (m_in.size() > kMaxHeadBytes)
                fail(ProtocolFailure, tr("Answer head too long"));
            return false;
        }
        const QList<QByteArray> lines = m_in.left(end).split('\n');
        m_in.remove(0, end + skip);

        const QByteArray statusLine = lines.first().trimmed();
        const QList<QByteArray> parts = statusLine.split(' ');
        bool ok = false;
        const int status = parts.size() >= 2 ? parts.at(1).toInt(&ok) : 0;
        if (!statusLine.startsWith("HTTP/1.") || !ok || status < 100 || status > 999) {
            fail(ProtocolFailure, tr("Not an HTTP answer"));
            return false;
        }
        if (status >= 100 && status < 200) {
            if (status == 101) {
                fail(ProtocolFailure, tr("Unexpected protocol switch"));
                return false;
            }
            return true; // an interim head; the real one follows
        }
        m_headers.clear();
        for (int i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const int colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            m_headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
        m_status = status;
        m_reason = statusLine.mid(parts.at(0).size() + parts.at(1).size() + 2);

        QByteArray connection, transfer, length;
        bool lengthConflict = false;
        for (const auto &h : qAsConst(m_headers)) {
            const QByteArray name = h.first.toLower();
            if (name == "connection")
                connection += ',' + h.second;
            else if (name == "transfer-encoding")
                transfer += ',' + h.second;
            else if (name == "content-length") {
                lengthConflict = lengthConflict || (!length.isEmpty() && length != h.second);
                length = h.second;
            }
        }
        const bool http11 = statusLine.startsWith("HTTP/1.1");
        m_keepAlive = http11 ? !hasToken(connection, "close") : hasToken(connection, "keep-alive");
        m_untilClose = false;
        if (!transfer.isEmpty()) {
            const QList<QByteArray> codings = transfer.split(',');
            QByteArray last;
            for (const QByteArray &c : codings)
                if (!c.trimmed().isEmpty())
                    last = c.trimmed().toLower();
            if (last == "chunked") {
                m_stage = Stage::ChunkSize;
                return true;
            }
            m_untilClose = true;
        } else if (!length.isEmpty()) {
            const qint64 n = length.toLongLong(&ok);
            if (!ok || n < 0 || lengthConflict) {
                fail(ProtocolFailure, tr("Bad Content-Length"));
                return false;
            }
            if (n > kMaxAnswerBytes) {
                fail(ProtocolFailure, tr("Answer too large"));
                return false;
            }
            m_remaining = n;
        } else if (status == 204 || status == 304) {
            m_remaining = 0;
        } else {
            m_untilClose = true;
        }
        if (m_untilClose)
            m_keepAlive = false;
        m_stage = Stage::Body;
        return true;
    }

    void setAnswerMetaData()
    {
        setAttribute(QNetworkRequest::HttpStatusCodeAttribute, m_status);
        setAttribute(QNetworkRequest::HttpReasonPhraseAttribute, QString::fromLatin1(m_reason));
        QList<QNetworkCookie> cookies;
        for (const auto &h : qAsConst(m_headers)) {
            const bool isCookie = qstricmp(h.first.constData(), "set-cookie") == 0;
            QByteArray value = rawHeader(h.first);
            if (!value.isEmpty())
                value += isCookie ? "\n" : ", ";
            setRawHeader(h.first, value + h.second);
            if (isCookie)
                cookies += QNetworkCookie::parseCookies(h.second);
        }
        if (!cookies.isEmpty())
            if (QNetworkCookieJar *jar = m_pool->manager()->cookieJar())
                jar->setCookiesFromUrl(cookies, url());
    }

    void complete()
    {
        m_stage = Stage::Done;
        setAnswerMetaData();
        // Bytes beyond the answer would be taken for the next one.
        if (m_keepAlive && m_in.isEmpty() && m_socket
            && m_socket->state() == QAbstractSocket::ConnectedState) {
            m_socket->disconnect(this);
            m_pool->put(m_origin, m_socket);
            m_socket = nullptr;
        } else {
            dropSocket();
        }
        const NetworkError code = statusError(m_status);
        if (code != NoError)
            setError(code, QString::fromLatin1("HTTP %1 %2").arg(m_status).arg(QString::fromLatin1(m_reason)));
        setFinished(true);
        emit metaDataChanged();
        if (!m_answer.isEmpty())
            emit readyRead();
        if (code != NoError)
            emit errorOccurred(code);
        emit finished();
    }

    void fail(NetworkError code, const QString &text)
    {
        if (isFinished())
            return;
        dropSocket();
        if (m_status)
            setAnswerMetaData();
        m_answer.clear();
        setError(code, text);
        setFinished(true);
        emit errorOccurred(code);
        emit finished();
    }

    QPointer<IdleConnections> m_pool;
    QByteArray m_body;
    bool m_tls = false;
    quint16 m_port = 0;
    QString m_origin;
    QAbstractSocket *m_socket = nullptr;
    bool m_reused = false;
    bool m_anyByte = false;

    Stage m_stage = Stage::Head;
    QByteArray m_in;
    int m_status = 0;
    QByteArray m_reason;
    QList<QPair<QByteArray, QByteArray>> m_headers;
    bool m_keepAlive = false;
    bool m_untilClose = false;
    qint64 m_remaining = 0;
    QByteArray m_answer;
    qint64 m_readPos = 0;
};

// True when the manager would reach the URL's host directly.
bool directHttp(QNetworkAccessManager *manager, const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) || url.host().isEmpty())
        return false;
    if (scheme == QLatin1String("https") && !QSslSocket::supportsSsl())
        return false;
    QList<QNetworkProxy> proxies;
    const QNetworkProxyQuery query(url);
    if (QNetworkProxyFactory *factory = manager->proxyFactory())
        proxies = factory->queryProxy(query);
    else if (manager->proxy().type() != QNetworkProxy::DefaultProxy)
        proxies = {manager->proxy()};
    else
        proxies = QNetworkProxyFactory::proxyForQuery(query);
    return proxies.isEmpty() || proxies.first().type() == QNetworkProxy::NoProxy;
}

} // namespace

QNetworkReply *postInOneWrite(QNetworkAccessManager *manager, const QNetworkRequest &request,
                              const QByteArray &body)
{
    if (!directHttp(manager, request.url()))
        return manager->post(request, body);
    return new OneWritePostReply(IdleConnections::of(manager), request, body);
}

#include "OneWritePost.moc"
