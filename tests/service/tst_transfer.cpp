// The transfer's own decisions: reading Content-Range, and refusing
// answers that do not continue the bytes already in the file.

#include "service/Transfer.h"
#include "tests/support/RefServiceProcess.h"

#include <QSignalSpy>
#include <QTemporaryFile>
#include <QtTest>

class tst_Transfer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void contentRange_data();
    void contentRange();
    void answerMustContinueTheBytesThere_data();
    void answerMustContinueTheBytesThere();

private:
    std::unique_ptr<RefServiceProcess> m_service;
};

void tst_Transfer::initTestCase()
{
    m_service = std::make_unique<RefServiceProcess>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
}

void tst_Transfer::contentRange_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("unsatisfied");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("last");
    QTest::addColumn<qint64>("length");
    QTest::newRow("range") << QByteArray("bytes 100-199/1000") << true << false << qint64(100) << qint64(199) << qint64(1000);
    QTest::newRow("beyond 4 GiB") << QByteArray("bytes 5000000000-5368709119/5368709120") << true << false
                                  << qint64(5000000000LL) << qint64(5368709119LL) << qint64(5368709120LL);
    QTest::newRow("length unknown") << QByteArray("bytes 0-9/*") << true << false << qint64(0) << qint64(9) << qint64(-1);
    QTest::newRow("unsatisfied") << QByteArray("bytes */1000") << true << true << qint64(-1) << qint64(-1) << qint64(1000);
    QTest::newRow("unsatisfied, no length") << QByteArray("bytes */*") << false << true << qint64(-1) << qint64(-1) << qint64(-1);
    // What the service sent before: a 416 naming a range past the end.
    QTest::newRow("range past the length") << QByteArray("bytes 99999999-262994/262995") << false << false
                                           << qint64(99999999) << qint64(262994) << qint64(262995);
    QTest::newRow("last past the end") << QByteArray("bytes 0-1000/1000") << false << false << qint64(0) << qint64(1000) << qint64(1000);
    QTest::newRow("reversed") << QByteArray("bytes 9-0/1000") << false << false << qint64(9) << qint64(0) << qint64(1000);
    QTest::newRow("other unit") << QByteArray("items 0-9/10") << false << false << qint64(-1) << qint64(-1) << qint64(-1);
    QTest::newRow("empty") << QByteArray() << false << false << qint64(-1) << qint64(-1) << qint64(-1);
}

void tst_Transfer::contentRange()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, valid);
    QFETCH(bool, unsatisfied);
    QFETCH(qint64, length);
    const Transfer::ContentRange range = Transfer::parseContentRange(value);
    QCOMPARE(range.valid, valid);
    if (!valid)
        return;
    QFETCH(qint64, first);
    QFETCH(qint64, last);
    QCOMPARE(range.unsatisfied, unsatisfied);
    QCOMPARE(range.first, first);
    QCOMPARE(range.last, last);
    QCOMPARE(range.length, length);
}

void tst_Transfer::answerMustContinueTheBytesThere_data()
{
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("expectedLength");
    QTest::addColumn<QByteArray>("ifRange");
    QTest::addColumn<Transfer::Result>("result");
    QTest::addColumn<qint64>("answerLength");
    QTest::newRow("fits") << qint64(1000) << qint64(1000000) << QByteArray() << Transfer::Result::Complete << qint64(1000000);
    QTest::newRow("other length") << qint64(1000) << qint64(999999) << QByteArray() << Transfer::Result::BadRange << qint64(1000000);
    QTest::newRow("If-Range does not match: whole file from byte 0")
        << qint64(1000) << qint64(1000000) << QByteArray("W/\"weak\"") << Transfer::Result::Complete << qint64(1000000);
    QTest::newRow("past the end") << qint64(1000000) << qint64(1000000) << QByteArray()
                                  << Transfer::Result::RangeNotSatisfiable << qint64(1000000);
}

void tst_Transfer::answerMustContinueTheBytesThere()
{
    QFETCH(qint64, offset);
    QFETCH(qint64, expectedLength);
    QFETCH(QByteArray, ifRange);
    QFETCH(Transfer::Result, result);
    QFETCH(qint64, answerLength);
    QTemporaryFile file;
    QVERIFY(file.open());
    QVERIFY(file.resize(offset));

    Transfer::Options options;
    options.offset = offset;
    options.expectedLength = expectedLength;
    options.ifRange = ifRange;
    Transfer *transfer = Transfer::start(QUrl(m_service->blobUrl(1000000)), &file, options, this);
    QSignalSpy finished(transfer, &Transfer::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(transfer->result(), result);
    QCOMPARE(transfer->answer().length, answerLength);
    if (result == Transfer::Result::Complete)
        QCOMPARE(file.size(), answerLength);
    else
        QCOMPARE(file.size(), offset); // the bytes there are left alone
    // Exactly once: nothing more comes.
    QTest::qWait(100);
    QCOMPARE(finished.count(), 1);
    delete transfer;
}

QTEST_GUILESS_MAIN(tst_Transfer)
#include "tst_transfer.moc"
