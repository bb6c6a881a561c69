#include "updater/core/UpdateFlow.h"

#include "appcenter/core/DownLoadManager.h"
#include "core/SingleInstance.h"
#include "core/Settings.h"
#include "core/UserFiles.h"
#include "platform/Platform.h"
#include "updater/core/PackageSignature.h"
#include "updater/core/PackageUnpack.h"
#include "updater/core/UpdateJournal.h"
#include "updater/core/UpdateManifest.h"
#include "updater/core/UpdaterLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QStorageInfo>
#include <QTimer>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>

namespace {

const QString kInstanceKey = QStringLiteral("OrvaneDesk");
constexpr int kPollMs = 100;
// Below this a write that failed is put down to a full disk.
constexpr qint64 kNearlyFull = 1 << 20;

} // namespace

QString UpdateFlow::Result::message() const
{
    switch (error) {
    case Error::None:
    case Error::Cancelled:
        return QString();
    case Error::NoOffer:
        return QStringLiteral("\r\n没有找到要安装的新版本。");
    case Error::Busy:
        return QStringLiteral("\r\n已有一个更新正在进行，请稍候。");
    case Error::ClientStillRunning:
        return QStringLiteral("\r\n客户端仍在运行，请关闭客户端后再更新。");
    case Error::NotWritable:
        return QStringLiteral("\r\n无权写入客户端文件夹，更新未能进行。\r\n客户端保持原来的版本。");
    case Error::DiskFull:
        return QStringLiteral("\r\n磁盘空间不足，更新未能完成。\r\n客户端保持原来的版本。");
    case Error::Download:
        return QStringLiteral("\r\n更新包下载失败，请检查网络后重试。");
    case Error::Signature:
        return QStringLiteral("\r\n更新包的签名无效，可能已被篡改。\r\n更新已停止，客户端保持原来的版本。");
    case Error::Package:
        return QStringLiteral("\r\n更新包已损坏或不完整，更新已停止。");
    case Error::Version:
        return QStringLiteral("\r\n更新包的版本与提供的版本不符。\r\n更新已停止，客户端保持原来的版本。");
    case Error::ClientDidNotStart:
        return QStringLiteral("\r\n新版本未能启动，已恢复原来的版本。");
    }
    return QString();
}

bool UpdateFlow::Result::restartClient() const
{
    return error != Error::None && error != Error::Busy && error != Error::ClientStillRunning;
}

UpdateFlow::UpdateFlow(Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_folders(m_options.clientDir)
{
    qRegisterMetaType<UpdateFlow::Result>();
    qRegisterMetaType<UpdateFlow::State>();
    if (!m_options.startClient)
        m_options.startClient = &UpdateFlow::startDetached;
    connect(&m_worker, &QFutureWatcher<Result>::finished, this, [this] {
        auto then = std::move(m_then);
        m_then = nullptr;
        if (then)
            then(m_worker.result());
    });
}

UpdateFlow::~UpdateFlow()
{
    m_cancel = true;
    m_worker.waitForFinished();
    if (m_download)
        m_download->stopDownload();
}

QString UpdateFlow::clientProgram(const QString &clientDir)
{
    const bool windows = Platform::osFamily() == QLatin1String("windows");
    return QDir(clientDir).filePath(windows ? QStringLiteral("OrvaneDesk.exe") : QStringLiteral("OrvaneDesk"));
}

bool UpdateFlow::startDetached(const QString &program, qint64 *pid)
{
    return QProcess::startDetached(program, QStringList(), QFileInfo(program).absolutePath(), pid);
}

qint64 UpdateFlow::secondsLeft() const
{
    return m_rate.secondsLeft(m_received, m_total);
}

void UpdateFlow::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    qCInfo(lcUpdater) << "state" << state;
    emit stateChanged(state);
}

void UpdateFlow::start()
{
    if (m_state != State::Idle)
        return;
    if (m_options.version.isEmpty() || m_options.url.isEmpty()) {
        QTimer::singleShot(0, this, [this] { fail(Error::NoOffer, QStringLiteral("no offer")); });
        return;
    }
    qCInfo(lcUpdater) << "updating" << m_folders.client << "to" << m_options.version << "from" << m_options.url;
    m_updateLock = std::make_unique<QLockFile>(m_folders.lock);
    m_updateLock->setStaleLockTime(0); // only a dead holder frees it
    if (!m_updateLock->tryLock(0)) {
        const bool held = m_updateLock->error() == QLockFile::LockFailedError;
        m_updateLock.reset();
        QTimer::singleShot(0, this, [this, held] {
            if (held)
                fail(Error::Busy, QStringLiteral("another update holds %1").arg(m_folders.lock));
            else
                fail(Error::NotWritable, QStringLiteral("cannot make %1").arg(m_folders.lock));
        });
        return;
    }
    // An earlier update that was killed: finish or undo it first.
    UpdateJournal::settle(m_folders);
    m_instance = std::make_unique<SingleInstance>(kInstanceKey, m_options.instanceDir);
    setState(State::WaitingForClient);
    m_waited.start();
    m_poll = new QTimer(this);
    m_poll->setInterval(kPollMs);
    connect(m_poll, &QTimer::timeout, this, &UpdateFlow::waitForClient);
    m_poll->start();
    waitForClient();
}

void UpdateFlow::waitForClient()
{
    if (m_state != State::WaitingForClient)
        return;
    if (m_cancel) {
        m_poll->stop();
        fail(Error::Cancelled, QStringLiteral("cancelled"));
        return;
    }
    // Held from now on: a client started meanwhile is refused.
    if (m_instance->tryAcquire()) {
        m_poll->stop();
        prepare();
        return;
    }
    if (m_waited.elapsed() >= m_options.clientWaitMs) {
        m_poll->stop();
        fail(Error::ClientStillRunning, QStringLiteral("the client still runs"));
    }
}

static bool canWriteIn(const QString &dir)
{
    QFile probe(dir + QStringLiteral("/.update-probe"));
    if (!probe.open(QIODevice::WriteOnly))
        return false;
    probe.close();
    return probe.remove();
}

void UpdateFlow::prepare()
{
    if (!QDir().mkpath(m_folders.work) || !canWriteIn(m_folders.work) || !canWriteIn(m_folders.client)) {
        fail(errorForWriteFailure(m_folders.work), QStringLiteral("cannot write beside or in %1").arg(m_folders.client));
        return;
    }
    downloadSignature();
}

DownLoadManager *UpdateFlow::startDownload(bool resume)
{
    auto *download = new DownLoadManager(this);
    download->setLauncher({}); // nothing downloaded here is ever run
    download->setIdleTimeout(m_options.idleTimeoutMs);
    download->setSupportBreakpoint(resume);
    connect(download, &DownLoadManager::signalDownloadError, this,
            [this](DOWNLOADETYPE kind) { onDownloadError(kind); });
    return download;
}

void UpdateFlow::downloadSignature()
{
    setState(State::Downloading);
    m_clock.start();
    // Always fetched anew: it is small, and it must be the one that
    // belongs to the package served now.
    m_download = startDownload(false);
    QUrl url(m_options.url, QUrl::TolerantMode);
    url.setPath(url.path() + QStringLiteral(".sig"));
    connect(m_download.data(), &DownLoadManager::signalReplyFinished, this, [this] {
        m_signaturePath = m_download->finishedPath();
        m_download->disconnect(this);
        m_download->deleteLater();
        downloadPackage();
    });
    m_download->downloadFile(url.toString(), m_folders.work);
}

void UpdateFlow::downloadPackage()
{
    if (m_cancel) {
        fail(Error::Cancelled, QStringLiteral("cancelled"));
        return;
    }
    // Continues the bytes of an earlier run when the server still has the
    // same file.
    m_download = startDownload(true);
    connect(m_download.data(), &DownLoadManager::signalDownloadProcess, this, [this](qint64 received, qint64 total) {
        m_received = received;
        m_total = total;
        m_rate.add(m_clock.elapsed(), received);
        emit progress(received, total);
    });
    connect(m_download.data(), &DownLoadManager::signalReplyFinished, this, [this] {
        m_packagePath = m_download->finishedPath();
        m_received = m_total = QFileInfo(m_packagePath).size();
        emit progress(m_received, m_total);
        m_download->disconnect(this);
        m_download->deleteLater();
        verify();
    });
    m_download->downloadFile(m_options.url, m_folders.work);
}

void UpdateFlow::onDownloadError(int kind)
{
    const QString detail = kind == DOWNLOAD_TIMEOUT ? QStringLiteral("download timed out")
                                                    : QStringLiteral("download failed");
    if (m_download) {
        // A time-out keeps the bytes so far for the next start.
        m_download->stopDownload();
        m_download->disconnect(this);
        m_download->deleteLater();
    }
    if (m_cancel) {
        fail(Error::Cancelled, QStringLiteral("cancelled"));
        return;
    }
    const Error error = errorForWriteFailure(m_folders.work) == Error::DiskFull ? Error::DiskFull : Error::Download;
    fail(error, detail);
}

void UpdateFlow::verify()
{
    setState(State::Verifying);
    const QString package = m_packagePath;
    const QString signaturePath = m_signaturePath;
    const QByteArray key = m_options.publicKey;
    runWorker(
        [package, signaturePath, key]() {
            Result result;
            QFile sig(signaturePath);
            QByteArray signature;
            if (sig.open(QIODevice::ReadOnly))
                signature = sig.read(PackageSignature::kSignatureBytes + 1);
            switch (PackageSignature::verifyFile(package, signature, key)) {
            case PackageSignature::Check::Valid:
                break;
            case PackageSignature::Check::Invalid:
                result.error = Error::Signature;
                result.detail = QStringLiteral("signature does not match %1").arg(package);
                break;
            case PackageSignature::Check::Unreadable:
                result.error = Error::Package;
                result.detail = QStringLiteral("cannot read %1").arg(package);
                break;
            }
            return result;
        },
        [this](const Result &result) {
            if (!result.ok()) {
                // Never kept: the next start downloads the package anew.
                QFile::remove(m_packagePath);
                QFile::remove(m_signaturePath);
                fail(result.error, result.detail);
                return;
            }
            qCInfo(lcUpdater) << "signature valid";
            unpack();
        });
}

void UpdateFlow::unpack()
{
    if (m_cancel) {
        fail(Error::Cancelled, QStringLiteral("cancelled"));
        return;
    }
    setState(State::Unpacking);
    const QString package = m_packagePath;
    const QString staging = m_folders.staging;
    const QString version = m_options.version;
    const std::atomic<bool> *cancel = &m_cancel;
    runWorker(
        [package, staging, version, cancel]() {
            Result result;
            QDir(staging).removeRecursively();
            if (!QDir().mkpath(staging)) {
                result.error = Error::NotWritable;
                result.detail = QStringLiteral("cannot make %1").arg(staging);
                return result;
            }
            const PackageUnpack::Result unpacked = PackageUnpack::unpack(package, staging, cancel);
            switch (unpacked.outcome) {
            case PackageUnpack::Outcome::Done:
                break;
            case PackageUnpack::Outcome::Refused:
            case PackageUnpack::Outcome::Broken:
                result.error = Error::Package;
                break;
            case PackageUnpack::Outcome::DiskFull:
                result.error = Error::DiskFull;
                break;
            case PackageUnpack::Outcome::WriteFailed:
                result.error = Error::NotWritable;
                break;
            case PackageUnpack::Outcome::Cancelled:
                result.error = Error::Cancelled;
                break;
            }
            if (!result.ok()) {
                result.detail = QStringLiteral("unpacking: %1").arg(unpacked.detail);
                return result;
            }
            const UpdateManifest::Manifest manifest = UpdateManifest::read(staging);
            if (!manifest.valid) {
                result.error = Error::Package;
                result.detail = QStringLiteral("no manifest in the package");
            } else if (manifest.version != version) {
                result.error = Error::Version;
                result.detail = QStringLiteral("package holds version %1, offered %2").arg(manifest.version, version);
            } else if (!QFileInfo(clientProgram(staging)).isExecutable()) {
                result.error = Error::Package;
                result.detail = QStringLiteral("package holds no client program");
            }
            return result;
        },
        [this](const Result &result) {
            if (!result.ok()) {
                fail(result.error == Error::NotWritable ? errorForWriteFailure(m_folders.staging) : result.error,
                     result.detail);
                return;
            }
            carry();
        });
}

void UpdateFlow::carry()
{
    setState(State::Installing);
    const QString from = m_folders.client;
    const QString to = m_folders.staging;
    const QString version = m_options.version;
    runWorker(
        [from, to, version]() {
            Result result;
            QString why;
            if (!UserFiles::carryOver(from, to, &why)) {
                result.error = Error::NotWritable;
                result.detail = QStringLiteral("carrying the user's files: %1").arg(why);
            } else if (!Settings::setInstalledVersion(version, to + QStringLiteral("/UpdaterVer.ini"))) {
                result.error = Error::NotWritable;
                result.detail = QStringLiteral("cannot stamp the version");
            }
            return result;
        },
        [this](const Result &result) {
            if (!result.ok()) {
                fail(errorForWriteFailure(m_folders.staging), result.detail);
                return;
            }
            install();
        });
}

void UpdateFlow::install()
{
    if (m_cancel) {
        fail(Error::Cancelled, QStringLiteral("cancelled"));
        return;
    }
    const QString mark = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QFile markFile(m_folders.stagingMark());
    bool ok = markFile.open(QIODevice::WriteOnly) && markFile.write(mark.toUtf8()) == mark.size()
        && Platform::flushToDisk(markFile);
    markFile.close();
    ok = ok && UpdateJournal::write(m_folders, {mark, m_options.version});
    if (!ok) {
        fail(errorForWriteFailure(m_folders.work), QStringLiteral("cannot write the journal"));
        return;
    }
    if (hold(QStringLiteral("staged")))
        return;
    // The one step that changes the client folder.
    if (Platform::exchangePaths(m_folders.staging, m_folders.client)) {
        m_oldFolder = m_folders.staging;
    } else {
        qCWarning(lcUpdater) << "the file system cannot swap folders in one step; renaming twice";
        const QString previous = UpdateJournal::previousFolder(m_folders);
        if (!Platform::replaceFile(m_folders.client, previous)) {
            fail(errorForWriteFailure(m_folders.work), QStringLiteral("cannot move the old client aside"));
            return;
        }
        if (!Platform::replaceFile(m_folders.staging, m_folders.client)) {
            Platform::replaceFile(previous, m_folders.client);
            fail(errorForWriteFailure(m_folders.work), QStringLiteral("cannot move the new client in"));
            return;
        }
        m_oldFolder = previous;
    }
    qCInfo(lcUpdater) << "version" << m_options.version << "is in place; the old client lies in" << m_oldFolder;
    if (hold(QStringLiteral("swapped")))
        return;
    startNewClient();
}

void UpdateFlow::startNewClient()
{
    setState(State::StartingClient);
    // The new client takes the marker over.
    m_instance->release();
    const QString program = clientProgram(m_folders.client);
    m_clientPid = 0;
    if (!m_options.startClient(program, &m_clientPid)) {
        rollBack(QStringLiteral("cannot start %1").arg(program));
        return;
    }
    qCInfo(lcUpdater) << "started the new client, process" << m_clientPid;
    m_waited.restart();
    disconnect(m_poll, nullptr, this, nullptr);
    connect(m_poll, &QTimer::timeout, this, &UpdateFlow::watchNewClient);
    m_poll->start();
}

void UpdateFlow::watchNewClient()
{
    // The client holds its marker from its first moments on.
    QLockFile marker(m_instance->lockFilePath());
    qint64 holder = 0;
    QString host, app;
    const bool held = marker.getLockInfo(&holder, &host, &app) && Platform::isProcessRunning(holder);
    const bool running = Platform::isProcessRunning(m_clientPid);
    if (held || (running && m_waited.elapsed() >= m_options.startWaitMs)) {
        m_poll->stop();
        qCInfo(lcUpdater) << "the new client runs; removing the old folder";
        UpdateJournal::finish(m_folders);
        Result result;
        result.version = m_options.version;
        finish(result);
        return;
    }
    if (!running) {
        m_poll->stop();
        rollBack(QStringLiteral("the new client ended before it started up"));
    }
}

void UpdateFlow::rollBack(const QString &why)
{
    qCWarning(lcUpdater) << why << "; putting the old client back";
    bool ok;
    if (m_oldFolder == m_folders.staging) {
        ok = Platform::exchangePaths(m_folders.staging, m_folders.client);
    } else {
        const QString failed = m_folders.staging;
        ok = Platform::replaceFile(m_folders.client, failed)
            && Platform::replaceFile(m_oldFolder, m_folders.client);
    }
    if (!ok)
        qCCritical(lcUpdater) << "cannot put the old client back; a later start will";
    else
        QDir(m_folders.work).removeRecursively();
    fail(Error::ClientDidNotStart, why);
}

bool UpdateFlow::hold(const QString &point)
{
    if (m_options.holdAt != point)
        return false;
    qCInfo(lcUpdater) << "holding at" << point;
    return true;
}

void UpdateFlow::cleanStaging()
{
    QDir(m_folders.staging).removeRecursively();
    QDir(UpdateJournal::previousFolder(m_folders)).removeRecursively();
    QFile::remove(m_folders.journal);
}

UpdateFlow::Error UpdateFlow::errorForWriteFailure(const QString &at) const
{
    QStorageInfo storage(QFileInfo::exists(at) ? at : QFileInfo(m_folders.client).absolutePath());
    storage.refresh();
    if (storage.isValid() && storage.bytesAvailable() >= 0 && storage.bytesAvailable() < kNearlyFull)
        return Error::DiskFull;
    return Error::NotWritable;
}

void UpdateFlow::fail(Error error, const QString &detail)
{
    if (m_finished)
        return;
    qCWarning(lcUpdater) << "update failed:" << error << detail;
    if (error != Error::ClientDidNotStart && error != Error::Busy && m_updateLock) {
        cleanStaging();
        // Only bytes a later start can continue stay beside the folder.
        if (QDir(m_folders.work + QStringLiteral("/downloadApp")).entryList({QStringLiteral("*_tmp")}, QDir::Files).isEmpty())
            QDir(m_folders.work).removeRecursively();
    }
    Result result;
    result.error = error;
    result.version = m_options.version;
    result.detail = detail;
    finish(result);
}

void UpdateFlow::finish(const Result &result)
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_poll)
        m_poll->stop();
    if (m_instance)
        m_instance->release();
    if (m_updateLock)
        m_updateLock->unlock();
    m_updateLock.reset();
    setState(result.ok() ? State::Done : State::Failed);
    emit finished(result);
}

void UpdateFlow::cancel()
{
    if (m_finished || m_state == State::StartingClient)
        return;
    if (m_state == State::Installing && !m_oldFolder.isEmpty())
        return;
    m_cancel = true;
    if (m_state == State::Downloading && m_download) {
        m_download->stopDownload();
        m_download->disconnect(this);
        m_download->deleteLater();
        fail(Error::Cancelled, QStringLiteral("cancelled"));
    } else if (m_state == State::Idle) {
        fail(Error::Cancelled, QStringLiteral("cancelled"));
    }
    // Waiting and the worker steps see the flag themselves.
}

void UpdateFlow::runWorker(std::function<Result()> job, std::function<void(const Result &)> then)
{
    m_then = std::move(then);
    m_worker.setFuture(QtConcurrent::run(std::move(job)));
}
