#pragma once

#include "appcenter/core/DownloadFiles.h"
#include "service/Transfer.h"

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

// The kind of a failed download, as the row shows it.
enum DOWNLOADETYPE {
    DOWNLOAD_TIMEOUT = 0, // no data for the idle time-out
    DOWNLOAD_ERROR = 1,   // the request failed
};
Q_DECLARE_METATYPE(DOWNLOADETYPE)

// Fetches one installer into dir/downloadApp for one download row: the
// bytes go into "NAME_tmp" as they arrive, a pause keeps them, and a later
// start (in this run or the next) continues after them if, and only if,
// the server still has the same file. When every byte is there the file
// is flushed to disk, made executable, renamed to NAME (replacing an older
// one) and started.
//
// Every report comes from the event loop, never from inside a call.
class DownLoadManager : public QObject
{
    Q_OBJECT
public:
    explicit DownLoadManager(QObject *parent = nullptr);
    // A running transfer ends as a pause: the partial file and its record
    // stay for the next start.
    ~DownLoadManager() override;

    // Starts or continues the transfer; nothing when one runs.
    void downloadFile(const QString &url, const QString &dir);
    // Pauses, keeping the partial file for a continuation.
    void stopDownload();
    // Cancels: the counts are forgotten, the partial file deleted.
    void closeDownload();
    // Forgets the progress figures (the row calls it for a new address).
    void resetCounters();
    // Continue after the bytes already there (true: the row's choice);
    // false always starts the file anew.
    void setSupportBreakpoint(bool on) { m_supportBreakpoint = on; }
    QString downloadUrl() const { return m_url.toString(); }
    // The application the file is for: its downloads go into a folder of
    // their own under "downloadApp" (empty: "downloadApp" itself).
    void setFolderKey(const QString &key) { m_folderKey = key; }

    bool isRunning() const { return !m_transfer.isNull(); }
    qint64 bytesReceived() const { return m_received; }
    qint64 bytesTotal() const { return m_total; }
    QString partialPath() const { return m_partialPath; }
    // The installer's path once it is complete; empty before.
    QString finishedPath() const { return m_finishedPath; }

    void setIdleTimeout(int ms) { m_idleTimeoutMs = ms; }
    // Starts the finished installer; true when it started. The default
    // runs it as a program of its own, not waited for.
    using Launcher = std::function<bool(const QString &program)>;
    void setLauncher(Launcher launcher) { m_launcher = std::move(launcher); }
    static bool startProgram(const QString &program);

signals:
    // Bytes in the file and the file's length, both from its start; the
    // length is -1 while unknown.
    void signalDownloadProcess(qint64 bytesReceived, qint64 bytesTotal);
    // The file is complete, in place and started; the HTTP status of the
    // last answer (200 also when the bytes kept were already the whole
    // file).
    void signalReplyFinished(int status);
    void signalDownloadError(DOWNLOADETYPE kind);

private:
    enum class Start { Continue, Fresh };
    void startTransfer(Start start);
    void onAccepted();
    void onProgress(qint64 received, qint64 total);
    void onTransferFinished(Transfer::Result result);
    void finishFile(int status);
    void fail(DOWNLOADETYPE kind, bool keepPartial);
    void failLater(DOWNLOADETYPE kind);
    void endTransfer();
    // Removes the partial file and its record, unless another manager is
    // writing them.
    void removePartial();
    // One manager at a time writes a partial file: two downloads whose
    // addresses end in the same file name would mix their bytes.
    bool claimPartial();
    bool ownedByAnother() const;
    void releasePartial();

    QUrl m_url;
    QString m_folderKey;
    QString m_partialPath;
    QString m_finishedPath;
    std::unique_ptr<QFile> m_file;
    QPointer<Transfer> m_transfer;
    DownloadFiles::ResumeRecord m_record;
    bool m_supportBreakpoint = false;
    bool m_restarted = false; // this start already began the file anew once
    qint64 m_received = 0;
    qint64 m_total = -1;
    int m_idleTimeoutMs = 10000;
    Launcher m_launcher;
};
