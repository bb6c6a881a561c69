#include "tests/support/LoopbackSite.h"

#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

LoopbackSite::LoopbackSite(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &LoopbackSite::onConnection);
    m_server->listen(QHostAddress::LocalHost, 0);
}

LoopbackSite::~LoopbackSite() = default;

bool LoopbackSite::isListening() const
{
    return m_server->isListening();
}

QString LoopbackSite::origin() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server->serverPort());
}

QString LoopbackSite::url(const QString &path) const
{
    return origin() + path;
}

void LoopbackSite::put(const QString &path, const Answer &answer)
{
    m_answers.insert(path, answer);
}

void LoopbackSite::putPage(const QString &path, const QByteArray &html)
{
    Answer answer;
    answer.body = html;
    put(path, answer);
}

bool LoopbackSite::putClientFile(const QString &path, const QString &name, const QByteArray &contentType)
{
    QFile file(qEnvironmentVariable("ORVANE_BIN_DIR") + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    Answer answer;
    answer.contentType = contentType;
    answer.body = file.readAll();
    put(path, answer);
    return true;
}

QByteArray LoopbackSite::strangerPage(const QByteArray &calls)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>stranger</title>\n"
           "<script src=\"qwebchannel.js\"></script>\n"
           "<script>\n"
           "window.sawTransport = false;\n"
           "var look = setInterval(function () {\n"
           "  if (!(window.qt && qt.webChannelTransport)) return;\n"
           "  window.sawTransport = true;\n"
           "  clearInterval(look);\n"
           "  new QWebChannel(qt.webChannelTransport, function (ch) { var b = ch.objects.QJsInterface;\n"
        + calls
        + "\n  });\n"
          "}, 2);\n"
          "</script></head><body>stranger</body></html>\n";
}

void LoopbackSite::onConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
    }
}

void LoopbackSite::onReadable(QTcpSocket *socket)
{
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n"))
        return;
    socket->setProperty("answered", true);
    const QList<QByteArray> line = request.left(request.indexOf("\r\n")).split(' ');
    const QString target = line.size() >= 2 ? QString::fromLatin1(line.at(1)) : QString();
    m_requested.append(target);
    const QString path = QUrl(target).path();

    Answer answer;
    if (m_answers.contains(path)) {
        answer = m_answers.value(path);
    } else {
        answer.status = 404;
        answer.contentType = "text/plain";
        answer.body = "not here\n";
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + " Answer\r\n";
    if (answer.status != 204 && answer.status != 304)
        head += "Content-Type: " + answer.contentType + "\r\nContent-Length: "
            + QByteArray::number(answer.body.size()) + "\r\n";
    for (const auto &header : answer.headers)
        head += header.first + ": " + header.second + "\r\n";
    head += "Cache-Control: no-store\r\nConnection: close\r\n\r\n";
    if (answer.status != 204 && answer.status != 304)
        head += answer.body;

    const QPointer<QTcpSocket> alive(socket);
    auto send = [alive, head] {
        if (!alive)
            return;
        alive->write(head);
        alive->disconnectFromHost();
    };
    if (answer.delayMs > 0)
        QTimer::singleShot(answer.delayMs, this, send);
    else
        send();
}
