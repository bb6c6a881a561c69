#include "service/ImageCache.h"

#include "core/AppPaths.h"
#include "core/SaveFile.h"
#include "service/NetworkAccess.h"
#include "service/ServiceLog.h"
#include "service/ServiceReply.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>

namespace {
constexpr qint64 kReadBufferBytes = 256 * 1024;
}

namespace ImageCache {

QString cacheDir(const QString &baseDir)
{
    return QDir::fromNativeSeparators(QDir(baseDir).filePath(QStringLiteral("CacheImage")));
}

QString cacheFileName(const QString &address)
{
    if (address.isEmpty())
        return QString();
    const QUrl url(address, QUrl::TolerantMode);
    const QString fileName = url.fileName(QUrl::FullyDecoded);
    if (fileName.isEmpty())
        return QString();
    QString name = QString::fromLatin1(
        QCryptographicHash::hash(address.toUtf8(), QCryptographicHash::Sha1).toHex());
    // The suffix tells the image reader the format; anything odd in it
    // could escape the folder or clash with the writer's temporary names.
    static const QRegularExpression plainSuffix(QStringLiteral("^[A-Za-z0-9]{1,10}$"));
    const QString suffix = QFileInfo(fileName).suffix();
    if (plainSuffix.match(suffix).hasMatch())
        name += QLatin1Char('.') + suffix.toLower();
    return name;
}

bool isFetchable(const QString &address)
{
    const QString scheme = QUrl(address, QUrl::TolerantMode).scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

QString localPath(const QString &baseDir, const QString &address)
{
    if (address.isEmpty() || baseDir.isEmpty())
        return baseDir;
    const QString dir = cacheDir(baseDir);
    const QString name = cacheFileName(address);
    return name.isEmpty() ? dir : dir + QLatin1Char('/') + name;
}

} // namespace ImageCache

CloudDownload::CloudDownload(QObject *parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &CloudDownload::requestTimeout);
}

CloudDownload::~CloudDownload()
{
    if (m_loop)
        m_loop->quit();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    // An uncommitted QSaveFile removes its temporary file.
}

void CloudDownload::setDownloadInfo(const QString &baseDir, const QString &address)
{
    m_localPath = baseDir;
    m_address = address;
}

bool CloudDownload::begin()
{
    m_succeeded = false;
    m_received = 0;
    if (m_address.isEmpty() || m_localPath.isEmpty() || m_reply)
        return false;

    QDir().mkpath(ImageCache::cacheDir(m_localPath));
    m_localPath = ImageCache::localPath(m_localPath, m_address);
    if (ImageCache::cacheFileName(m_address).isEmpty())
        return false;
    if (!ImageCache::isFetchable(m_address)) {
        qCWarning(lcService) << "not fetching a picture that is not http or https:" << m_address;
        return false;
    }

    m_file = std::make_unique<QSaveFile>(m_localPath);
    // Owner-only from the first byte, whatever mode an old copy had.
    if (!m_file->open(QIODevice::WriteOnly)
        || !m_file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        qCWarning(lcService) << "cannot write" << m_localPath << m_file->errorString();
        m_file.reset();
        return false;
    }

    // The platform's TLS defaults apply: current protocols, peer verified.
    QNetworkRequest request(QUrl(m_address, QUrl::TolerantMode));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    // Pictures are packed already: asked for as they are, nothing can
    // unpack in memory beyond the bound before it is checked.
    request.setRawHeader("Accept-Encoding", "identity");
    m_reply = pictureNetworkManager()->get(request);
    // The network thread waits while this much is unread, so an oversized
    // body is never held in memory beyond the bound.
    m_reply->setReadBufferSize(kReadBufferBytes);
    qCDebug(lcService) << "url-------------" << m_address;
    connect(m_reply.data(), &QNetworkReply::downloadProgress, this, &CloudDownload::readProgress);
    connect(m_reply.data(), &QNetworkReply::readyRead, this, &CloudDownload::httpReadyRead);
    connect(m_reply.data(), &QNetworkReply::finished, this, &CloudDownload::requestFinished);
    m_timer->start(m_timeoutMs);
    return true;
}

void CloudDownload::run()
{
    if (!begin())
        return;
    QEventLoop loop;
    m_loop = &loop;
    // The owner may be destroyed by an event handled while we wait.
    const QPointer<CloudDownload> self(this);
    if (m_reply)
        loop.exec();
    if (!self)
        return;
    m_loop = nullptr;
    // The wait can end before the transfer does (the thread told to quit);
    // the transfer ends with it, as at the time-out.
    if (m_reply)
        requestTimeout();
}

void CloudDownload::httpReadyRead()
{
    if (!m_reply || !m_file)
        return;
    // Packed all the same: its bytes are no picture, and nothing here
    // unpacks them.
    if (!ServiceReply::isPlainCoding(m_reply->rawHeader("Content-Encoding"))) {
        qCWarning(lcService) << "picture in a coding not asked for, dropped:" << m_address;
        fail();
        return;
    }
    const QByteArray chunk = m_reply->readAll();
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() != 200)
        return; // an error page is never a picture
    m_received += chunk.size();
    if (m_received > m_maxBytes) {
        qCWarning(lcService) << "picture larger than" << m_maxBytes << "bytes, dropped:" << m_address;
        fail();
        return;
    }
    if (m_file->write(chunk) != chunk.size() || m_file->error() != QFileDevice::NoError) {
        qCWarning(lcService) << "cannot write" << m_localPath << m_file->errorString();
        fail();
    }
}

void CloudDownload::requestFinished()
{
    if (!m_reply)
        return;
    httpReadyRead();
    if (!m_reply)
        return; // failed while taking the last bytes
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool ok = m_reply->error() == QNetworkReply::NoError && status == 200;
    if (!ok)
        qCDebug(lcService) << "picture not stored, status" << status << m_reply->errorString();
    m_reply->deleteLater();
    m_reply = nullptr;
    finish(ok);
}

void CloudDownload::requestTimeout()
{
    if (!m_reply)
        return;
    qCDebug(lcService) << "picture timed out" << m_address;
    fail();
}

void CloudDownload::fail()
{
    // Nobody waits for the rest: stop the transfer instead of letting it
    // fill the file behind the caller's back.
    QNetworkReply *reply = m_reply.data();
    m_reply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
    finish(false);
}

void CloudDownload::finish(bool ok)
{
    m_timer->stop();
    if (m_file) {
        m_succeeded = ok && SaveFile::commit(*m_file);
        if (!m_succeeded)
            m_file->cancelWriting();
        m_file.reset();
    }
    if (m_loop)
        m_loop->quit();
    if (m_succeeded)
        emit PictureLanding::instance()->landed(QDir::cleanPath(QDir::fromNativeSeparators(m_localPath)));
    emit finished_signal();
}

PictureLanding *PictureLanding::instance()
{
    static PictureLanding *landing = [] {
        auto *created = new PictureLanding;
        // Whichever thread asks first, the announcements are the GUI
        // thread's. It lasts as long as the process.
        if (QCoreApplication *app = QCoreApplication::instance())
            created->moveToThread(app->thread());
        return created;
    }();
    return landing;
}

QMetaObject::Connection PictureLanding::follow(QObject *context, const QString &path,
                                               std::function<void()> show)
{
    if (path.isEmpty() || !context || !show)
        return QMetaObject::Connection();
    const QString wanted = QDir::cleanPath(QDir::fromNativeSeparators(path));
    return connect(instance(), &PictureLanding::landed, context,
                   [wanted, show = std::move(show)](const QString &landed) {
                       if (landed == wanted)
                           show();
                   });
}

QString fetchImageToCache(const QString &address)
{
    return fetchImageToCache(address, AppPaths::appDirPath());
}

QString fetchImageToCache(const QString &address, const QString &baseDir)
{
    CloudDownload download;
    download.setDownloadInfo(baseDir, address);
    download.run();
    return QDir::fromNativeSeparators(download.localPath());
}
