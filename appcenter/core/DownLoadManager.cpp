#include "appcenter/core/DownLoadManager.h"

#include "appcenter/core/AppcenterLog.h"
#include "platform/Platform.h"

#include <QDir>
#include <QHash>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

using namespace DownloadFiles;

namespace {

// Partial files being written, and by whom. GUI thread only.
QHash<QString, const DownLoadManager *> &partialOwners()
{
    static QHash<QString, const DownLoadManager *> owners;
    return owners;
}

} // namespace

DownLoadManager::DownLoadManager(QObject *parent)
    : QObject(parent)
    , m_launcher(&DownLoadManager::startProgram)
{
    qRegisterMetaType<DOWNLOADETYPE>("DOWNLOADETYPE");
}

DownLoadManager::~DownLoadManager()
{
    endTransfer();
}

bool DownLoadManager::startProgram(const QString &program)
{
    return QProcess::startDetached(program, {}, QFileInfo(program).absolutePath());
}

void DownLoadManager::downloadFile(const QString &url, const QString &dir)
{
    if (isRunning())
        return;
    m_url = QUrl(url, QUrl::TolerantMode);
    m_finishedPath.clear();
    m_restarted = false;
    const QString scheme = m_url.scheme().toLower();
    const QString name = fileNameOf(m_url);
    // An address that names no file would write "_tmp" into the folder and
    // fail only at the end.
    if (name.isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        qCWarning(lcAppcenter) << "no file to download at" << url;
        m_partialPath.clear();
        failLater(DOWNLOAD_ERROR);
        return;
    }
    const QString folder = folderOf(dir, m_folderKey);
    if (!QDir().mkpath(folder)) {
        qCWarning(lcAppcenter) << "cannot make" << folder;
        m_partialPath.clear();
        failLater(DOWNLOAD_ERROR);
        return;
    }
    m_partialPath = DownloadFiles::partialPath(folder, name);
    if (!claimPartial()) {
        qCWarning(lcAppcenter) << "another download writes" << m_partialPath;
        failLater(DOWNLOAD_ERROR);
        return;
    }
    startTransfer(Start::Continue);
    if (!isRunning())
        releasePartial();
}

bool DownLoadManager::claimPartial()
{
    if (ownedByAnother())
        return false;
    partialOwners().insert(QFileInfo(m_partialPath).absoluteFilePath(), this);
    return true;
}

bool DownLoadManager::ownedByAnother() const
{
    if (m_partialPath.isEmpty())
        return false;
    const DownLoadManager *owner = partialOwners().value(QFileInfo(m_partialPath).absoluteFilePath());
    return owner && owner != this;
}

void DownLoadManager::releasePartial()
{
    if (m_partialPath.isEmpty())
        return;
    const QString key = QFileInfo(m_partialPath).absoluteFilePath();
    if (partialOwners().value(key) == this)
        partialOwners().remove(key);
}

void DownLoadManager::startTransfer(Start start)
{
    Transfer::Options options;
    options.idleTimeoutMs = m_idleTimeoutMs;
    options.sendRange = m_supportBreakpoint;
    qint64 offset = 0;
    if (start == Start::Continue && m_supportBreakpoint) {
        const auto record = readRecord(recordPath(m_partialPath));
        const QFileInfo partial(m_partialPath);
        const qint64 localSize = partial.isFile() ? partial.size() : 0;
        if (record && record->continues(m_url.toString(), localSize)) {
            offset = localSize;
            m_record = *record;
            options.ifRange = record->validator();
            options.expectedLength = record->length;
        }
    }
    if (offset == 0) {
        // Bytes without a record that vouches for them are no part of
        // this file; a fresh start never appends to them.
        removePartial();
        m_record = ResumeRecord();
    }

    m_file = std::make_unique<QFile>(m_partialPath);
    // Unbuffered: each chunk goes to the system as it arrives.
    if (!m_file->open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        qCWarning(lcAppcenter) << "cannot write" << m_partialPath << m_file->errorString();
        m_file.reset();
        failLater(DOWNLOAD_ERROR);
        return;
    }
    options.offset = offset;
    m_received = offset;
    m_total = offset > 0 ? m_record.length : -1;
    qCDebug(lcAppcenter) << "download" << m_url.toString() << "from byte" << offset;
    m_transfer = Transfer::start(m_url, m_file.get(), options, this);
    connect(m_transfer.data(), &Transfer::accepted, this, &DownLoadManager::onAccepted);
    connect(m_transfer.data(), &Transfer::progress, this, &DownLoadManager::onProgress);
    connect(m_transfer.data(), &Transfer::finished, this, &DownLoadManager::onTransferFinished);
}

void DownLoadManager::onAccepted()
{
    const Transfer::Answer &answer = m_transfer->answer();
    if (answer.start == 0) {
        // The whole file (again): its validators are the ones kept now, on
        // disk before any of its bytes.
        m_record = ResumeRecord{m_url.toString(), answer.etag, answer.lastModified, answer.length};
        const QString path = recordPath(m_partialPath);
        if (m_record.validator().isEmpty() || !writeRecord(path, m_record))
            QFile::remove(path); // nothing can vouch for a continuation
    }
    m_received = answer.start;
    m_total = answer.length;
}

void DownLoadManager::onProgress(qint64 received, qint64 total)
{
    m_received = received;
    m_total = total;
    emit signalDownloadProcess(received, total);
}

void DownLoadManager::onTransferFinished(Transfer::Result result)
{
    Transfer *transfer = m_transfer.data();
    if (!transfer)
        return;
    const Transfer::Answer answer = transfer->answer();
    const QString errorText = transfer->errorText();
    m_transfer = nullptr;
    transfer->disconnect(this);
    transfer->deleteLater();

    const auto startOver = [this] {
        if (m_restarted) {
            fail(DOWNLOAD_ERROR, false);
            return;
        }
        m_restarted = true;
        m_file.reset();
        startTransfer(Start::Fresh);
    };

    switch (result) {
    case Transfer::Result::Complete:
        finishFile(answer.status);
        return;
    case Transfer::Result::RangeNotSatisfiable: {
        // Nothing lies after the bytes kept: they are the whole file if the
        // server's length and tag say so, else the file changed.
        const qint64 local = m_file ? m_file->size() : -1;
        const bool sameTag = answer.etag.isEmpty() || !m_record.etag.startsWith('"') || answer.etag == m_record.etag;
        const bool whole = answer.length > 0 && local == answer.length
            && (m_record.length < 0 || m_record.length == answer.length) && sameTag;
        qCDebug(lcAppcenter) << "416: kept" << local << "bytes, file has" << answer.length;
        if (whole) {
            m_total = answer.length;
            finishFile(200);
        } else {
            startOver();
        }
        return;
    }
    case Transfer::Result::BadRange:
        startOver();
        return;
    case Transfer::Result::TimedOut:
        // Like a pause: the bytes so far stay until the row decides.
        m_file.reset();
        releasePartial();
        emit signalDownloadError(DOWNLOAD_TIMEOUT);
        return;
    case Transfer::Result::Aborted:
    case Transfer::Result::Pending:
        return;
    case Transfer::Result::HttpStatus:
    case Transfer::Result::NetworkError:
    case Transfer::Result::WriteFailed:
        qCWarning(lcAppcenter) << "download failed:" << result << errorText;
        fail(DOWNLOAD_ERROR, false);
        return;
    }
}

void DownLoadManager::finishFile(int status)
{
    const QString finalName = finalPath(m_partialPath);
    bool ok = m_file && m_file->isOpen() && (m_total < 0 || m_file->size() == m_total);
    // On disk before the name says the file is complete.
    ok = ok && Platform::flushToDisk(*m_file);
    if (m_file)
        m_file->close();
    m_file.reset();
    if (ok) {
        QFile file(m_partialPath);
        ok = file.setPermissions(file.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                 | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    }
    // What runs must be what was just downloaded, never an older file of
    // the same name.
    ok = ok && Platform::replaceFile(m_partialPath, finalName);
    if (!ok) {
        qCWarning(lcAppcenter) << "cannot put the download in place:" << finalName;
        fail(DOWNLOAD_ERROR, false);
        return;
    }
    QFile::remove(recordPath(m_partialPath));
    releasePartial();
    m_finishedPath = finalName;
    m_received = QFileInfo(finalName).size();
    m_total = m_received;
    qCDebug(lcAppcenter) << "downloaded" << finalName;
    if (m_launcher && !m_launcher(finalName))
        qCWarning(lcAppcenter) << "cannot start" << finalName;
    emit signalReplyFinished(status);
}

void DownLoadManager::fail(DOWNLOADETYPE kind, bool keepPartial)
{
    endTransfer();
    if (!keepPartial) {
        removePartial();
        resetCounters();
    }
    emit signalDownloadError(kind);
}

void DownLoadManager::failLater(DOWNLOADETYPE kind)
{
    QTimer::singleShot(0, this, [this, kind] {
        if (!isRunning())
            emit signalDownloadError(kind);
    });
}

void DownLoadManager::endTransfer()
{
    if (Transfer *transfer = m_transfer.data()) {
        m_transfer = nullptr;
        transfer->disconnect(this);
        transfer->abort();
        transfer->deleteLater();
    }
    m_file.reset();
    releasePartial();
}

void DownLoadManager::stopDownload()
{
    if (!isRunning())
        return;
    endTransfer();
}

void DownLoadManager::closeDownload()
{
    endTransfer();
    removePartial();
    resetCounters();
}

void DownLoadManager::resetCounters()
{
    m_received = 0;
    m_total = -1;
}

void DownLoadManager::removePartial()
{
    m_file.reset();
    // A manager that was refused the file (or lost it to another after a
    // pause) has no say over it.
    if (m_partialPath.isEmpty() || ownedByAnother())
        return;
    QFile::remove(m_partialPath);
    QFile::remove(recordPath(m_partialPath));
}
