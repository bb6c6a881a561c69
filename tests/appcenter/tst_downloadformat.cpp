// The download row's texts and figures, the speed window and the files
// kept beside a partial download.

#include "appcenter/core/DownloadFiles.h"
#include "appcenter/core/DownloadFormat.h"
#include "appcenter/core/RateMeter.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QtTest>

using namespace DownloadFiles;

class tst_DownloadFormat : public QObject
{
    Q_OBJECT
private slots:
    void sizes_data();
    void sizes();
    void times_data();
    void times();
    void progressBeyondIntRange_data();
    void progressBeyondIntRange();
    void rateOverWindow();
    void fileNames_data();
    void fileNames();
    void recordDecidesContinuation_data();
    void recordDecidesContinuation();
    void recordRoundTrip();
    void texts();
};

void tst_DownloadFormat::sizes_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<bool>("perSecond");
    QTest::addColumn<QString>("text");
    QTest::newRow("negative") << qint64(-5) << false << "0 B";
    QTest::newRow("zero speed") << qint64(0) << true << "0 B/S";
    QTest::newRow("1023") << qint64(1023) << false << "1023 B";
    QTest::newRow("1024") << qint64(1024) << false << "1 KB";
    QTest::newRow("512 KB/S") << qint64(512 * 1024 + 1000) << true << "512 KB/S";
    QTest::newRow("just under 1 MB") << qint64(1048575) << false << "1023 KB";
    QTest::newRow("3 MB") << qint64(3 * 1048576 + 5) << false << "3 MB";
    QTest::newRow("1 GB") << qint64(1073741824) << false << "1 GB";
    QTest::newRow("5 GB/S") << qint64(5) * 1073741824 << true << "5 GB/S";
}

void tst_DownloadFormat::sizes()
{
    QFETCH(qint64, bytes);
    QFETCH(bool, perSecond);
    QFETCH(QString, text);
    QCOMPARE(formatSize(bytes, perSecond), text);
}

void tst_DownloadFormat::times_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("negative") << qint64(-1) << "0s";
    QTest::newRow("0") << qint64(0) << "0s";
    QTest::newRow("59") << qint64(59) << "59s";
    QTest::newRow("60") << qint64(60) << "1m";
    QTest::newRow("65") << qint64(65) << "1m 5s";
    QTest::newRow("3600") << qint64(3600) << "1h";
    QTest::newRow("3605") << qint64(3605) << "1h 5s";
    QTest::newRow("3725") << qint64(3725) << "1h 2m 5s";
    QTest::newRow("7200") << qint64(7200) << "2h";
    QTest::newRow("86400") << qint64(86400) << "1d";
    QTest::newRow("90061") << qint64(90061) << "1d 1h 1m 1s";
    QTest::newRow("86460") << qint64(86460) << "1d 1m";
}

void tst_DownloadFormat::times()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(formatTime(seconds), text);
}

void tst_DownloadFormat::progressBeyondIntRange_data()
{
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("total");
    QTest::newRow("small") << qint64(300) << qint64(1000);
    QTest::newRow("half of 3 GiB") << (qint64(3) << 29) << (qint64(3) << 30);
    QTest::newRow("almost all of 5 GiB") << (qint64(5) << 30) - 1 << (qint64(5) << 30);
    QTest::newRow("all of 40 GiB") << (qint64(40) << 30) << (qint64(40) << 30);
    QTest::newRow("nothing of 2 GiB + 1") << qint64(0) << (qint64(2) << 30) + 1;
}

void tst_DownloadFormat::progressBeyondIntRange()
{
    QFETCH(qint64, received);
    QFETCH(qint64, total);
    const ProgressScale scale = progressScale(received, total);
    QVERIFY(scale.maximum > 0);
    QVERIFY(scale.value >= 0 && scale.value <= scale.maximum);
    const double shown = double(scale.value) / scale.maximum;
    const double real = double(received) / total;
    QVERIFY2(qAbs(shown - real) < 1e-6, qPrintable(QStringLiteral("%1 vs %2").arg(shown).arg(real)));
    // Unknown length: a busy bar, never a division by zero.
    QCOMPARE(progressScale(received, -1).maximum, 0);
}

void tst_DownloadFormat::rateOverWindow()
{
    RateMeter meter(5000);
    QCOMPARE(meter.bytesPerSecond(), qint64(0));
    QCOMPARE(meter.secondsLeft(0, 1000), qint64(-1));
    // 1 MB a second, reported in uneven bursts every 300 ms or so.
    const qint64 times[] = {0, 310, 620, 1000, 1300, 1700, 2000};
    for (qint64 t : times)
        meter.add(t, t * 1000);
    QCOMPARE(meter.bytesPerSecond(), qint64(1000000));
    QCOMPARE(meter.secondsLeft(2000000, 12000000), qint64(10));
    QCOMPARE(meter.secondsLeft(2000000, -1), qint64(-1));
    // A burst in one interval moves the figure only a little.
    meter.add(2300, 2000000 + 600000);
    QVERIFY(meter.bytesPerSecond() > 1000000 && meter.bytesPerSecond() < 1200000);
    // Data stops: the speed falls to 0 once the window holds no progress.
    for (qint64 t = 3000; t <= 9000; t += 1000)
        meter.add(t, 2600000);
    QCOMPARE(meter.bytesPerSecond(), qint64(0));
    QCOMPARE(meter.secondsLeft(2600000, 12000000), qint64(-1));
    // The file started over: a new measurement, no negative speed.
    meter.add(9300, 1000);
    QCOMPARE(meter.bytesPerSecond(), qint64(0));
    meter.add(10300, 501000);
    QCOMPARE(meter.bytesPerSecond(), qint64(500000));
}

void tst_DownloadFormat::fileNames_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "http://h/a/setup.exe" << "setup.exe";
    QTest::newRow("query ignored") << "http://h/a/setup.sh?x=1#y" << "setup.sh";
    QTest::newRow("decoded") << "http://h/a/%E5%AE%89%E8%A3%85.sh" << QString::fromUtf8("安装.sh");
    QTest::newRow("ends in slash") << "http://h/a/" << QString();
    QTest::newRow("no path") << "http://h" << QString();
    QTest::newRow("encoded slash: last part only") << "http://h/a/..%2Fevil.sh" << "evil.sh";
    QTest::newRow("encoded backslash") << "http://h/a/..%5Cevil.sh" << QString();
    QTest::newRow("dot dot") << "http://h/a/%2E%2E" << QString();
}

void tst_DownloadFormat::fileNames()
{
    QFETCH(QString, url);
    QFETCH(QString, name);
    QCOMPARE(fileNameOf(QUrl(url, QUrl::TolerantMode)), name);
    if (!name.isEmpty()) {
        const QString partial = partialPath(QStringLiteral("/d/downloadApp"), name);
        QCOMPARE(partial, QStringLiteral("/d/downloadApp/") + name + QStringLiteral("_tmp"));
        QCOMPARE(finalPath(partial), QStringLiteral("/d/downloadApp/") + name);
    }
}

void tst_DownloadFormat::recordDecidesContinuation_data()
{
    QTest::addColumn<QByteArray>("etag");
    QTest::addColumn<QByteArray>("lastModified");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<QString>("url");
    QTest::addColumn<qint64>("localSize");
    QTest::addColumn<QByteArray>("validator");
    QTest::addColumn<bool>("continues");
    const QByteArray date = "Mon, 02 Mar 2026 08:00:00 GMT";
    const QString u = QStringLiteral("http://h/f.sh");
    QTest::newRow("strong tag") << QByteArray("\"t1\"") << date << qint64(100) << u << qint64(40) << QByteArray("\"t1\"") << true;
    QTest::newRow("weak tag: the date") << QByteArray("W/\"t1\"") << date << qint64(100) << u << qint64(40) << date << true;
    QTest::newRow("no validator") << QByteArray() << QByteArray() << qint64(100) << u << qint64(40) << QByteArray() << false;
    QTest::newRow("other address") << QByteArray("\"t1\"") << date << qint64(100) << QStringLiteral("http://h/g/f.sh") << qint64(40) << QByteArray("\"t1\"") << false;
    QTest::newRow("longer than the file") << QByteArray("\"t1\"") << date << qint64(100) << u << qint64(101) << QByteArray("\"t1\"") << false;
    QTest::newRow("empty partial") << QByteArray("\"t1\"") << date << qint64(100) << u << qint64(0) << QByteArray("\"t1\"") << false;
    QTest::newRow("length unknown") << QByteArray("\"t1\"") << date << qint64(-1) << u << qint64(40) << QByteArray("\"t1\"") << true;
}

void tst_DownloadFormat::recordDecidesContinuation()
{
    QFETCH(QByteArray, etag);
    QFETCH(QByteArray, lastModified);
    QFETCH(qint64, length);
    QFETCH(QString, url);
    QFETCH(qint64, localSize);
    QFETCH(QByteArray, validator);
    QFETCH(bool, continues);
    const ResumeRecord record{QStringLiteral("http://h/f.sh"), etag, lastModified, length};
    QCOMPARE(record.validator(), validator);
    QCOMPARE(record.continues(url, localSize), continues);
}

void tst_DownloadFormat::recordRoundTrip()
{
    QTemporaryDir dir;
    const QString path = recordPath(dir.filePath(QStringLiteral("f.sh_tmp")));
    QVERIFY(!readRecord(path));
    const ResumeRecord record{QStringLiteral("http://h/f.sh"), "\"abc\"", "Mon, 02 Mar 2026 08:00:00 GMT",
                              qint64(5) << 30};
    QVERIFY(writeRecord(path, record));
    const auto back = readRecord(path);
    QVERIFY(back);
    QCOMPARE(back->url, record.url);
    QCOMPARE(back->etag, record.etag);
    QCOMPARE(back->lastModified, record.lastModified);
    QCOMPARE(back->length, record.length);
    // A damaged record is no record.
    QFile damaged(path);
    QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("{\"url\": \"http://h/f");
    damaged.close();
    QVERIFY(!readRecord(path));
}

void tst_DownloadFormat::texts()
{
    const QDateTime when(QDate(2026, 12, 10), QTime(9, 5, 7));
    QCOMPARE(finishedText(when), QString::fromUtf8("下载完成   2026/12/10 09:05:07"));
    // The picture style is a whole declaration (no stray brace) and quotes
    // the path.
    QCOMPARE(pictureStyle(QStringLiteral("C:\\x y/(a).png")),
             QStringLiteral("border-image: url(\"C:/x y/(a).png\");"));
}

QTEST_GUILESS_MAIN(tst_DownloadFormat)
#include "tst_downloadformat.moc"
