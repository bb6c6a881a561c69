// The reference service's downloads: validators, byte ranges with
// If-Range, 416, and the switches that make transfers misbehave.

#include "refservice/Downloads.h"
#include "tests/support/RefServiceProcess.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {

struct Answer
{
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QByteArray contentRange, etag, lastModified;
};

Answer fetch(const QString &url, const QList<QPair<QByteArray, QByteArray>> &headers = {})
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setRawHeader("Accept-Encoding", "identity");
    for (const auto &h : headers)
        request.setRawHeader(h.first, h.second);
    QNetworkReply *reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    Answer a;
    a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    a.error = reply->error();
    a.body = reply->readAll();
    a.contentRange = reply->rawHeader("Content-Range");
    a.etag = reply->rawHeader("ETag");
    a.lastModified = reply->rawHeader("Last-Modified");
    delete reply;
    return a;
}

} // namespace

class tst_RefDownloads : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void rangeHeader_data();
    void rangeHeader();
    void answers_data();
    void answers();
    void ignoreRange();
    void revisionChangesBytesAndValidators();
    void dropAfter();
    void stallAfter();
    void installerSize_data();
    void installerSize();
    void paddedInstallerStillInstalls();

private:
    std::unique_ptr<RefServiceProcess> m_service;
    Answer m_whole;
};

void tst_RefDownloads::initTestCase()
{
    m_service = std::make_unique<RefServiceProcess>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    m_whole = fetch(m_service->installerUrl());
    QCOMPARE(m_whole.status, 200);
    QVERIFY(m_whole.etag.startsWith('"') && m_whole.etag.endsWith('"'));
    QVERIFY(!m_whole.lastModified.isEmpty());
}

void tst_RefDownloads::init()
{
    QVERIFY(m_service->reset());
}

void tst_RefDownloads::rangeHeader_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("last");
    const int none = Downloads::Range::None, ok = Downloads::Range::Satisfiable,
              beyond = Downloads::Range::Unsatisfiable;
    QTest::newRow("from 0") << QByteArray("bytes=0-") << ok << qint64(0) << qint64(9);
    QTest::newRow("from 5") << QByteArray("bytes=5-") << ok << qint64(5) << qint64(9);
    QTest::newRow("closed") << QByteArray("bytes=2-4") << ok << qint64(2) << qint64(4);
    QTest::newRow("last past the end") << QByteArray("bytes=2-100") << ok << qint64(2) << qint64(9);
    QTest::newRow("suffix") << QByteArray("bytes=-3") << ok << qint64(7) << qint64(9);
    QTest::newRow("suffix longer than the file") << QByteArray("bytes=-30") << ok << qint64(0) << qint64(9);
    QTest::newRow("at the end") << QByteArray("bytes=10-") << beyond << qint64(0) << qint64(0);
    QTest::newRow("past the end") << QByteArray("bytes=99999999-") << beyond << qint64(0) << qint64(0);
    QTest::newRow("empty suffix") << QByteArray("bytes=-0") << beyond << qint64(0) << qint64(0);
    QTest::newRow("reversed: ignored") << QByteArray("bytes=4-2") << none << qint64(0) << qint64(0);
    QTest::newRow("several: ignored") << QByteArray("bytes=0-1,3-4") << none << qint64(0) << qint64(0);
    QTest::newRow("other unit") << QByteArray("items=0-") << none << qint64(0) << qint64(0);
    QTest::newRow("not a number") << QByteArray("bytes=a-") << none << qint64(0) << qint64(0);
}

void tst_RefDownloads::rangeHeader()
{
    QFETCH(QByteArray, header);
    QFETCH(int, kind);
    const Downloads::Range range = Downloads::parseRange(header.toStdString(), 10);
    QCOMPARE(int(range.kind), kind);
    if (kind == Downloads::Range::Satisfiable) {
        QFETCH(qint64, first);
        QFETCH(qint64, last);
        QCOMPARE(range.first, first);
        QCOMPARE(range.last, last);
    }
}

void tst_RefDownloads::answers_data()
{
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<QString>("ifRange"); // "", "etag", "date", "other"
    QTest::addColumn<int>("status");
    QTest::addColumn<qint64>("from");
    QTest::newRow("no range") << QByteArray() << "" << 200 << qint64(0);
    QTest::newRow("range") << QByteArray("bytes=1000-") << "" << 206 << qint64(1000);
    QTest::newRow("range, tag matches") << QByteArray("bytes=1000-") << "etag" << 206 << qint64(1000);
    QTest::newRow("range, date matches") << QByteArray("bytes=1000-") << "date" << 206 << qint64(1000);
    QTest::newRow("range, tag differs: whole file") << QByteArray("bytes=1000-") << "other" << 200 << qint64(0);
    QTest::newRow("past the end") << QByteArray("bytes=99999999-") << "" << 416 << qint64(-1);
    QTest::newRow("exactly at the end") << QByteArray("END") << "etag" << 416 << qint64(-1);
}

void tst_RefDownloads::answers()
{
    QFETCH(QByteArray, range);
    QFETCH(QString, ifRange);
    QFETCH(int, status);
    QFETCH(qint64, from);
    const qint64 size = m_whole.body.size();
    if (range == "END")
        range = "bytes=" + QByteArray::number(size) + '-';
    QList<QPair<QByteArray, QByteArray>> headers;
    if (!range.isEmpty())
        headers.append({"Range", range});
    if (ifRange == QLatin1String("etag"))
        headers.append({"If-Range", m_whole.etag});
    else if (ifRange == QLatin1String("date"))
        headers.append({"If-Range", m_whole.lastModified});
    else if (ifRange == QLatin1String("other"))
        headers.append(qMakePair(QByteArray("If-Range"), QByteArray("\"something-else\"")));
    const Answer a = fetch(m_service->installerUrl(), headers);
    QCOMPARE(a.status, status);
    QCOMPARE(a.etag, m_whole.etag);
    QCOMPARE(a.lastModified, m_whole.lastModified);
    if (status == 416) {
        QCOMPARE(a.contentRange, "bytes */" + QByteArray::number(size));
        return;
    }
    QCOMPARE(a.body, m_whole.body.mid(int(from)));
    if (status == 206)
        QCOMPARE(a.contentRange, QStringLiteral("bytes %1-%2/%3").arg(from).arg(size - 1).arg(size).toLatin1());
    else
        QVERIFY(a.contentRange.isEmpty());
}

void tst_RefDownloads::ignoreRange()
{
    QVERIFY(m_service->setIgnoreRange(true));
    const Answer a = fetch(m_service->installerUrl(), {{"Range", "bytes=1000-"}, {"If-Range", m_whole.etag}});
    QCOMPARE(a.status, 200);
    QCOMPARE(a.body, m_whole.body);
}

void tst_RefDownloads::revisionChangesBytesAndValidators()
{
    QVERIFY(m_service->setFileRevision(2));
    const Answer a = fetch(m_service->installerUrl());
    QCOMPARE(a.status, 200);
    QCOMPARE(a.body.size(), m_whole.body.size());
    QVERIFY(a.body != m_whole.body);
    QVERIFY(a.etag != m_whole.etag);
    QVERIFY(a.lastModified != m_whole.lastModified);
    // Large generated files differ per revision too, block by block.
    const Answer blob0 = fetch(m_service->blobUrl(200000), {{"Range", "bytes=65536-65600"}});
    QVERIFY(m_service->setFileRevision(0));
    const Answer blob1 = fetch(m_service->blobUrl(200000), {{"Range", "bytes=65536-65600"}});
    QCOMPARE(blob0.body.size(), 65);
    QVERIFY(blob0.body != blob1.body);
    // Each block is stamped: a block never equals the one before it.
    const Answer blob = fetch(m_service->blobUrl(200000));
    QCOMPARE(blob.body.size(), 200000);
    QVERIFY(blob.body.mid(0, 65536) != blob.body.mid(65536, 65536));
}

void tst_RefDownloads::dropAfter()
{
    QVERIFY(m_service->setDropAfter(70000));
    const Answer a = fetch(m_service->installerUrl());
    QCOMPARE(a.status, 200);
    // Qt does not always call the early end an error (a client must count
    // the bytes against the length itself); the body is cut short anyway.
    QCOMPARE(a.body, m_whole.body.left(70000));
}

void tst_RefDownloads::stallAfter()
{
    QVERIFY(m_service->setStallAfter(5000));
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(QNetworkRequest(QUrl(m_service->installerUrl())));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QTRY_COMPARE_WITH_TIMEOUT(reply->bytesAvailable(), qint64(5000), 5000);
    QTest::qWait(500);
    QCOMPARE(reply->bytesAvailable(), qint64(5000));
    QVERIFY(reply->isRunning());
    // Switched off: the stalled answer ends (the connection closes).
    QVERIFY(m_service->setStallAfter(-1));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);
    // Cut short (Qt does not always call that an error).
    QCOMPARE(reply->readAll(), m_whole.body.left(5000));
    delete reply;
}

void tst_RefDownloads::installerSize_data()
{
    QTest::addColumn<qint64>("extra");
    // Past the usual length by one byte (a bare line end), by two (the
    // shortest comment) and by megabytes of whole lines and a partial one.
    QTest::newRow("+1") << qint64(1);
    QTest::newRow("+2") << qint64(2);
    QTest::newRow("+10 MiB") << qint64(10 << 20);
}

void tst_RefDownloads::installerSize()
{
    QFETCH(qint64, extra);
    const qint64 size = m_whole.body.size() + extra;
    QVERIFY(m_service->setInstallerSize(size));
    const Answer a = fetch(m_service->installerUrl());
    QCOMPARE(a.status, 200);
    QCOMPARE(qint64(a.body.size()), size);
    // The script itself is unchanged; only padding follows.
    QVERIFY(a.body.startsWith(m_whole.body));
    QVERIFY(a.body.endsWith('\n'));
    QVERIFY(a.etag != m_whole.etag);
    // The tail as a range, as a resumed download asks for it.
    const Answer tail = fetch(m_service->installerUrl(), {{"Range", "bytes=-100"}, {"If-Range", a.etag}});
    QCOMPARE(tail.status, 206);
    QCOMPARE(tail.body, a.body.right(100));
    QCOMPARE(tail.contentRange, QByteArray("bytes " + QByteArray::number(size - 100) + '-'
                                           + QByteArray::number(size - 1) + '/' + QByteArray::number(size)));

    // Shorter than the installer: it stays whole; off again: the usual one.
    QVERIFY(m_service->setInstallerSize(100));
    QCOMPARE(fetch(m_service->installerUrl()).body, m_whole.body);
    QVERIFY(m_service->setInstallerSize(0));
    QCOMPARE(fetch(m_service->installerUrl()).etag, m_whole.etag);
    // Sizes it will not hold in memory, and nonsense, are refused.
    QVERIFY(!m_service->setInstallerSize((qint64(256) << 20) + 1));
    QVERIFY(!m_service->setInstallerSize(-1));
    QVERIFY(!m_service->admin("installerSize", {{"bytes", "ten"}}));
}

void tst_RefDownloads::paddedInstallerStillInstalls()
{
    QVERIFY(m_service->setInstallerSize(10 << 20));
    const Answer a = fetch(m_service->installerUrl());
    QCOMPARE(a.body.size(), 10 << 20);
    QTemporaryDir home;
    QFile script(home.filePath("setup.sh"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(a.body);
    script.close();
    QProcess installer;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    installer.setProcessEnvironment(env);
    installer.start("/bin/sh", {script.fileName()});
    QVERIFY(installer.waitForFinished(30000));
    QCOMPARE(installer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(installer.exitCode(), 0);
    QVERIFY(QFileInfo(home.filePath("data/orvane-demo/suhui/suhui")).isExecutable());
    QVERIFY(QFileInfo(home.filePath("data/orvane-demo/suhui/uninstall.sh")).isExecutable());
    QVERIFY(QFileInfo::exists(home.filePath("data/applications/orvane-demo-suhui.desktop")));
}

QTEST_GUILESS_MAIN(tst_RefDownloads)
#include "tst_refdownloads.moc"
