#pragma once

#include "appcenter/core/DownLoadManager.h"
#include "appcenter/core/DownloadFormat.h"
#include "appcenter/core/RateMeter.h"
#include "catalogue/DesktopAppInfo.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QTimer;

// What one download row does, without the row: drives the application's
// DownLoadManager, keeps the state (downloading, paused, failed, ...) and
// the texts the row shows, and reports the outcome once.
class DownloadJob : public QObject
{
    Q_OBJECT
public:
    enum class State { Idle, Downloading, Paused, Failed, Downloaded, Cancelled };
    Q_ENUM(State)
    // The outcome handed to the window, as signalFinish carries it.
    enum Outcome { OutcomeCancelled = 0, OutcomeFailed = 1, OutcomeDownloaded = 2 };

    // The texts and figures of the row.
    struct View
    {
        QString status;
        QString speed;
        QString remaining;
        QString current;
        QString fileSize;
        ProgressScale progress;
    };

    // dir: the folder that holds "downloadApp" (the executable's).
    DownloadJob(const DesktopAppInfoPtr &app, const QString &dir, QObject *parent = nullptr);

    DesktopAppInfoPtr app() const { return m_app; }
    QString url() const { return m_url; }
    State state() const { return m_state; }
    const View &view() const { return m_view; }
    DownLoadManager *manager() const { return m_manager; }
    // Whole seconds left, -1 while unknown (no speed, no length).
    qint64 secondsLeft() const { return m_secondsLeft; }

public slots:
    // Starts or continues the download.
    void start();
    // Pauses; the bytes so far stay for start().
    void pause();
    // Pause while downloading, else continue.
    void toggle();
    // Cancels in any state: the partial file goes, finished(OutcomeCancelled).
    void cancel();
    // After a failure: starts the file again from its first byte.
    void retry();

signals:
    void changed();
    void stateChanged(DownloadJob::State state);
    // OutcomeFailed may come more than once (each failure), the other two
    // end the job.
    void finished(int outcome);
    // The failure's kind, with the state already Failed.
    void failed(DOWNLOADETYPE kind);

private:
    void onProgress(qint64 received, qint64 total);
    void onReplyFinished(int status);
    void onError(DOWNLOADETYPE kind);
    void refresh();
    void clearFigures();
    void setState(State state);

    DesktopAppInfoPtr m_app;
    QString m_url;
    QString m_dir;
    DownLoadManager *m_manager;
    QTimer *m_tick;
    QElapsedTimer m_elapsed;
    qint64 m_lastUpdateMs = 0;
    qint64 m_received = 0;
    qint64 m_total = -1;
    qint64 m_secondsLeft = -1;
    RateMeter m_rate;
    State m_state = State::Idle;
    View m_view;
};
