#include "appcenter/core/DownloadJob.h"

#include "appcenter/core/AppcenterLog.h"

#include <QTimer>

namespace {

// Labels change at most about three times a second, however often the
// transfer reports; the speed is measured over the last few seconds.
constexpr qint64 kRefreshMs = 300;
constexpr int kTickMs = 1000;
const QString kUnknownTime = QStringLiteral("--");

} // namespace

DownloadJob::DownloadJob(const DesktopAppInfoPtr &app, const QString &dir, QObject *parent)
    : QObject(parent)
    , m_app(app)
    , m_url(app ? app->url : QString())
    , m_dir(dir)
    , m_manager(new DownLoadManager(this))
    , m_tick(new QTimer(this))
{
    // Each application downloads into a folder of its own: two whose
    // installers have the same name go side by side.
    if (app)
        m_manager->setFolderKey(app->id);
    qRegisterMetaType<DownloadJob::State>("DownloadJob::State");
    m_tick->setInterval(kTickMs);
    connect(m_tick, &QTimer::timeout, this, &DownloadJob::refresh);
    connect(m_manager, &DownLoadManager::signalDownloadProcess, this, &DownloadJob::onProgress);
    connect(m_manager, &DownLoadManager::signalReplyFinished, this, &DownloadJob::onReplyFinished);
    connect(m_manager, &DownLoadManager::signalDownloadError, this, &DownloadJob::onError);
    clearFigures();
    m_view.status = QStringLiteral("正在下载");
}

void DownloadJob::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    if (state != State::Downloading)
        m_tick->stop();
    emit stateChanged(state);
}

void DownloadJob::start()
{
    if (m_state == State::Downloading || m_state == State::Downloaded || m_state == State::Cancelled)
        return;
    // Another address is another file: its figures start from 0. The same
    // address continues where the file stopped.
    if (m_manager->downloadUrl() != m_url)
        m_manager->resetCounters();
    m_manager->setSupportBreakpoint(true);
    m_rate.reset();
    m_elapsed.start();
    m_lastUpdateMs = 0;
    m_secondsLeft = -1;
    setState(State::Downloading);
    m_view.status = QStringLiteral("正在下载");
    m_view.speed = formatSize(0, true);
    m_view.remaining = kUnknownTime;
    m_tick->start();
    m_manager->downloadFile(m_url, m_dir);
    emit changed();
}

void DownloadJob::pause()
{
    if (m_state != State::Downloading)
        return;
    m_manager->stopDownload();
    setState(State::Paused);
    m_view.status = QStringLiteral("停止下载");
    m_view.speed = QStringLiteral("0 KB/S");
    m_view.remaining = QStringLiteral("0s");
    m_view.current = formatSize(m_received, false);
    m_view.fileSize = formatSize(m_total, false);
    m_secondsLeft = -1;
    emit changed();
}

void DownloadJob::toggle()
{
    if (m_state == State::Downloading)
        pause();
    else if (m_state == State::Paused || m_state == State::Idle)
        start();
}

void DownloadJob::cancel()
{
    if (m_state == State::Cancelled || m_state == State::Downloaded)
        return;
    m_manager->closeDownload();
    clearFigures();
    m_view.status = QStringLiteral("关闭下载");
    setState(State::Cancelled);
    emit changed();
    emit finished(OutcomeCancelled);
}

void DownloadJob::retry()
{
    if (m_state != State::Failed)
        return;
    m_view.status = QStringLiteral("开始下载");
    start();
}

void DownloadJob::onProgress(qint64 received, qint64 total)
{
    if (m_state != State::Downloading)
        return;
    m_received = received;
    m_total = total;
    m_view.progress = progressScale(received, total);
    if (m_elapsed.elapsed() - m_lastUpdateMs > kRefreshMs)
        refresh();
    else
        emit changed();
}

void DownloadJob::refresh()
{
    if (m_state != State::Downloading)
        return;
    const qint64 now = m_elapsed.elapsed();
    m_rate.add(now, m_received);
    m_lastUpdateMs = now;
    const qint64 speed = m_rate.bytesPerSecond();
    m_secondsLeft = m_rate.secondsLeft(m_received, m_total);
    m_view.speed = formatSize(speed, true);
    m_view.remaining = m_secondsLeft < 0 ? kUnknownTime : formatTime(m_secondsLeft);
    m_view.current = formatSize(m_received, false);
    m_view.fileSize = formatSize(m_total, false);
    emit changed();
}

void DownloadJob::onReplyFinished(int status)
{
    if (m_state != State::Downloading)
        return;
    if (status < 200 || status >= 400) {
        onError(DOWNLOAD_ERROR);
        return;
    }
    m_received = m_manager->bytesReceived();
    m_total = m_manager->bytesTotal();
    m_view.progress = progressScale(m_received, m_total);
    m_view.current = formatSize(m_received, false);
    m_view.fileSize = formatSize(m_total, false);
    m_view.remaining = formatTime(0);
    m_view.status = QStringLiteral("下载完成");
    setState(State::Downloaded);
    emit changed();
    emit finished(OutcomeDownloaded);
}

void DownloadJob::onError(DOWNLOADETYPE kind)
{
    if (m_state != State::Downloading)
        return;
    // A failed download leaves nothing behind; a retry starts anew.
    m_manager->closeDownload();
    clearFigures();
    m_view.status = kind == DOWNLOAD_TIMEOUT ? QStringLiteral("网络超时") : QStringLiteral("下载出错");
    qCDebug(lcAppcenter) << "download failed:" << m_view.status << m_url;
    setState(State::Failed);
    emit changed();
    emit failed(kind);
    emit finished(OutcomeFailed);
}

void DownloadJob::clearFigures()
{
    m_received = 0;
    m_total = -1;
    m_secondsLeft = -1;
    m_view.progress = ProgressScale{1, 0};
    m_view.speed = QStringLiteral("0 KB/S");
    m_view.remaining = QStringLiteral("0s");
    m_view.current = formatSize(0, false);
    m_view.fileSize = formatSize(0, false);
}
