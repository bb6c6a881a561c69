#include "service/ServiceReply.h"

#include "service/NetworkAccess.h"
#include "service/OneWritePost.h"
#include "service/ServiceLog.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

bool ServiceReply::isPlainCoding(const QByteArray &contentEncoding)
{
    const QByteArray coding = contentEncoding.trimmed().toLower();
    return coding.isEmpty() || coding == "identity";
}

ServiceReply *ServiceReply::send(const QString &url, const QString &body, int timeoutMs,
                                 QObject *parent)
{
    // Queued connections and signal spies carry the result by value.
    qRegisterMetaType<ServiceReply::Result>("ServiceReply::Result");
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    // Answers are small: asked for as they are, they can never unpack in
    // memory beyond the bound before it is checked.
    request.setRawHeader("Accept-Encoding", "identity");
    QNetworkAccessManager *manager = threadNetworkManager();
    // A POST goes out in one write; see OneWritePost.h for the 40 ms that
    // manager->post() costs on a kept-alive connection.
    QNetworkReply *reply = body.isEmpty() ? manager->get(request)
                                          : postInOneWrite(manager, request, body.toUtf8());
    qCDebug(lcService) << (body.isEmpty() ? "GET" : "POST") << request.url().toString();
    return new ServiceReply(reply, timeoutMs, parent);
}

ServiceReply::ServiceReply(QNetworkReply *reply, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_reply(reply)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the time-out is a promise.
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &ServiceReply::onTimeout);
    connect(reply, &QNetworkReply::readyRead, this, &ServiceReply::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &ServiceReply::onReplyFinished);
    // The network thread waits while this much is unread, so an oversized
    // answer is never held in memory beyond the bound.
    reply->setReadBufferSize(256 * 1024);
    m_timer->start(timeoutMs);
}

ServiceReply::~ServiceReply()
{
    dropReply();
}

QString ServiceReply::text() const
{
    return answered() ? QString::fromUtf8(m_body) : QString();
}

void ServiceReply::abort()
{
    if (isFinished())
        return;
    dropReply();
    settle(Result::Aborted);
}

void ServiceReply::onReplyFinished()
{
    if (!m_reply || isFinished())
        return;
    // Settled here, when the answer comes, not when a waiter looks: a call
    // made meanwhile can hold the waiter on the stack past the time-out.
    onReadyRead();
    if (isFinished())
        return;
    m_status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    m_error = m_reply->error();
    dropReply();

    Result result;
    if (m_error == QNetworkReply::NoError && m_status == 200) {
        m_envelope = ServiceEnvelope::parse(m_body);
        result = m_envelope.valid ? Result::Ok : Result::Unreadable;
    } else {
        m_body.clear();
        result = m_status != 0 && m_status != 200 ? Result::HttpStatus : Result::NetworkError;
        qCDebug(lcService) << "request failed, status" << m_status << "error" << m_error;
    }
    settle(result);
}

void ServiceReply::onReadyRead()
{
    if (!m_reply || isFinished())
        return;
    // Packed although we asked for it as it is: nothing here unpacks it,
    // and its bytes are no answer.
    if (!isPlainCoding(m_reply->rawHeader("Content-Encoding"))) {
        qCWarning(lcService) << "answer in a coding not asked for, dropped:" << m_reply->rawHeader("Content-Encoding");
        m_body.clear();
        m_status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        dropReply();
        settle(Result::Unreadable);
        return;
    }
    const QByteArray chunk = m_reply->readAll();
    if (qint64(m_body.size()) + chunk.size() > kMaxAnswerBytes) {
        qCWarning(lcService) << "answer larger than" << kMaxAnswerBytes << "bytes, dropped";
        m_body.clear();
        m_status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        dropReply();
        settle(Result::TooLarge);
        return;
    }
    m_body += chunk;
}

void ServiceReply::onTimeout()
{
    if (isFinished())
        return;
    qCDebug(lcService) << "no answer within" << m_timer->interval() << "ms";
    // Nobody waits for this reply any more: cut it off so that its late
    // answer can never be taken for someone else's.
    dropReply();
    settle(Result::TimedOut);
}

void ServiceReply::dropReply()
{
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply.data();
    m_reply = nullptr;
    reply->disconnect(this);
    if (reply->isRunning())
        reply->abort();
    reply->deleteLater();
}

void ServiceReply::settle(Result result)
{
    m_timer->stop();
    m_result = result;
    emit finished(result);
}
