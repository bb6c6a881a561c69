#include "core/AppPaths.h"
#include "service/ImageCache.h"
#include "tests/support/RefServiceProcess.h"

#include <QImage>
#include <QThread>
#include <QtTest>

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

QTEST_GUILESS_MAIN(ImageCacheTest)
#include "tst_imagecache.moc"
