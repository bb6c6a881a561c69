#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QFileDevice;
class QTimer;

// One GET whose body goes straight into an open file as it arrives,
// either the whole file or the continuation of the bytes already in it.
// It is sent when it is made and emits finished() exactly once, with a
// result value; destroying it earlier ends the request without a signal.
//
// A continuation is accepted only when it fits the bytes already there:
// status 206 whose Content-Range starts at the offset and names the
// expected total length. A 200 is the whole file again and rewrites it from
// byte 0. The file is never closed or reopened here; its owner keeps it.
class Transfer : public QObject
{
    Q_OBJECT
public:
    enum class Result {
        Pending,
        Complete,            // every byte of the file is in it
        HttpStatus,          // an answer other than 200, 206 or 416
        RangeNotSatisfiable, // 416: answer().length holds the length, if it said
        BadRange,            // a 206 that does not continue the bytes there
        NetworkError,        // refused, dropped, cut short, TLS, ...
        TimedOut,            // no data within the idle time-out
        WriteFailed,         // the file did not take the bytes
        Aborted,             // the owner called abort()
    };
    Q_ENUM(Result)

    struct Options
    {
        // Bytes of the file already there: the request asks for the rest.
        qint64 offset = 0;
        // Ask with a Range header even from 0 ("bytes=0-").
        bool sendRange = true;
        // Validator of the bytes already there (ETag or Last-Modified), sent
        // as If-Range with a continuation.
        QByteArray ifRange;
        // Length of the whole file the bytes already there belong to.
        qint64 expectedLength = -1;
        int idleTimeoutMs = 10000;
    };

    // What the accepted answer said about the file.
    struct Answer
    {
        int status = 0;
        qint64 start = 0;   // where its body goes in the file
        qint64 length = -1; // the whole file's length; -1 unknown
        QByteArray etag;
        QByteArray lastModified;
    };

    static Transfer *start(const QUrl &url, QFileDevice *file, const Options &options,
                           QObject *parent = nullptr);
    ~Transfer() override;

    Result result() const { return m_result; }
    bool isFinished() const { return m_result != Result::Pending; }
    const Answer &answer() const { return m_answer; }
    // Bytes of the file written so far, counted from its start.
    qint64 received() const { return m_answer.start + m_written; }
    QNetworkReply::NetworkError networkError() const { return m_error; }
    QString errorText() const { return m_errorText; }

    // "bytes */LENGTH" or "bytes FIRST-LAST/LENGTH" (LENGTH may be "*").
    struct ContentRange
    {
        bool valid = false;
        bool unsatisfied = false; // "*" in place of the range
        qint64 first = -1, last = -1, length = -1;
    };
    static ContentRange parseContentRange(const QByteArray &value);

public slots:
    // Ends a pending request; finished(Aborted) follows at once.
    void abort();

signals:
    // The answer's headers were accepted; its body goes into the file from
    // answer().start on. Comes before the first byte is written.
    void accepted();
    // received and total are counted from the start of the file; total is
    // -1 while the length is unknown.
    void progress(qint64 received, qint64 total);
    void finished(Transfer::Result result);

private:
    Transfer(QNetworkReply *reply, QFileDevice *file, const Options &options, QObject *parent);
    bool acceptHeaders();
    void onReadyRead();
    void onReplyFinished();
    void onTimeout();
    bool writeAvailable();
    void dropReply();
    void settle(Result result);

    QPointer<QNetworkReply> m_reply;
    QPointer<QFileDevice> m_file;
    Options m_options;
    QTimer *m_timer = nullptr;
    Result m_result = Result::Pending;
    bool m_accepted = false;
    Answer m_answer;
    qint64 m_written = 0;
    QNetworkReply::NetworkError m_error = QNetworkReply::NoError;
    QString m_errorText;
    QByteArray m_buffer;
};
