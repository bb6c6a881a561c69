#include "service/ImageCache.h"

#include <QBuffer>
#include <QImage>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QtTest>

namespace {

// A loopback HTTPS server with our own test certificate that answers every
// request with one small picture. It accepts TLS 1.2 and later only.
class TlsPictureServer : public QTcpServer
{
public:
    TlsPictureServer(const QSslCertificate &cert, const QSslKey &key)
        : m_cert(cert)
        , m_key(key)
    {
        QImage image(4, 4, QImage::Format_ARGB32);
        image.fill(QColor(10, 160, 90));
        QBuffer buffer(&m_png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }

protected:
    void incomingConnection(qintptr handle) override
    {
        auto *socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(handle)) {
            delete socket;
            return;
        }
        socket->setLocalCertificate(m_cert);
        socket->setPrivateKey(m_key);
        socket->setProtocol(QSsl::TlsV1_2OrLater);
        connect(socket, &QSslSocket::readyRead, socket, [this, socket] {
            m_request += socket->readAll();
            if (!m_request.contains("\r\n\r\n"))
                return;
            m_request.clear();
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\nContent-Length: "
                          + QByteArray::number(m_png.size()) + "\r\n\r\n" + m_png);
            socket->disconnectFromHost();
        });
        connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, QOverload<const QList<QSslError> &>::of(&QSslSocket::sslErrors), socket,
                [socket] { socket->abort(); });
        socket->startServerEncryption();
    }

private:
    QSslCertificate m_cert;
    QSslKey m_key;
    QByteArray m_png;
    QByteArray m_request;
};

QByteArray readFixture(const QString &name)
{
    QFile file(qEnvironmentVariable("ORVANE_SOURCE_DIR") + QStringLiteral("/tests/service/data/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Pictures over HTTPS go through the platform's TLS defaults: current
// protocol versions and a verified peer.
class ImageTlsTest : public QObject
{
    Q_OBJECT
private slots:
    void verifiedTls_data();
    void verifiedTls();
};

void ImageTlsTest::verifiedTls_data()
{
    QTest::addColumn<bool>("trusted");
    QTest::newRow("unknown certificate is refused") << false;
    QTest::newRow("trusted certificate over TLS 1.2+") << true;
}

void ImageTlsTest::verifiedTls()
{
    QFETCH(bool, trusted);
    if (!QSslSocket::supportsSsl())
        QSKIP("no TLS library");
    const QSslCertificate cert(readFixture(QStringLiteral("loopback.crt")), QSsl::Pem);
    const QSslKey key(readFixture(QStringLiteral("loopback.key")), QSsl::Ec, QSsl::Pem);
    QVERIFY(!cert.isNull() && !key.isNull());

    const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
    if (trusted) {
        QSslConfiguration config = original;
        config.addCaCertificate(cert);
        QSslConfiguration::setDefaultConfiguration(config);
    }
    TlsPictureServer server(cert, key);
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QTemporaryDir dir;
    CloudDownload download;
    download.setTimeoutMs(5000);
    download.setDownloadInfo(dir.path(), QStringLiteral("https://127.0.0.1:%1/pic/icon.png").arg(server.serverPort()));
    download.run();
    QSslConfiguration::setDefaultConfiguration(original);

    QCOMPARE(download.succeeded(), trusted);
    QCOMPARE(QFile::exists(download.localPath()), trusted);
    if (trusted)
        QVERIFY(!QImage(download.localPath()).isNull());
    QCOMPARE(QDir(ImageCache::cacheDir(dir.path())).entryList(QDir::Files | QDir::Hidden).size(), trusted ? 1 : 0);
}

QTEST_GUILESS_MAIN(ImageTlsTest)
#include "tst_imagetls.moc"
