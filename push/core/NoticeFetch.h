#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class ServiceReply;

// Fetches the first page of the user's notices from the service and turns
// them into the one script call that draws them (NoticeList). It never
// waits: the window that started it keeps running, and a window that goes
// away while the request is out takes the fetch with it.
class NoticeFetch : public QObject
{
    Q_OBJECT
public:
    explicit NoticeFetch(QObject *parent = nullptr);
    ~NoticeFetch() override;

    // Asks for page "1" with this uid and token. A fetch still out is
    // cancelled first.
    void start(const QString &uid, const QString &token);
    // Ends a fetch still out; finished(false) follows at once.
    void cancel();
    bool isRunning() const { return !m_reply.isNull(); }

signals:
    // Exactly once per start(): ok with the addLi script when the service
    // answered "code" 200 and "message" "ok"; otherwise not ok and no script.
    void finished(bool ok, const QString &script);

private:
    QPointer<ServiceReply> m_reply;
};
