#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

class QTcpServer;
class QTcpSocket;

// A small web site of a test's own on a loopback port: each instance is an
// origin of its own ("http://127.0.0.1:PORT"), so a test can show pages of
// the service next to pages of a stranger. Paths answer what the test
// put there; anything else is 404. One request per connection.
class LoopbackSite : public QObject
{
    Q_OBJECT
public:
    struct Answer
    {
        int status = 200;
        QByteArray contentType = "text/html; charset=utf-8";
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        int delayMs = 0; // answer only after this long
    };

    explicit LoopbackSite(QObject *parent = nullptr);
    ~LoopbackSite() override;

    bool isListening() const;
    // "http://127.0.0.1:PORT"
    QString origin() const;
    // origin() + path; path starts with "/".
    QString url(const QString &path) const;

    void put(const QString &path, const Answer &answer);
    void putPage(const QString &path, const QByteArray &html);
    // A file of the client folder (ORVANE_BIN_DIR), e.g. qwebchannel.js.
    bool putClientFile(const QString &path, const QString &name, const QByteArray &contentType);

    // A page titled "stranger" that loads "qwebchannel.js" from beside it and
    // looks for the client's transport every few milliseconds; the moment
    // it appears, it sets window.sawTransport and runs calls, a script
    // body with the bridge object as "b".
    static QByteArray strangerPage(const QByteArray &calls);

    // Paths asked for so far, oldest first (with their query).
    QStringList requested() const { return m_requested; }

private:
    void onConnection();
    void onReadable(QTcpSocket *socket);

    QTcpServer *m_server;
    QHash<QString, Answer> m_answers;
    QStringList m_requested;
};
