// The message centre's notice fetch against the reference service.

#include "core/AppPaths.h"
#include "push/core/NoticeFetch.h"
#include "tests/support/RefServiceProcess.h"

#include <QJSEngine>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

class NoticeFetchTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void fetchesFirstPage();
    void refusalGivesNoScript();
    void unreachableServiceGivesNoScript();
    void cancelReportsOnce();
    void destroyedWhileOutIsSilent();

private:
    std::unique_ptr<RefServiceProcess> m_service;
    QString m_uid, m_token;
};

void NoticeFetchTest::initTestCase()
{
    m_service = std::make_unique<RefServiceProcess>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    const auto credentials = m_service->demoCredentials();
    m_uid = credentials.first;
    m_token = credentials.second;
    AppPaths::setServerAddress(m_service->baseUrl());
}

void NoticeFetchTest::cleanupTestCase()
{
    AppPaths::setServerAddress(QString());
}

void NoticeFetchTest::fetchesFirstPage()
{
    const QString title = QStringLiteral("quote \" ' \\ </script>");
    const QString content = QStringLiteral("一\n二 \\n 三");
    QVERIFY(!m_service->pushNotice(m_uid, title, content).isEmpty());
    QVERIFY(m_service->clearRecord());

    NoticeFetch fetch;
    QSignalSpy finished(&fetch, &NoticeFetch::finished);
    fetch.start(m_uid, m_token);
    QVERIFY(fetch.isRunning());
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().at(0).toBool(), true);

    const QJsonObject request = m_service->lastReceived(QStringLiteral("NSVNoticeService/getSystemNoticeListByUID/json"));
    QCOMPARE(request.value("query").toObject().value("page").toString(), QStringLiteral("1"));
    QCOMPARE(request.value("query").toObject().value("uid").toString(), m_uid);

    QJSEngine engine;
    engine.evaluate(QStringLiteral("var got; function addLi(text) { got = JSON.parse(text); }"));
    QVERIFY(!engine.evaluate(finished.first().at(1).toString()).isError());
    const QJSValue got = engine.globalObject().property(QStringLiteral("got"));
    QCOMPARE(got.property(QStringLiteral("length")).toInt(), 10);
    // The newest first: the one just pushed, exactly as sent.
    QCOMPARE(got.property(0).property(QStringLiteral("title")).toString(), title);
    QCOMPARE(got.property(0).property(QStringLiteral("article")).toString(), content);
    QVERIFY(!got.property(0).property(QStringLiteral("time")).toString().isEmpty());
}

void NoticeFetchTest::refusalGivesNoScript()
{
    NoticeFetch fetch;
    QSignalSpy finished(&fetch, &NoticeFetch::finished);
    fetch.start(m_uid, QStringLiteral("wrong-token"));
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.first().at(0).toBool(), false);
    QCOMPARE(finished.first().at(1).toString(), QString());
}

void NoticeFetchTest::unreachableServiceGivesNoScript()
{
    AppPaths::setServerAddress(QStringLiteral("http://127.0.0.1:9/"));
    NoticeFetch fetch;
    QSignalSpy finished(&fetch, &NoticeFetch::finished);
    fetch.start(m_uid, m_token);
    QVERIFY(finished.wait(10000));
    AppPaths::setServerAddress(m_service->baseUrl());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().at(0).toBool(), false);
}

void NoticeFetchTest::cancelReportsOnce()
{
    QVERIFY(m_service->setDelay(2000));
    NoticeFetch fetch;
    QSignalSpy finished(&fetch, &NoticeFetch::finished);
    fetch.start(m_uid, m_token);
    fetch.cancel();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().at(0).toBool(), false);
    QVERIFY(!fetch.isRunning());
    // A second start cancels nothing finished and reports once more.
    QVERIFY(m_service->setDelay(0));
    fetch.start(m_uid, m_token);
    QVERIFY(finished.wait(10000));
    QTest::qWait(100);
    QCOMPARE(finished.count(), 2);
    QCOMPARE(finished.at(1).at(0).toBool(), true);
}

void NoticeFetchTest::destroyedWhileOutIsSilent()
{
    QVERIFY(m_service->setDelay(300));
    int reports = 0;
    {
        NoticeFetch fetch;
        connect(&fetch, &NoticeFetch::finished, [&reports] { ++reports; });
        fetch.start(m_uid, m_token);
    }
    QTest::qWait(600);
    QVERIFY(m_service->setDelay(0));
    QCOMPARE(reports, 0);
}

QTEST_GUILESS_MAIN(NoticeFetchTest)
#include "tst_noticefetch.moc"
