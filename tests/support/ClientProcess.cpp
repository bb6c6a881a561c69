#include "tests/support/ClientProcess.h"

#include "core/UserFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

QProcessEnvironment ClientProcess::environment(const QString &runtimeDir, const QString &answer)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtimeDir);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    env.insert("QT_LOGGING_RULES", "orvane.*=true");
    env.insert("ORVANE_AUTO_ANSWER", answer);
    env.insert("ORVANE_QUIT_WHEN_SHOWN", "1");
    return env;
}

bool ClientProcess::copyClientFolder(const QString &to, QString *error)
{
    const QString bin = qEnvironmentVariable("ORVANE_BIN_DIR");
    const QStringList leftOut = UserFiles::names()
        + QStringList{QStringLiteral("UpdaterVer.ini"), QStringLiteral("orvane-service")};
    QDirIterator it(bin, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString relative = QDir(bin).relativeFilePath(source);
        if (leftOut.contains(relative.section('/', 0, 0)))
            continue;
        const QString target = to + '/' + relative;
        if (it.fileInfo().isDir()) {
            QDir().mkpath(target);
            continue;
        }
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFile::copy(source, target)) {
            if (error)
                *error = QStringLiteral("cannot copy %1").arg(relative);
            return false;
        }
    }
    return true;
}

ClientProcess::~ClientProcess()
{
    kill();
}

bool ClientProcess::start(const QString &program, const QProcessEnvironment &env,
                          const QString &workingDirectory)
{
    kill();
    m_output.clear();
    m_process = std::make_unique<QProcess>();
    m_process->setProcessEnvironment(env);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setWorkingDirectory(workingDirectory);
    m_process->start(program, QStringList());
    return m_process->waitForStarted();
}

void ClientProcess::readAvailable()
{
    m_output += QString::fromUtf8(m_process->readAll());
}

bool ClientProcess::waitFor(const QString &text, int ms)
{
    if (!m_process)
        return false;
    QElapsedTimer waited;
    waited.start();
    while (!m_output.contains(text) && waited.elapsed() < ms) {
        m_process->waitForReadyRead(100);
        readAvailable();
        if (m_process->state() == QProcess::NotRunning) {
            readAvailable();
            break;
        }
    }
    return m_output.contains(text);
}

bool ClientProcess::waitForExit(int ms)
{
    if (!m_process)
        return false;
    const bool ended = m_process->waitForFinished(ms);
    readAvailable();
    return ended;
}

void ClientProcess::kill()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

QProcess::ProcessState ClientProcess::state() const
{
    return m_process ? m_process->state() : QProcess::NotRunning;
}

int ClientProcess::exitCode() const
{
    return m_process ? m_process->exitCode() : -1;
}

QProcess::ExitStatus ClientProcess::exitStatus() const
{
    return m_process ? m_process->exitStatus() : QProcess::CrashExit;
}
