#include "core/AppPaths.h"
#include "login/core/CatalogueFetch.h"
#include "service/IconFetch.h"
#include "service/ImageCache.h"
#include "service/SrvInterface.h"
#include "tests/support/RefServiceProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

namespace {

// Answers every picture request after a short pause and remembers how many
// were waiting for an answer at once.
class CountingPictureServer : public QObject
{
public:
    CountingPictureServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { read(socket); });
            }
        });
    }

    QString base() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort()); }
    int requests = 0;
    int maxOutstanding = 0;

private:
    void read(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        int end;
        while ((end = buffer.indexOf("\r\n\r\n")) >= 0) {
            buffer.remove(0, end + 4);
            ++requests;
            ++m_outstanding;
            maxOutstanding = qMax(maxOutstanding, m_outstanding);
            QPointer<QTcpSocket> guard(socket);
            QTimer::singleShot(30, this, [this, guard]() {
                --m_outstanding;
                if (!guard)
                    return;
                const QByteArray body = "\x89PNG fake";
                guard->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: "
                             + QByteArray::number(body.size()) + "\r\n\r\n" + body);
            });
        }
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    int m_outstanding = 0;
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

class TestIconFetch : public QObject
{
    Q_OBJECT

private slots:
    void sameResultAsOneAtATime();
    void catalogueAndFileMatchOneAtATime();
    void fewAtATimePerHost();
    void hangingHostEndsWithTimeouts();
    void waitEndedEarlyStillGivesEveryPath();
    void waitsOneTimeoutInAll();
    void restGoesWithItsOwner();
};

void TestIconFetch::sameResultAsOneAtATime()
{
    RefServiceProcess service;
    QVERIFY2(service.isRunning(), qPrintable(service.errorText()));
    const QString b = service.baseUrl();
    const QStringList addresses{
        b + "images/bulk/1/icon.png", b + "images/bulk/2/icon.png", QString(),
        b + "images/bulk/1/icon.png", b + "images/", b + "images/nothing-here.png",
        "http://127.0.0.1:9/down.png"};
    QTemporaryDir one, many;
    const QStringList sequential = IconFetch::sequential(addresses, one.path());
    const QStringList concurrent = IconFetch::concurrent(addresses, many.path());
    QCOMPARE(concurrent.size(), addresses.size());
    for (int i = 0; i < addresses.size(); ++i) {
        QString expected = sequential[i];
        expected.replace(one.path(), many.path());
        QCOMPARE(concurrent[i], expected);
        QCOMPARE(readAll(concurrent[i]), readAll(sequential[i]));
    }
    QVERIFY(concurrent[0].startsWith(many.path() + "/CacheImage/"));
    QVERIFY(QFileInfo(concurrent[0]).size() > 0);
    QCOMPARE(concurrent[0], concurrent[3]);
    QCOMPARE(concurrent[2], many.path()); // no address: the base folder
    QCOMPARE(concurrent[4], many.path() + "/CacheImage"); // no file name
    QVERIFY(!QFile::exists(concurrent[6])); // nothing came, nothing stored
}

void TestIconFetch::catalogueAndFileMatchOneAtATime()
{
    RefServiceProcess service;
    QVERIFY2(service.isRunning(), qPrintable(service.errorText()));
    QVERIFY(service.setCatalogueSize(40));
    QVERIFY(service.setImageDelay(10));
    AppPaths::setServerAddress(service.baseUrl());
    const auto credentials = service.demoCredentials();

    QTemporaryDir one, many;
    auto hooks = [](const QString &base, bool concurrent) {
        CatalogueFetch::Hooks h;
        h.requestApps = [](const QString &uid, const QString &token, QString *answer) {
            return SrvInterface().getCloudDesktopAppFullInfo(uid, token, answer);
        };
        h.message = [](const QString &text) { QFAIL(qPrintable(text)); };
        h.fetchIcons = [base, concurrent](const QStringList &addresses) {
            return concurrent ? IconFetch::concurrent(addresses, base)
                              : IconFetch::sequential(addresses, base);
        };
        return h;
    };
    DesktopAppCatalogue sequential, concurrent;
    QVERIFY(CatalogueFetch::run(hooks(one.path(), false), credentials.second, credentials.first,
                                one.filePath("DesktopApp.xml"), &sequential));
    QVERIFY(CatalogueFetch::run(hooks(one.path(), true), credentials.second, credentials.first,
                                many.filePath("DesktopApp.xml"), &concurrent));
    // Both into the same cache folder: same paths, same bytes in the file.
    QVERIFY(sameCatalogue(concurrent, sequential));
    QCOMPARE(readAll(many.filePath("DesktopApp.xml")), readAll(one.filePath("DesktopApp.xml")));
    int apps = 0;
    for (const auto &entry : concurrent)
        apps += entry.second.size();
    QCOMPARE(apps, 40);
    AppPaths::setServerAddress(QString());
}

void TestIconFetch::fewAtATimePerHost()
{
    CountingPictureServer server;
    QStringList addresses;
    for (int i = 0; i < 20; ++i)
        addresses << server.base() + QStringLiteral("p/%1.png").arg(i);
    QTemporaryDir dir;
    const QStringList paths = IconFetch::concurrent(addresses, dir.path(), 4);
    QCOMPARE(server.requests, 20);
    QVERIFY2(server.maxOutstanding > 1, "pictures were fetched one at a time");
    QVERIFY2(server.maxOutstanding <= 4, qPrintable(QString::number(server.maxOutstanding)));
    for (const QString &path : paths)
        QCOMPARE(readAll(path), QByteArray("\x89PNG fake"));
}

void TestIconFetch::hangingHostEndsWithTimeouts()
{
    RefServiceProcess service;
    QVERIFY2(service.isRunning(), qPrintable(service.errorText()));
    QVERIFY(service.setImageHang(true));
    QStringList addresses;
    for (int i = 1; i <= 6; ++i)
        addresses << service.baseUrl() + QStringLiteral("images/bulk/%1/icon.png").arg(i);
    QTemporaryDir dir;
    // Each picture gets its own bound; the call comes back with every path.
    const QStringList paths = IconFetch::concurrent(addresses, dir.path(), 4, 300);
    QCOMPARE(paths.size(), 6);
    for (const QString &path : paths) {
        QVERIFY(path.startsWith(dir.path() + "/CacheImage/"));
        QVERIFY(!QFile::exists(path));
    }
    // No partial or temporary files are left behind.
    QCOMPARE(QDir(dir.filePath("CacheImage")).entryList(QDir::Files), QStringList());
    service.setImageHang(false);
}

void TestIconFetch::waitEndedEarlyStillGivesEveryPath()
{
    // When the thread is told to quit, every wait ends at once. The one at
    // a time fetch then still gives each address its cache path, and so
    // must the concurrent one, or the catalogue written next loses icons.
    RefServiceProcess service;
    QVERIFY2(service.isRunning(), qPrintable(service.errorText()));
    QVERIFY(service.setImageHang(true));
    QStringList addresses{QString()};
    for (int i = 1; i <= 10; ++i)
        addresses << service.baseUrl() + QStringLiteral("images/bulk/%1/icon.png").arg(i);
    QTemporaryDir dir;
    QStringList sequential, concurrent;
    std::unique_ptr<QThread> worker(QThread::create([&]() {
        concurrent = IconFetch::concurrent(addresses, dir.path(), 2);
        sequential = IconFetch::sequential(addresses, dir.path());
    }));
    worker->start();
    QTest::qWait(300);
    worker->quit();
    QVERIFY(worker->wait(20000));
    QCOMPARE(concurrent, sequential);
    QCOMPARE(concurrent[0], dir.path());
    QCOMPARE(concurrent[1], dir.path() + "/CacheImage/" + ImageCache::cacheFileName(addresses[1]));
    QCOMPARE(QDir(dir.filePath("CacheImage")).entryList(QDir::Files | QDir::Hidden), QStringList());
    QVERIFY(service.setImageHang(false));
}

namespace {

int pictureRequests(const RefServiceProcess &service)
{
    int count = 0;
    for (const QJsonValue &entry : service.received())
        count += entry.toObject().value("path").toString().startsWith("images/") ? 1 : 0;
    return count;
}

QStringList cached(const QTemporaryDir &dir)
{
    return QDir(dir.filePath("CacheImage")).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

void TestIconFetch::waitsOneTimeoutInAll()
{
    // Twenty-four silent icons, four at a time, 1.5 s each: one at a time
    // they would hold the sign-in for six rounds; it waits for one.
    RefServiceProcess service;
    QVERIFY2(service.isRunning(), qPrintable(service.errorText()));
    QVERIFY(service.setImageHang(true));
    QStringList addresses;
    for (int i = 1; i <= 24; ++i)
        addresses << service.baseUrl() + QStringLiteral("images/bulk/%1/icon.png").arg(i);
    QTemporaryDir dir;
    QObject owner;
    const QStringList paths = IconFetch::concurrent(addresses, dir.path(), 4, 1500, &owner);
    const int requested = pictureRequests(service);
    QVERIFY2(requested <= 8, qPrintable(QString::number(requested)));
    QCOMPARE(paths.size(), 24);
    for (int i = 0; i < 24; ++i)
        QCOMPARE(paths[i], dir.path() + "/CacheImage/" + ImageCache::cacheFileName(addresses[i]));

    // The rest go on behind the sign-in and arrive at their paths.
    QVERIFY(service.setImageHang(false));
    QTRY_COMPARE_WITH_TIMEOUT(pictureRequests(service), 24, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(cached(dir).size() >= 24 - requested, 30000);
    for (int i = requested; i < 24; ++i)
        QVERIFY2(QFileInfo(paths[i]).size() > 0, qPrintable(paths[i]));
}

void TestIconFetch::restGoesWithItsOwner()
{
    RefServiceProcess service;
    QVERIFY2(service.isRunning(), qPrintable(service.errorText()));
    QVERIFY(service.setImageHang(true));
    QStringList addresses;
    for (int i = 1; i <= 12; ++i)
        addresses << service.baseUrl() + QStringLiteral("images/bulk/%1/icon.png").arg(i);
    QTemporaryDir dir;
    auto owner = std::make_unique<QObject>();
    IconFetch::concurrent(addresses, dir.path(), 4, 400, owner.get());
    QCOMPARE(owner->children().size(), 1); // the rest still under way
    owner.reset();
    // Nothing of it is left to answer: no file appears later.
    QVERIFY(service.setImageHang(false));
    QTest::qWait(500);
    QCOMPARE(cached(dir), QStringList());
}

QTEST_GUILESS_MAIN(TestIconFetch)
#include "tst_iconfetch.moc"
