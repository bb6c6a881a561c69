#include "core/AppPaths.h"
#include "service/RequestText.h"
#include "service/ServiceReply.h"
#include "service/SrvInterface.h"
#include "tests/support/PeakMemory.h"
#include "tests/support/RefServiceProcess.h"

#include <QSignalSpy>
#include <QtTest>

// The asynchronous exchange against the real reference service: every
// outcome arrives as a value, exactly once, and nothing arrives after it.
class TestServiceReply : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void outcomes_data();
    void outcomes();
    void lateAnswerIsNeverReported();
    void abortReportsOnce();
    void destroyedWhilePending();
    void compressedAnswerNeverUnpacks_data();
    void compressedAnswerNeverUnpacks();

private:
    QString updateUrl() const;

    QScopedPointer<RefServiceProcess> m_service;
};

void TestServiceReply::initTestCase()
{
    m_service.reset(new RefServiceProcess);
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    AppPaths::setServerAddress(m_service->baseUrl());
}

void TestServiceReply::init()
{
    QVERIFY(m_service->reset());
}

QString TestServiceReply::updateUrl() const
{
    return RequestText::updateUrl(m_service->baseUrl(),
                                  QStringLiteral("NSVVerUpdateService/getNewNSVSoftwareToAll/json?"),
                                  RequestText::timeCheckParamsNow(), SrvInterface().clientParams(),
                                  SrvInterface::kUpdateRegionId);
}

void TestServiceReply::outcomes_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("answered");

    QTest::newRow("answer") << "ok" << int(ServiceReply::Result::Ok) << true;
    QTest::newRow("POST answer") << "post" << int(ServiceReply::Result::Ok) << true;
    QTest::newRow("a page, not an envelope") << "page" << int(ServiceReply::Result::Unreadable) << true;
    QTest::newRow("status 500") << "status" << int(ServiceReply::Result::HttpStatus) << false;
    QTest::newRow("unknown path") << "404" << int(ServiceReply::Result::HttpStatus) << false;
    QTest::newRow("connection dropped") << "drop" << int(ServiceReply::Result::NetworkError) << false;
    QTest::newRow("nobody listening") << "refused" << int(ServiceReply::Result::NetworkError) << false;
    QTest::newRow("too late") << "late" << int(ServiceReply::Result::TimedOut) << false;
    QTest::newRow("large but real") << "large" << int(ServiceReply::Result::Ok) << true;
    // A valid envelope, only far too long.
    QTest::newRow("beyond the bound") << "huge" << int(ServiceReply::Result::TooLarge) << false;
    // A few hundred kilobytes on the wire that would unpack to 1 GiB: packed
    // although asked for as it is, it is no answer.
    QTest::newRow("packed although not asked") << "bomb" << int(ServiceReply::Result::Unreadable) << true;
    QTest::newRow("endless") << "endless" << int(ServiceReply::Result::TooLarge) << false;
}

void TestServiceReply::outcomes()
{
    QFETCH(QString, what);
    QFETCH(int, expected);
    QFETCH(bool, answered);

    QString url = updateUrl();
    QString body;
    int timeoutMs = 5000;
    if (what == "post") {
        url = RequestText::loginUrl(m_service->baseUrl(), RequestText::timeCheckParamsNow(),
                                    SrvInterface().clientParams());
        body = RequestText::loginBody(QStringLiteral("demo"), QStringLiteral("demo1234"));
    } else if (what == "page") {
        url = m_service->baseUrl() + QStringLiteral("pages/appstore.html");
    } else if (what == "status") {
        QVERIFY(m_service->setHttpStatus(500));
    } else if (what == "404") {
        url = m_service->baseUrl() + QStringLiteral("NoSuchService/none/json?");
    } else if (what == "drop") {
        QVERIFY(m_service->setDropConnection(true));
    } else if (what == "refused") {
        url = QStringLiteral("http://127.0.0.1:9/x");
    } else if (what == "late") {
        QVERIFY(m_service->setDelay(1500));
        timeoutMs = 300;
    } else if (what == "large") {
        QVERIFY(m_service->setHugeAnswer(4 * 1024 * 1024));
    } else if (what == "huge") {
        QVERIFY(m_service->setHugeAnswer(ServiceReply::kMaxAnswerBytes + 1));
    } else if (what == "bomb") {
        QVERIFY(m_service->setHugeAnswer(qint64(1) << 30, RefServiceProcess::Huge::Deflated));
    } else if (what == "endless") {
        QVERIFY(m_service->setHugeAnswer(0, RefServiceProcess::Huge::Endless));
    }
    // Only the bound may end these transfers, never the clock.
    if (what == "large" || what == "huge" || what == "bomb" || what == "endless")
        timeoutMs = 600000;

    QScopedPointer<ServiceReply> reply(ServiceReply::send(url, body, timeoutMs));
    QSignalSpy spy(reply.data(), &ServiceReply::finished);
    QVERIFY(spy.wait(60000));
    QCOMPARE(int(reply->result()), expected);
    QCOMPARE(spy.at(0).at(0).value<ServiceReply::Result>(), reply->result());
    QCOMPARE(reply->answered(), answered);
    if (expected == int(ServiceReply::Result::Ok)) {
        QCOMPARE(reply->httpStatus(), 200);
        QVERIFY(reply->envelope().valid);
        QVERIFY(!reply->text().isEmpty());
    }
    if (expected == int(ServiceReply::Result::HttpStatus))
        QVERIFY(reply->httpStatus() != 200 && reply->httpStatus() != 0);
    if (!answered)
        QVERIFY(reply->text().isEmpty());
    // Exactly once, whatever else the transfer does later.
    QTest::qWait(what == "late" ? 1800 : 100);
    QCOMPARE(spy.count(), 1);
}

void TestServiceReply::lateAnswerIsNeverReported()
{
    // The late answer of a timed-out exchange must not turn up as the answer
    // of the next one on the same connection.
    QVERIFY(m_service->setDelay(800));
    QScopedPointer<ServiceReply> first(ServiceReply::send(updateUrl(), QString(), 200));
    QSignalSpy firstSpy(first.data(), &ServiceReply::finished);
    QVERIFY(firstSpy.wait(5000));
    QCOMPARE(first->result(), ServiceReply::Result::TimedOut);

    QVERIFY(m_service->setDelay(0));
    QScopedPointer<ServiceReply> second(ServiceReply::send(updateUrl(), QString(), 5000));
    QSignalSpy secondSpy(second.data(), &ServiceReply::finished);
    QVERIFY(secondSpy.wait(5000));
    QCOMPARE(second->result(), ServiceReply::Result::Ok);
    QTest::qWait(1000);
    QCOMPARE(firstSpy.count(), 1);
    QCOMPARE(secondSpy.count(), 1);
}

void TestServiceReply::abortReportsOnce()
{
    QVERIFY(m_service->setDelay(500));
    QScopedPointer<ServiceReply> reply(ServiceReply::send(updateUrl(), QString(), 5000));
    QSignalSpy spy(reply.data(), &ServiceReply::finished);
    reply->abort();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(reply->result(), ServiceReply::Result::Aborted);
    reply->abort();
    QTest::qWait(900);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(reply->result(), ServiceReply::Result::Aborted);
}

void TestServiceReply::destroyedWhilePending()
{
    QVERIFY(m_service->setDelay(300));
    int reports = 0;
    {
        ServiceReply *reply = ServiceReply::send(updateUrl(), QString(), 5000);
        connect(reply, &ServiceReply::finished, this, [&reports]() { ++reports; });
        delete reply;
    }
    QTest::qWait(600);
    QCOMPARE(reports, 0);
    // The connection is still good for the next exchange.
    QVERIFY(m_service->setDelay(0));
    QString answer;
    QVERIFY(SrvInterface().getNewNSVSoftwareToAll(SrvInterface::kUpdateRegionId, &answer));
}

void TestServiceReply::compressedAnswerNeverUnpacks_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("deflate") << int(RefServiceProcess::Huge::Deflated);
    QTest::newRow("gzip") << int(RefServiceProcess::Huge::Gzipped);
}

void TestServiceReply::compressedAnswerNeverUnpacks()
{
    // A catalogue answer of 3 MiB on the wire that unpacks to 3 GiB: the
    // client asks for answers as they are, and one packed all the same is
    // not unpacked at all.
    QFETCH(int, how);
    QVERIFY(m_service->setHugeAnswer(qint64(3) << 30, RefServiceProcess::Huge(how)));
    PeakMemory peak;
    if (!peak.available())
        QSKIP("the kernel does not let the peak be measured here");
    QScopedPointer<ServiceReply> reply(ServiceReply::send(updateUrl(), QString(), 600000));
    QSignalSpy spy(reply.data(), &ServiceReply::finished);
    QVERIFY(spy.wait(120000));
    QVERIFY(reply->result() != ServiceReply::Result::Ok);
    QVERIFY(reply->text().isEmpty());
    const qint64 growth = peak.growth();
    qInfo("peak memory growth: %lld MiB", growth >> 20);
    QVERIFY2(growth < qint64(256) << 20, qPrintable(QString::number(growth >> 20) + " MiB"));
    const QJsonObject request = m_service->lastReceived(
        QStringLiteral("NSVVerUpdateService/getNewNSVSoftwareToAll/json"));
    QCOMPARE(request.value(QStringLiteral("acceptEncoding")).toString(), QStringLiteral("identity"));
}

QTEST_GUILESS_MAIN(TestServiceReply)
#include "tst_servicereply.moc"
