#include "service/Transfer.h"

#include "service/NetworkAccess.h"
#include "service/ServiceLog.h"

#include <QFileDevice>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>

namespace {

// Bytes taken from the reply per read, and the most the reply may hold
// unread: memory stays the same whatever the file's size.
constexpr qint64 kChunk = 1024 * 1024;
constexpr qint64 kReadBuffer = 4 * 1024 * 1024;

} // namespace

Transfer::ContentRange Transfer::parseContentRange(const QByteArray &value)
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*bytes\\s+(?:(\\*)|([0-9]{1,18})-([0-9]{1,18}))/(\\*|[0-9]{1,18})\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    ContentRange range;
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(value));
    if (!m.hasMatch())
        return range;
    range.length = m.captured(4) == QLatin1String("*") ? -1 : m.captured(4).toLongLong();
    if (!m.captured(1).isEmpty()) {
        // Only a known length makes sense with an unsatisfied range.
        range.valid = range.length >= 0;
        range.unsatisfied = true;
        return range;
    }
    range.first = m.captured(2).toLongLong();
    range.last = m.captured(3).toLongLong();
    range.valid = range.first <= range.last && (range.length < 0 || range.last < range.length);
    return range;
}

Transfer *Transfer::start(const QUrl &url, QFileDevice *file, const Options &options, QObject *parent)
{
    qRegisterMetaType<Transfer::Result>("Transfer::Result");
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    // Byte offsets count bytes of the file itself, never of a compressed
    // form of it.
    request.setRawHeader("Accept-Encoding", "identity");
    const bool continuing = options.offset > 0;
    if (continuing || options.sendRange)
        request.setRawHeader("Range", "bytes=" + QByteArray::number(options.offset) + '-');
    if (continuing && !options.ifRange.isEmpty())
        request.setRawHeader("If-Range", options.ifRange);
    qCDebug(lcService) << "GET" << url.toString() << "from" << options.offset;
    QNetworkReply *reply = threadNetworkManager()->get(request);
    return new Transfer(reply, file, options, parent);
}

Transfer::Transfer(QNetworkReply *reply, QFileDevice *file, const Options &options, QObject *parent)
    : QObject(parent)
    , m_reply(reply)
    , m_file(file)
    , m_options(options)
    , m_timer(new QTimer(this))
{
    reply->setReadBufferSize(kReadBuffer);
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(options.idleTimeoutMs);
    connect(m_timer, &QTimer::timeout, this, &Transfer::onTimeout);
    connect(reply, &QNetworkReply::readyRead, this, &Transfer::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &Transfer::onReplyFinished);
    m_timer->start();
}

Transfer::~Transfer()
{
    dropReply();
}

void Transfer::abort()
{
    if (isFinished())
        return;
    dropReply();
    settle(Result::Aborted);
}

// Decides from the answer's headers where its body belongs. False when the
// transfer was settled instead.
bool Transfer::acceptHeaders()
{
    if (m_accepted)
        return true;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    m_answer.status = status;
    m_answer.etag = m_reply->rawHeader("ETag");
    m_answer.lastModified = m_reply->rawHeader("Last-Modified");
    const ContentRange range = parseContentRange(m_reply->rawHeader("Content-Range"));

    if (status == 416) {
        m_answer.length = range.valid && range.unsatisfied ? range.length : -1;
        dropReply();
        settle(Result::RangeNotSatisfiable);
        return false;
    }
    if (status == 206) {
        const qint64 offset = m_options.offset;
        bool fits = range.valid && !range.unsatisfied && range.first == offset && range.length >= 0
            && range.last == range.length - 1;
        if (offset > 0 && m_options.expectedLength >= 0)
            fits = fits && range.length == m_options.expectedLength;
        // A server that matched If-Range names the same entity tag.
        if (offset > 0 && m_options.ifRange.startsWith('"') && !m_answer.etag.isEmpty())
            fits = fits && m_answer.etag == m_options.ifRange;
        if (!fits) {
            qCDebug(lcService) << "continuation does not fit: asked from" << offset << "got"
                               << m_reply->rawHeader("Content-Range");
            m_answer.length = range.length;
            dropReply();
            settle(Result::BadRange);
            return false;
        }
        m_answer.start = offset;
        m_answer.length = range.length;
    } else if (status == 200) {
        // The whole file again: whatever was there is no part of it.
        m_answer.start = 0;
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        m_answer.length = length.isValid() ? length.toLongLong() : -1;
    } else {
        m_errorText = QStringLiteral("HTTP status %1").arg(status);
        dropReply();
        settle(Result::HttpStatus);
        return false;
    }

    if (!m_file || !m_file->isOpen() || !m_file->resize(m_answer.start) || !m_file->seek(m_answer.start)) {
        m_errorText = m_file ? m_file->errorString() : QStringLiteral("no file");
        dropReply();
        settle(Result::WriteFailed);
        return false;
    }
    m_accepted = true;
    const QPointer<Transfer> self(this);
    emit accepted();
    return self && !isFinished();
}

bool Transfer::writeAvailable()
{
    if (m_buffer.size() != kChunk)
        m_buffer.resize(int(kChunk));
    qint64 wroteNow = 0;
    while (m_reply && m_reply->bytesAvailable() > 0) {
        const qint64 n = m_reply->read(m_buffer.data(), kChunk);
        if (n <= 0)
            break;
        if (!m_file || m_file->write(m_buffer.constData(), n) != n) {
            m_errorText = m_file ? m_file->errorString() : QStringLiteral("no file");
            dropReply();
            settle(Result::WriteFailed);
            return false;
        }
        m_written += n;
        wroteNow += n;
    }
    if (wroteNow > 0) {
        m_timer->start();
        const QPointer<Transfer> self(this);
        emit progress(received(), m_answer.length);
        return self && !isFinished();
    }
    return true;
}

void Transfer::onReadyRead()
{
    if (!m_reply || isFinished())
        return;
    if (!acceptHeaders())
        return;
    writeAvailable();
}

void Transfer::onReplyFinished()
{
    if (!m_reply || isFinished())
        return;
    const QNetworkReply::NetworkError error = m_reply->error();
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // An answer with a status speaks for itself, error or not.
    if (status != 0 || error == QNetworkReply::NoError) {
        if (!acceptHeaders())
            return;
        if (!writeAvailable())
            return;
    }
    m_error = m_reply ? m_reply->error() : error;
    if (m_errorText.isEmpty() && m_error != QNetworkReply::NoError)
        m_errorText = m_reply ? m_reply->errorString() : QString();
    dropReply();
    if (m_error != QNetworkReply::NoError) {
        qCDebug(lcService) << "transfer failed after" << received() << "bytes:" << m_errorText;
        settle(Result::NetworkError);
        return;
    }
    // A connection that ends early without saying so is no complete file.
    if (m_answer.length >= 0 && received() != m_answer.length) {
        m_errorText = QStringLiteral("%1 of %2 bytes").arg(received()).arg(m_answer.length);
        settle(Result::NetworkError);
        return;
    }
    settle(Result::Complete);
}

void Transfer::onTimeout()
{
    if (isFinished())
        return;
    qCDebug(lcService) << "no data for" << m_timer->interval() << "ms";
    m_errorText = QStringLiteral("timeout");
    dropReply();
    settle(Result::TimedOut);
}

void Transfer::dropReply()
{
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply.data();
    m_reply = nullptr;
    reply->disconnect(this);
    // Aborted from the event loop: an abort from inside the reply's own
    // signals upsets its error handling.
    if (reply->isRunning())
        QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
    reply->deleteLater();
}

void Transfer::settle(Result result)
{
    m_timer->stop();
    m_result = result;
    emit finished(result);
}
