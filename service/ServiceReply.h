#pragma once

#include "service/ServiceEnvelope.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>

class QTimer;

// One asynchronous exchange with the service. It is sent when it is made
// and emits finished() exactly once: with the answer, a failure, or
// Aborted when its owner calls abort() first; an answer beyond
// kMaxAnswerBytes is cut off as soon as it passes the bound. Failures are
// values, never exceptions or silence. Destroying the object before it finished ends the
// transfer without a signal; a late answer never reaches anyone.
class ServiceReply : public QObject
{
    Q_OBJECT
public:
    enum class Result {
        Pending,
        Ok,           // status 200, the answer is a JSON object
        Unreadable,   // status 200, but the answer is not a JSON object
        HttpStatus,   // the service answered with another status
        NetworkError, // no complete answer (refused, dropped, TLS, ...)
        TimedOut,     // no answer within the time-out
        Aborted,      // the owner called abort()
        TooLarge,     // the answer passed kMaxAnswerBytes and was cut off
    };
    Q_ENUM(Result)

    // Far above any real answer (the largest, an application list, is a
    // few hundred kilobytes); counted after decompression.
    static constexpr qint64 kMaxAnswerBytes = 64 * 1024 * 1024;

    // A Content-Encoding that leaves the body as it is (none, "identity").
    static bool isPlainCoding(const QByteArray &contentEncoding);

    // POST with a form body when body is not empty, else GET.
    static ServiceReply *send(const QString &url, const QString &body, int timeoutMs,
                              QObject *parent = nullptr);
    ~ServiceReply() override;

    Result result() const { return m_result; }
    bool isFinished() const { return m_result != Result::Pending; }
    // The service answered with status 200 within the time-out.
    bool answered() const { return m_result == Result::Ok || m_result == Result::Unreadable; }

    int httpStatus() const { return m_status; }
    QNetworkReply::NetworkError networkError() const { return m_error; }
    QByteArray body() const { return m_body; }
    // The answer as UTF-8 text; empty unless answered().
    QString text() const;
    const ServiceEnvelope &envelope() const { return m_envelope; }

public slots:
    // Ends a pending exchange; finished(Aborted) follows at once.
    void abort();

signals:
    void finished(ServiceReply::Result result);

private:
    ServiceReply(QNetworkReply *reply, int timeoutMs, QObject *parent);
    void onReplyFinished();
    void onReadyRead();
    void onTimeout();
    // Cuts the network reply loose: it can no longer report here.
    void dropReply();
    void settle(Result result);

    QPointer<QNetworkReply> m_reply;
    QTimer *m_timer = nullptr;
    Result m_result = Result::Pending;
    int m_status = 0;
    QNetworkReply::NetworkError m_error = QNetworkReply::NoError;
    QByteArray m_body;
    ServiceEnvelope m_envelope;
};
