#include "core/SingleInstance.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// The guard across real processes: the holder is a small program using
// the same guard, the second start is the real client executable.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_runtime;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("ORVANE_AUTO_ANSWER"), QStringLiteral("confirm"));
        return env;
    }

    void startHolder(QProcess &holder, const QByteArray &expected = "held")
    {
        holder.setProcessEnvironment(environment());
        holder.start(QCoreApplication::applicationDirPath() + QStringLiteral("/instance_holder"), QStringList());
        QVERIFY(holder.waitForStarted());
        QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readLine().trimmed(), expected);
    }

    QString clientPath() const
    {
        return qEnvironmentVariable("ORVANE_BIN_DIR") + QStringLiteral("/OrvaneDesk");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_runtime.isValid());
        QVERIFY2(QFile::exists(clientPath()), qPrintable(clientPath()));
    }

    void inProcessGuard()
    {
        QTemporaryDir dir;
        SingleInstance first(QStringLiteral("OrvaneDesk"), dir.path());
        QVERIFY(first.tryAcquire());
        QVERIFY(first.tryAcquire()); // holding twice is still holding
        first.release();
        SingleInstance again(QStringLiteral("OrvaneDesk"), dir.path());
        QVERIFY(again.tryAcquire());
    }

    void secondClientIsRefused()
    {
        QProcess holder;
        startHolder(holder);

        QProcess client;
        client.setProcessEnvironment(environment());
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start(clientPath(), QStringList());
        QVERIFY(client.waitForFinished(20000));
        const QString output = QString::fromUtf8(client.readAll());
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
        QVERIFY2(output.contains(QStringLiteral("title: 启动提示")), qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("应用程序每次只能运行一个实例，请先关闭已打开实例！")),
                 qPrintable(output));
        // Refused before reading the configuration.
        QVERIFY2(!output.contains(QStringLiteral("service address")), qPrintable(output));

        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(10000));
    }

    void killedHolderDoesNotLockOut()
    {
        QProcess holder;
        startHolder(holder);
        ::kill(pid_t(holder.processId()), SIGKILL);
        QVERIFY(holder.waitForFinished(10000));

        QProcess next;
        startHolder(next);
        QProcess refused;
        startHolder(refused, "refused");
        QVERIFY(refused.waitForFinished(10000));
        next.closeWriteChannel();
        QVERIFY(next.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
