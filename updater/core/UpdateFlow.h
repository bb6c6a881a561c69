#pragma once

#include "appcenter/core/RateMeter.h"
#include "updater/core/UpdateFolders.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class DownLoadManager;
class QLockFile;
class QTimer;
class SingleInstance;

// Installs an offered version over a client folder:
//   wait until the client has ended (and keep it from starting meanwhile),
//   download the package and its signature (continuing an earlier
//   download), verify the Ed25519 signature over the whole package,
//   unpack it into a staging folder beside the client folder, check that
//   its manifest names the offered version, carry the user's files over,
//   stamp the version, swap the staging folder in with one rename, start
//   the new client and, once it runs, remove the old folder.
// Until the swap nothing of the client folder changes; a failure before it
// leaves the folder as it was, one after it (the new client does not
// start) swaps the old folder back. A journal lets a later start finish or
// undo an update that was killed.
class UpdateFlow : public QObject
{
    Q_OBJECT
public:
    enum class State {
        Idle,
        WaitingForClient,
        Downloading,
        Verifying,
        Unpacking,
        Installing,
        StartingClient,
        Done,
        Failed
    };
    Q_ENUM(State)

    enum class Error {
        None,
        NoOffer,            // UpdaterVer.ini names no version or address
        Busy,               // another update of this folder is at work
        ClientStillRunning, // the client did not end
        NotWritable,        // the folder, or the one it lies in, may not be written
        DiskFull,
        Download,           // missing, cut short, refused
        Signature,          // not signed by the publisher's key
        Package,            // unreadable, unsafe or incomplete package
        Version,            // the manifest names another version
        ClientDidNotStart,  // the new client did not start: the old one is back
        Cancelled,
    };
    Q_ENUM(Error)

    struct Result
    {
        Error error = Error::None;
        QString version;
        QString detail; // for the log

        bool ok() const { return error == Error::None; }
        // What the user is told; empty for success and a cancel.
        QString message() const;
        // Whether the client in the folder should be started again now
        // (false while the old one still runs, or when another update
        // works on the folder).
        bool restartClient() const;
    };

    struct Options
    {
        QString clientDir;
        QString version;
        QString url;
        QByteArray publicKey;
        // Folder of the client's single-instance marker; empty: its usual one.
        QString instanceDir;
        int clientWaitMs = 60000;
        int startWaitMs = 60000;
        int idleTimeoutMs = 15000;
        // Test hook: stop for good at this point ("staged", "swapped").
        QString holdAt;
        // Starts the client program on its own; false when it did not
        // start. Default: detached from the updater.
        std::function<bool(const QString &program, qint64 *pid)> startClient;
    };

    explicit UpdateFlow(Options options, QObject *parent = nullptr);
    ~UpdateFlow() override;

    State state() const { return m_state; }
    const UpdateFolders &folders() const { return m_folders; }
    const Options &options() const { return m_options; }
    qint64 received() const { return m_received; }
    qint64 total() const { return m_total; }
    // Whole seconds left for the download; -1 while unknown.
    qint64 secondsLeft() const;
    qint64 bytesPerSecond() const { return m_rate.bytesPerSecond(); }

    // The client program in a client folder.
    static QString clientProgram(const QString &clientDir);
    static bool startDetached(const QString &program, qint64 *pid);

public slots:
    void start();
    // Before the swap: stops and leaves the folder as it was (a download
    // is kept for a continuation). After it, nothing is undone.
    void cancel();

signals:
    void stateChanged(UpdateFlow::State state);
    void progress(qint64 received, qint64 total);
    void finished(const UpdateFlow::Result &result);

private:
    void setState(State state);
    void waitForClient();
    void prepare();
    // A download into the work folder; resume continues an earlier run's bytes.
    DownLoadManager *startDownload(bool resume);
    void downloadSignature();
    void downloadPackage();
    void onDownloadError(int kind);
    void verify();
    void unpack();
    void carry();
    void install();
    void startNewClient();
    void watchNewClient();
    void rollBack(const QString &why);
    bool hold(const QString &point);
    void fail(Error error, const QString &detail);
    void finish(const Result &result);
    void cleanStaging();
    // Runs job on a worker thread; then() gets its result on this one.
    void runWorker(std::function<Result()> job, std::function<void(const Result &)> then);
    Error errorForWriteFailure(const QString &at) const;

    Options m_options;
    UpdateFolders m_folders;
    State m_state = State::Idle;
    bool m_finished = false;
    std::unique_ptr<QLockFile> m_updateLock;
    std::unique_ptr<SingleInstance> m_instance;
    QPointer<DownLoadManager> m_download;
    QTimer *m_poll = nullptr;
    QElapsedTimer m_waited;
    QString m_signaturePath;
    QString m_packagePath;
    QString m_oldFolder;
    qint64 m_clientPid = 0;
    qint64 m_received = 0;
    qint64 m_total = -1;
    RateMeter m_rate;
    QElapsedTimer m_clock;
    std::atomic<bool> m_cancel{false};
    QFutureWatcher<Result> m_worker;
    std::function<void(const Result &)> m_then;
};

Q_DECLARE_METATYPE(UpdateFlow::Result)
