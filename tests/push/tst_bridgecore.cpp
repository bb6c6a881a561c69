#include "push/bridge/BridgeOrigins.h"
#include "push/core/PageScript.h"
#include "push/bridge/QJsInterface.h"

#include <QMetaMethod>
#include <QSignalSpy>
#include <QtTest>

class TestBridgeCore : public QObject
{
    Q_OBJECT

private slots:
    void literal_data();
    void literal();
    void call_data();
    void call();
    void slotsReemitTheirSignal();
    void oneInstance();
    void origins_data();
    void origins();
};

void TestBridgeCore::literal_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("script");
    QTest::newRow("id") << "101" << "101";
    QTest::newRow("zero") << "0" << "0";
    QTest::newRow("negative") << "-7" << "-7";
    QTest::newRow("leading zero is text") << "007" << "\"007\"";
    QTest::newRow("minus zero is text") << "-0" << "\"-0\"";
    QTest::newRow("16 digits is text") << "1234567890123456" << "\"1234567890123456\"";
    QTest::newRow("15 digits") << "123456789012345" << "123456789012345";
    QTest::newRow("decimal is text") << "1.5" << "\"1.5\"";
    QTest::newRow("padded is text") << " 1" << "\" 1\"";
    QTest::newRow("empty") << "" << "\"\"";
    QTest::newRow("single quote") << "it's" << "\"it\\u0027s\"";
    QTest::newRow("double quote and backslash") << "a\"b\\c" << "\"a\\\"b\\\\c\"";
    QTest::newRow("line breaks") << "a\r\nb" << "\"a\\r\\nb\"";
    QTest::newRow("parenthesis and code") << "1);alert(2);(" << "\"1);alert(2);(\"";
    QTest::newRow("line separators") << QString("a") + QChar(0x2028) + "b" + QChar(0x2029)
                                     << "\"a\\u2028b\\u2029\"";
    QTest::newRow("chinese") << QStringLiteral("年会报名") << "\"\\u5e74\\u4f1a\\u62a5\\u540d\"";
    QTest::newRow("script end tag") << "</script>" << "\"\\u003c/script\\u003e\"";
}

void TestBridgeCore::literal()
{
    QFETCH(QString, value);
    QFETCH(QString, script);
    QCOMPARE(PageScript::literal(value), script);
}

void TestBridgeCore::call_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("script");
    QTest::newRow("install done") << "app_install_done" << QStringList{"3", "101"} << "app_install_done(3,101);";
    QTest::newRow("connect") << "_connect" << QStringList{"10.0.0.5", "8080"} << "_connect(\"10.0.0.5\",8080);";
    QTest::newRow("uuid") << "setUserLoginUUID" << QStringList{"NSVIDCODEu1001"} << "setUserLoginUUID(\"NSVIDCODEu1001\");";
    QTest::newRow("no arguments") << "$reset" << QStringList{} << "$reset();";
    QTest::newRow("name with code") << "alert(1);f" << QStringList{} << "";
    QTest::newRow("digit first") << "1f" << QStringList{} << "";
    QTest::newRow("empty name") << "" << QStringList{"1"} << "";
}

void TestBridgeCore::call()
{
    QFETCH(QString, function);
    QFETCH(QStringList, arguments);
    QFETCH(QString, script);
    QCOMPARE(PageScript::callWithNumbers(function, arguments), script);
}

void TestBridgeCore::slotsReemitTheirSignal()
{
    QJsInterface *bridge = QJsInterface::instance();
    const QMetaObject *meta = bridge->metaObject();
    const QStringList signalNames{"sigConnectPushServer", "sigDisconnectPushServer", "sigConnectFailed",
                                  "sigNSVPush", "sigInstall", "sigUninstall", "sigAdd", "sigRemove",
                                  "sigOpen", "sigUpImage", "sigOpenHtml", "sigOpenRenewHtml", "sigOpenPayHtml"};
    const QStringList slotNames{"connectPushServer", "disconnectPushServer", "connectFailed", "NSVPush",
                                "install", "uninstall", "add", "remove", "open", "upImage", "openHtml",
                                "openRenewHtml", "openPayHtml"};
    // Declared in this order: the thirteen signals, then the thirteen slots.
    QStringList declared;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        declared << QString::fromLatin1(meta->method(i).name());
    QCOMPARE(declared, signalNames + slotNames);

    for (int i = 0; i < slotNames.size(); ++i) {
        const QByteArray signature = "2" + signalNames.at(i).toLatin1() + "(QString)";
        QSignalSpy spy(bridge, signature.constData());
        QVERIFY(spy.isValid());
        const QString text = QStringLiteral("{\"n\":%1,\"s\":\"引号'\"}").arg(i);
        QVERIFY(QMetaObject::invokeMethod(bridge, slotNames.at(i).toLatin1().constData(),
                                          Q_ARG(QString, text)));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.first().first().toString(), text);
        // No other signal answers the call.
        for (const QString &other : signalNames) {
            if (other == signalNames.at(i))
                continue;
            QSignalSpy quiet(bridge, ("2" + other.toLatin1() + "(QString)").constData());
            QMetaObject::invokeMethod(bridge, slotNames.at(i).toLatin1().constData(), Q_ARG(QString, text));
            QCOMPARE(quiet.count(), 0);
        }
    }
    // Connected by signature text, as the windows do.
    QObject receiver;
    QVERIFY(QObject::connect(bridge, SIGNAL(sigInstall(const QString&)), &receiver, SLOT(deleteLater())));
}

void TestBridgeCore::oneInstance()
{
    QCOMPARE(QJsInterface::instance(), QJsInterface::instance());
    QVERIFY(!QJsInterface::instance()->parent());
}

void TestBridgeCore::origins_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("service") << "http://127.0.0.1:8080/store/index.html?x=1" << true;
    QTest::newRow("service, other path") << "http://127.0.0.1:8080/" << true;
    QTest::newRow("same host, other port") << "http://127.0.0.1:8081/" << false;
    QTest::newRow("same host by other name") << "http://localhost:8080/" << false;
    QTest::newRow("https store default port") << "https://store.test/apps" << true;
    QTest::newRow("https store explicit port") << "https://store.test:443/x" << true;
    QTest::newRow("store over http") << "http://store.test/apps" << false;
    QTest::newRow("upper-case host") << "https://STORE.test/apps" << true;
    QTest::newRow("foreign") << "https://evil.test/" << false;
    QTest::newRow("store lookalike") << "https://store.test.evil.test/" << false;
    QTest::newRow("client page") << "@/cil.html" << true;
    QTest::newRow("client subfolder page") << "@/cloudNew/index.html" << true;
    QTest::newRow("out of the folder") << "@/../secret.html" << false;
    QTest::newRow("foreign file") << "file:///etc/passwd" << false;
    QTest::newRow("data") << "data:text/html,x" << false;
    QTest::newRow("javascript") << "javascript:1" << false;
}

void TestBridgeCore::origins()
{
    QFETCH(QString, url);
    QFETCH(bool, allowed);
    QTemporaryDir dir;
    const QString client = dir.filePath("OrvaneDesk");
    QDir().mkpath(client);
    BridgeOrigins origins(client);
    origins.allowAddresses({"http://127.0.0.1:8080/", "https://store.test/apps/list", "", "not a url",
                            "ftp://files.test/", "javascript:alert(1)"});
    QCOMPARE(origins.origins(), (QStringList{"http://127.0.0.1:8080", "https://store.test:443"}));
    const QUrl target = url.startsWith('@') ? QUrl::fromLocalFile(client + url.mid(1)) : QUrl(url);
    QCOMPARE(origins.allows(target), allowed);
}

QTEST_GUILESS_MAIN(TestBridgeCore)
#include "tst_bridgecore.moc"
