#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>

#include <atomic>
#include <string>
#include <thread>

class QEventLoop;
class Store;

namespace PushServerDetail {
class Hub;
}

// The push server of the reference service: a WebSocket server on a
// loopback port of its own, run on a thread with its own event loop, which
// delivers notices and application offers to signed-in users and keeps a
// bounded backlog per user so that a client coming back after a drop gets
// what it missed. The wire protocol is in README.md.
//
// Every public function may be called from any thread (the HTTP handlers'
// included); the work is done on the push thread.
class PushServer
{
public:
    static constexpr int kBacklogPerUser = 100;

    explicit PushServer(Store &store);
    ~PushServer();
    PushServer(const PushServer &) = delete;
    PushServer &operator=(const PushServer &) = delete;

    // Starts the thread and listens on host:port (0: any free port).
    bool start(const QString &host, quint16 port = 0);
    // Closes every connection and ends the thread.
    void stop();

    QString host() const { return m_host; }
    // The port it listens on (kept while stopped by the pushServer switch).
    quint16 port() const { return m_port; }

    // The push admin paths ("push", "pushDrop", "pushServer", "pushMute",
    // "pushClients"). False when name is not one of them; otherwise *answer
    // is the envelope to send. base is the service's address, for icons.
    bool admin(const std::string &name, bool post, const QMap<QString, QString> &in,
               const QString &base, QJsonObject *answer);

    // Back to normal: listening, answering pings. The backlog stays.
    void reset();

private:
    Store &m_store;
    QString m_host;
    std::atomic<quint16> m_port{0};
    // A plain thread running a Qt event loop: joining it waits for the
    // thread's very end, its database connection's clean-up included,
    // which QThread::wait() does not.
    std::thread m_thread;
    PushServerDetail::Hub *m_hub = nullptr; // lives on m_thread, while it runs
    QEventLoop *m_loop = nullptr;
};
