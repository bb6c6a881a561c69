#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <memory>

// The real client, or a program that ends in it, run by a test as a user
// would start it, watched through its log lines.
class ClientProcess
{
public:
    // What every such run needs: a runtime folder of its own (the
    // single-instance guard lives there), no screen of the test's, the web
    // engine allowed to run as root, the client's log lines, every message
    // box answered with answer ("confirm" or "close") and the event loop
    // ended once the desktop is up.
    static QProcessEnvironment environment(const QString &runtimeDir, const QString &answer);

    // A copy of the build's client folder (ORVANE_BIN_DIR) at to, without
    // what runs of the client or the tests leave there: the user's files,
    // the version file and the reference service.
    static bool copyClientFolder(const QString &to, QString *error = nullptr);

    ClientProcess() = default;
    ~ClientProcess();
    ClientProcess(const ClientProcess &) = delete;
    ClientProcess &operator=(const ClientProcess &) = delete;

    bool start(const QString &program, const QProcessEnvironment &env,
               const QString &workingDirectory);
    // Reads output until it contains text or the program ends.
    bool waitFor(const QString &text, int ms);
    bool waitForExit(int ms);
    // Ends a program still running, without waiting for it to end by itself.
    void kill();

    QString output() const { return m_output; }
    QProcess::ProcessState state() const;
    int exitCode() const;
    QProcess::ExitStatus exitStatus() const;

private:
    void readAvailable();

    std::unique_ptr<QProcess> m_process;
    QString m_output;
};
