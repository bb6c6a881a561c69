#include "core/AppPaths.h"
#include "service/ImageCache.h"
#include "tests/support/FullDisk.h"
#include "tests/support/RefServiceProcess.h"

#include <QImage>
#include <QThread>
#include <QtTest>

#include <sys/stat.h>
#include <sys/types.h>

class ImageCacheTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cacheFileName_data();
    void cacheFileName();
    void sameNameDifferentAddresses();
    void addressWithoutFileName_data();
    void addressWithoutFileName();
    void unwritableCache();
    void refusedPictureIsNotKept_data();
    void refusedPictureIsNotKept();
    void earlierCopySurvivesFailure();
    void timedOutTransferLeavesNoFile();
    void concurrentTransfers();
    void ownerDestroyedWhileWaiting();
    void waitCutShortEndsTransfer();
    void onlyHttpAndHttps_data();
    void onlyHttpAndHttps();
    void cachedPictureIsOwnerOnly();
    void oversizedPictureIsDropped_data();
    void oversizedPictureIsDropped();
    void fullDiskKeepsEarlierCopy();

private:
    QStringList cacheEntries() const;

    std::unique_ptr<RefServiceProcess> m_service;
    std::unique_ptr<QTemporaryDir> m_appDir;
};

void ImageCacheTest::initTestCase()
{
    m_service = std::make_unique<RefServiceProcess>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
}

void ImageCacheTest::init()
{
    QVERIFY(m_service->reset());
    m_appDir = std::make_unique<QTemporaryDir>();
    AppPaths::setAppDirPathOverride(m_appDir->path());
}

QStringList ImageCacheTest::cacheEntries() const
{
    return QDir(ImageCache::cacheDir(m_appDir->path())).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

void ImageCacheTest::cacheFileName_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("same address") << "http://h/x/icon.png" << "http://h/x/icon.png" << true << ".png";
    QTest::newRow("same name, other folder") << "http://h/x/icon.png" << "http://h/y/icon.png" << false << ".png";
    QTest::newRow("other host") << "http://h/x/icon.png" << "http://g/x/icon.png" << false << ".png";
    QTest::newRow("other query") << "http://h/a.png?v=1" << "http://h/a.png?v=2" << false << ".png";
    QTest::newRow("suffix lower-cased") << "http://h/A.JPG" << "http://h/A.JPG" << true << ".jpg";
    QTest::newRow("no suffix") << "http://h/picture" << "http://h/picture" << true << "";
    QTest::newRow("odd suffix dropped") << "http://h/a.p%2Fng" << "http://h/a.p%2Fng" << true << "";
}

void ImageCacheTest::cacheFileName()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, same);
    QFETCH(QString, suffix);
    const QString na = ImageCache::cacheFileName(a);
    QCOMPARE(na == ImageCache::cacheFileName(b), same);
    QVERIFY(na.endsWith(suffix));
    // 40 hex digits of SHA-1, then the suffix; never a path separator.
    QCOMPARE(na.size(), 40 + suffix.size());
    QVERIFY(!na.contains('/') && !na.contains('\\'));
}

void ImageCacheTest::sameNameDifferentAddresses()
{
    const QString a = m_service->baseUrl() + QStringLiteral("images/app/a101/icon.png");
    const QString b = m_service->baseUrl() + QStringLiteral("images/app/a102/icon.png");
    const QString pa = fetchImageToCache(a);
    const QString pb = fetchImageToCache(b);
    QVERIFY(pa != pb);
    QVERIFY(pa.startsWith(QDir::fromNativeSeparators(m_appDir->path()) + QStringLiteral("/CacheImage/")));
    QVERIFY(pa.endsWith(QStringLiteral(".png")));
    QVERIFY(!pa.contains('\\'));
    const QImage ia(pa), ib(pb);
    QVERIFY(!ia.isNull() && !ib.isNull());
    QVERIFY(ia != ib);
    // The same address maps to the same file, fetched afresh.
    QCOMPARE(fetchImageToCache(a), pa);
    QCOMPARE(QImage(pa), ia);
    QCOMPARE(cacheEntries().size(), 2);
}

void ImageCacheTest::addressWithoutFileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("folder");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("trailing slash") << QStringLiteral("images/app/") << true;
}

void ImageCacheTest::addressWithoutFileName()
{
    QFETCH(QString, path);
    QFETCH(bool, folder);
    QVERIFY(m_service->clearRecord());
    const QString address = path.isEmpty() ? QString() : m_service->baseUrl() + path;
    const QString result = fetchImageToCache(address);
    const QString base = QDir::fromNativeSeparators(m_appDir->path());
    QCOMPARE(result, folder ? base + QStringLiteral("/CacheImage") : base);
    QVERIFY(cacheEntries().isEmpty());
    QCOMPARE(m_service->received().size(), 0); // nothing was requested
}

void ImageCacheTest::unwritableCache()
{
    // A plain file where the cache folder should be: nothing can be stored,
    // so nothing is requested, and the caller still gets the would-be path.
    QFile blocker(m_appDir->filePath(QStringLiteral("CacheImage")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(m_service->clearRecord());
    const QString address = m_service->baseUrl() + QStringLiteral("images/app/a101/icon.png");
    QCOMPARE(fetchImageToCache(address), QDir::fromNativeSeparators(m_appDir->path()) + QStringLiteral("/CacheImage/")
                                             + ImageCache::cacheFileName(address));
    QCOMPARE(m_service->received().size(), 0);
}

void ImageCacheTest::refusedPictureIsNotKept_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::newRow("missing picture") << "images/app/nosuch/icon.png" << 0;
    QTest::newRow("server error") << "images/app/a101/icon.png" << 500;
    QTest::newRow("service unreachable") << "" << 0;
}

void ImageCacheTest::refusedPictureIsNotKept()
{
    QFETCH(QString, path);
    QFETCH(int, status);
    QVERIFY(m_service->setImageStatus(status));
    // Port 9 on loopback: nobody listens there.
    const QString address = path.isEmpty() ? QStringLiteral("http://127.0.0.1:9/icon.png") : m_service->baseUrl() + path;
    CloudDownload download;
    download.setDownloadInfo(m_appDir->path(), address);
    download.run();
    QVERIFY(!download.succeeded());
    QVERIFY(download.localPath().endsWith(ImageCache::cacheFileName(address)));
    QVERIFY(!QFile::exists(download.localPath()));
    QVERIFY(cacheEntries().isEmpty());
}

void ImageCacheTest::earlierCopySurvivesFailure()
{
    const QString address = m_service->baseUrl() + QStringLiteral("images/misc/keep/icon.png");
    const QString path = fetchImageToCache(address);
    const QImage first(path);
    QVERIFY(!first.isNull());
    QVERIFY(m_service->setImageStatus(503));
    QCOMPARE(fetchImageToCache(address), path);
    QCOMPARE(QImage(path), first);
    QCOMPARE(cacheEntries(), QStringList{QFileInfo(path).fileName()});
}

void ImageCacheTest::timedOutTransferLeavesNoFile()
{
    QVERIFY(m_service->setImageHang(true));
    CloudDownload download;
    download.setTimeoutMs(800);
    download.setDownloadInfo(m_appDir->path(), m_service->baseUrl() + QStringLiteral("images/app/a201/icon.png"));
    download.run();
    QVERIFY(!download.succeeded());
    QVERIFY(!download.isRunning());
    QVERIFY(cacheEntries().isEmpty());
    // Let the service answer now: an aborted transfer writes nothing later.
    QVERIFY(m_service->setImageHang(false));
    QTest::qWait(300);
    QVERIFY(cacheEntries().isEmpty());
}

void ImageCacheTest::concurrentTransfers()
{
    QVERIFY(m_service->setImageDelay(100));
    std::vector<std::unique_ptr<CloudDownload>> downloads;
    int finished = 0;
    for (int i = 1; i <= 12; ++i) {
        auto d = std::make_unique<CloudDownload>();
        d->setDownloadInfo(m_appDir->path(), m_service->baseUrl() + QStringLiteral("images/bulk/%1/icon.png").arg(i));
        connect(d.get(), &CloudDownload::finished_signal, this, [&finished] { ++finished; });
        QVERIFY(d->begin());
        downloads.push_back(std::move(d));
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished, 12, 15000);
    QSet<QString> paths;
    for (const auto &d : downloads) {
        QVERIFY(d->succeeded());
        QVERIFY(!QImage(d->localPath()).isNull());
        paths.insert(d->localPath());
    }
    QCOMPARE(paths.size(), 12);
    QCOMPARE(cacheEntries().size(), 12);
}

void ImageCacheTest::ownerDestroyedWhileWaiting()
{
    // A widget that goes away during the wait takes its download with it;
    // the wait ends and nothing is left behind.
    QVERIFY(m_service->setImageDelay(2000));
    auto *owner = new QObject;
    QPointer<CloudDownload> download = new CloudDownload(owner);
    download->setDownloadInfo(m_appDir->path(), m_service->baseUrl() + QStringLiteral("images/app/a301/icon.png"));
    QTimer::singleShot(200, owner, [owner] { owner->deleteLater(); });
    download->run();
    QVERIFY(download.isNull());
    QVERIFY(cacheEntries().isEmpty());
}

void ImageCacheTest::waitCutShortEndsTransfer()
{
    // A thread told to quit ends every wait at once; the transfer must end
    // with it instead of finishing later behind the caller's back.
    QVERIFY(m_service->setImageHang(true));
    bool running = true;
    bool succeeded = true;
    std::unique_ptr<QThread> worker(QThread::create([&]() {
        CloudDownload download;
        download.setDownloadInfo(m_appDir->path(), m_service->baseUrl() + QStringLiteral("images/app/a101/icon.png"));
        download.run();
        running = download.isRunning();
        succeeded = download.succeeded();
    }));
    worker->start();
    QTest::qWait(300);
    worker->quit();
    QVERIFY(worker->wait(20000));
    QVERIFY(!running);
    QVERIFY(!succeeded);
    QVERIFY(cacheEntries().isEmpty());
}

void ImageCacheTest::onlyHttpAndHttps_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("sent");
    // The stored password must never be copied into the cache.
    QTest::newRow("local file") << "file://%1/Config.ini" << false;
    QTest::newRow("FIFO") << "file://%1/pipe.png" << false;
    QTest::newRow("upper-case file scheme") << "FILE://%1/Config.ini" << false;
    QTest::newRow("resource") << "qrc:/QOrvaneDesk/image/x.png" << false;
    QTest::newRow("ftp") << "ftp://127.0.0.1:9/x.png" << false;
    QTest::newRow("data") << "data:image/png;base64,iVBORw0KGgo=/x.png" << false;
    QTest::newRow("http") << "http://127.0.0.1:9/x.png" << true;
    QTest::newRow("upper-case https") << "HTTPS://127.0.0.1:9/x.png" << true;
}

void ImageCacheTest::onlyHttpAndHttps()
{
    QFETCH(QString, address);
    QFETCH(bool, sent);
    QTemporaryDir secrets;
    QFile config(secrets.filePath(QStringLiteral("Config.ini")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("[userinfo]\nuserpwd=secret\n");
    config.close();
    // A FIFO nobody writes to: opening it for reading would wait for good.
    QCOMPARE(mkfifo(QFile::encodeName(secrets.filePath(QStringLiteral("pipe.png"))).constData(), 0600), 0);
    if (address.contains(QLatin1String("%1")))
        address = address.arg(secrets.path());

    CloudDownload download;
    download.setDownloadInfo(m_appDir->path(), address);
    QCOMPARE(download.begin(), sent);
    if (sent) {
        QSignalSpy finished(&download, &CloudDownload::finished_signal);
        QVERIFY(finished.wait(15000));
    }
    QVERIFY(!download.succeeded());
    QVERIFY(cacheEntries().isEmpty());
    QCOMPARE(fetchImageToCache(address), download.localPath());
    QVERIFY(cacheEntries().isEmpty());
}

void ImageCacheTest::cachedPictureIsOwnerOnly()
{
    const mode_t previous = umask(022);
    const QString address = m_service->baseUrl() + QStringLiteral("images/app/a101/icon.png");
    const QString path = fetchImageToCache(address);
    umask(previous);
    QVERIFY(!QImage(path).isNull());
    QCOMPARE(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void ImageCacheTest::oversizedPictureIsDropped_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<int>("how");
    QTest::addColumn<bool>("stored");
    QTest::newRow("large but real") << qint64(2 * 1024 * 1024) << int(RefServiceProcess::Huge::Plain) << true;
    QTest::newRow("beyond the bound") << ImageCache::kMaxPictureBytes + 1 << int(RefServiceProcess::Huge::Plain)
                                      << false;
    // A few hundred kilobytes on the wire.
    QTest::newRow("unpacks beyond the bound") << qint64(512) * 1024 * 1024
                                              << int(RefServiceProcess::Huge::Deflated) << false;
    QTest::newRow("gzip, unpacks beyond the bound") << (qint64(3) << 30)
                                                    << int(RefServiceProcess::Huge::Gzipped) << false;
    QTest::newRow("endless") << qint64(0) << int(RefServiceProcess::Huge::Endless) << false;
}

void ImageCacheTest::oversizedPictureIsDropped()
{
    QFETCH(qint64, bytes);
    QFETCH(int, how);
    QFETCH(bool, stored);
    const QString address = m_service->baseUrl() + QStringLiteral("images/misc/huge/icon.png");
    const QString earlier = fetchImageToCache(address);
    const QImage first(earlier);
    QVERIFY(!first.isNull());

    QVERIFY(m_service->setHugeImage(bytes, RefServiceProcess::Huge(how)));
    CloudDownload download;
    // Only the bound may end the transfer, never the clock.
    download.setTimeoutMs(600000);
    download.setDownloadInfo(m_appDir->path(), address);
    QSignalSpy finished(&download, &CloudDownload::finished_signal);
    QVERIFY(download.begin());
    QVERIFY(finished.wait(60000));
    QCOMPARE(download.succeeded(), stored);
    QCOMPARE(download.localPath(), earlier);
    if (stored) {
        QCOMPARE(QFileInfo(earlier).size(), bytes);
    } else {
        QCOMPARE(QImage(earlier), first);
        QCOMPARE(cacheEntries(), QStringList{QFileInfo(earlier).fileName()});
    }
}

void ImageCacheTest::fullDiskKeepsEarlierCopy()
{
    FullDisk disk;
    if (!disk.isAvailable())
        QSKIP(qPrintable(disk.reason()));
    qInfo() << "full disk by" << disk.kind();
    const QString address = m_service->baseUrl() + QStringLiteral("images/app/a101/icon.png");
    const QString path = fetchImageToCache(address, disk.path());
    const QByteArray before = [&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QVERIFY(!QImage::fromData(before).isNull());

    QVERIFY(disk.fill());
    CloudDownload download;
    download.setDownloadInfo(disk.path(), address);
    download.run();
    disk.release();
    QVERIFY2(!download.succeeded(), qPrintable(disk.kind()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QCOMPARE(QDir(ImageCache::cacheDir(disk.path())).entryList(QDir::Files | QDir::Hidden),
             QStringList{QFileInfo(path).fileName()});
}

QTEST_GUILESS_MAIN(ImageCacheTest)
#include "tst_imagecache.moc"
