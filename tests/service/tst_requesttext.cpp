#include "service/RequestText.h"
#include "service/ServiceEnvelope.h"

#include <QtTest>

class RequestTextTest : public QObject
{
    Q_OBJECT
private slots:
    void timeCheck_data();
    void timeCheck();
    void encodeValueSurvivesFormDecoding_data();
    void encodeValueSurvivesFormDecoding();
    void clientParams();
    void windowsVersionName_data();
    void windowsVersionName();
    void accountKey_data();
    void accountKey();
    void digestsAndLoginBody();
    void urlForms();
    void envelope_data();
    void envelope();
};

void RequestTextTest::timeCheck_data()
{
    QTest::addColumn<qint64>("t");
    QTest::addColumn<QString>("text");
    QTest::newRow("example") << qint64(1700001234) << QStringLiteral("t_=1700001234&p_=6047");
    QTest::newRow("zero") << qint64(0) << QStringLiteral("t_=0&p_=2345");
    QTest::newRow("largest remainder") << qint64(1700009999) << QStringLiteral("t_=1700009999&p_=32342");
    QTest::newRow("wraps") << qint64(1700010000) << QStringLiteral("t_=1700010000&p_=2345");
    QTest::newRow("beyond 32 bits") << qint64(5000000001) << QStringLiteral("t_=5000000001&p_=2348");
}

void RequestTextTest::timeCheck()
{
    QFETCH(qint64, t);
    QFETCH(QString, text);
    QCOMPARE(RequestText::timeCheckParams(t), text);
}

void RequestTextTest::encodeValueSurvivesFormDecoding_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("encoded");
    QTest::newRow("ampersand and equals") << QStringLiteral("A&B=C") << QStringLiteral("A%26B%3DC");
    QTest::newRow("plus and percent") << QStringLiteral("1+1=2 100%") << QStringLiteral("1%2B1%3D2%20100%25");
    QTest::newRow("chinese") << QStringLiteral("记账") << QStringLiteral("%E8%AE%B0%E8%B4%A6");
    QTest::newRow("path") << QStringLiteral("C:\\Program Files\\a.exe")
                          << QStringLiteral("C%3A%5CProgram%20Files%5Ca.exe");
    QTest::newRow("base64") << QStringLiteral("a+/b==") << QStringLiteral("a%2B%2Fb%3D%3D");
    QTest::newRow("empty") << QString() << QString();
}

void RequestTextTest::encodeValueSurvivesFormDecoding()
{
    QFETCH(QString, value);
    QFETCH(QString, encoded);
    QCOMPARE(RequestText::encodeValue(value), encoded);
    // A form decoder gives back exactly what was sent.
    const QString body = RequestText::formText({{QStringLiteral("name"), value}, {QStringLiteral("x"), QStringLiteral("1")}});
    QUrlQuery decoded(body);
    QCOMPARE(decoded.queryItemValue(QStringLiteral("name"), QUrl::FullyDecoded), value);
    QCOMPARE(decoded.queryItemValue(QStringLiteral("x")), QStringLiteral("1"));
}

void RequestTextTest::clientParams()
{
    QCOMPARE(RequestText::clientParams(QStringLiteral("00:1A:2B:3C:4D:5E"), QStringLiteral("windows"),
                                       RequestText::osDisplayName(QStringLiteral("Microsoft Windows 10")),
                                       QStringLiteral("1.0.12")),
             QStringLiteral("&i_=00%3A1A%3A2B%3A3C%3A4D%3A5E&d_=windows&dv_=Microsoft%20Windows%2010%20&v_=V1.0.12"));
    QCOMPARE(RequestText::clientParams(QString(), QStringLiteral("linux"), RequestText::osDisplayName(QString()), QString()),
             QStringLiteral("&i_=&d_=linux&dv_=%20&v_=V"));
}

void RequestTextTest::windowsVersionName_data()
{
    QTest::addColumn<uint>("major");
    QTest::addColumn<uint>("minor");
    QTest::addColumn<uint>("platformId");
    QTest::addColumn<uint>("productType");
    QTest::addColumn<int>("serverR2");
    QTest::addColumn<QString>("name");
    QTest::newRow("NT 4") << 4u << 0u << 2u << 1u << 0 << "Microsoft Windows NT 4.0";
    QTest::newRow("95") << 4u << 0u << 1u << 1u << 0 << "Microsoft Windows 95";
    QTest::newRow("4.0 other platform") << 4u << 0u << 0u << 1u << 0 << "";
    QTest::newRow("98") << 4u << 10u << 1u << 1u << 0 << "Microsoft Windows 98";
    QTest::newRow("Me") << 4u << 90u << 1u << 1u << 0 << "Microsoft Windows Me";
    QTest::newRow("2000") << 5u << 0u << 2u << 3u << 0 << "Microsoft Windows 2000";
    QTest::newRow("XP") << 5u << 1u << 2u << 1u << 0 << "Microsoft Windows XP";
    QTest::newRow("XP x64") << 5u << 2u << 2u << 1u << 1 << "Microsoft Windows XP Professional x64 Edition";
    QTest::newRow("2003") << 5u << 2u << 2u << 3u << 0 << "Microsoft Windows Server 2003";
    QTest::newRow("2003 R2") << 5u << 2u << 2u << 2u << 7 << "Microsoft Windows Server 2003 R2";
    QTest::newRow("Vista") << 6u << 0u << 2u << 1u << 0 << "Microsoft Windows Vista";
    QTest::newRow("2008") << 6u << 0u << 2u << 3u << 0 << "Microsoft Windows Server 2008";
    QTest::newRow("7") << 6u << 1u << 2u << 1u << 0 << "Microsoft Windows 7";
    QTest::newRow("2008 R2") << 6u << 1u << 2u << 2u << 0 << "Microsoft Windows Server 2008 R2";
    QTest::newRow("8 unknown") << 6u << 2u << 2u << 1u << 0 << "";
    QTest::newRow("8.1 unknown") << 6u << 3u << 2u << 1u << 0 << "";
    QTest::newRow("10") << 10u << 0u << 2u << 1u << 0 << "Microsoft Windows 10";
    QTest::newRow("10 server") << 10u << 0u << 2u << 3u << 0 << "Microsoft Windows 10";
    QTest::newRow("query failed") << 0u << 0u << 0u << 0u << 0 << "";
}

void RequestTextTest::windowsVersionName()
{
    QFETCH(uint, major);
    QFETCH(uint, minor);
    QFETCH(uint, platformId);
    QFETCH(uint, productType);
    QFETCH(int, serverR2);
    QFETCH(QString, name);
    QCOMPARE(RequestText::windowsVersionName(major, minor, platformId, productType, serverR2), name);
    QCOMPARE(RequestText::osDisplayName(name), name + QLatin1Char(' '));
}

void RequestTextTest::accountKey_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("key");
    QTest::newRow("eleven digits") << "13800138000" << "phone";
    QTest::newRow("letters") << "demo" << "username";
    QTest::newRow("digits and a letter") << "1380013800a" << "username";
    QTest::newRow("empty") << "" << "phone";
    QTest::newRow("trailing blank") << "13800138000 " << "username";
    QTest::newRow("full-width digits") << QStringLiteral("１２３") << "username";
    QTest::newRow("arabic-indic digits") << QStringLiteral("\u0661\u0662") << "username";
}

void RequestTextTest::accountKey()
{
    QFETCH(QString, account);
    QFETCH(QString, key);
    QCOMPARE(RequestText::accountKey(account), key);
}

void RequestTextTest::digestsAndLoginBody()
{
    QCOMPARE(RequestText::md5Hex(QString()), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
    QCOMPARE(RequestText::md5Hex(QStringLiteral("demo1234")), QStringLiteral("6e9bece1914809fb8493146417e722f6"));
    // The digest is of the UTF-8 bytes.
    QCOMPARE(RequestText::md5Hex(QStringLiteral("密码")),
             QString::fromLatin1(QCryptographicHash::hash(QStringLiteral("密码").toUtf8(), QCryptographicHash::Md5).toHex()));
    QCOMPARE(RequestText::loginBody(QStringLiteral("13800138000"), QStringLiteral("demo1234")),
             QStringLiteral("phone=13800138000&pwd=6e9bece1914809fb8493146417e722f6"));
    QCOMPARE(RequestText::loginBody(QString(), QStringLiteral("demo1234")),
             QStringLiteral("phone=&pwd=6e9bece1914809fb8493146417e722f6"));
    QCOMPARE(RequestText::loginBody(QStringLiteral("a&pwd=x"), QString()),
             QStringLiteral("username=a%26pwd%3Dx&pwd=d41d8cd98f00b204e9800998ecf8427e"));
}

void RequestTextTest::urlForms()
{
    const QString base = QStringLiteral("http://svc/");
    const QString tc = RequestText::timeCheckParams(1700001234);
    const QString id = QStringLiteral("&i_=&d_=linux&dv_=%20&v_=V");
    QCOMPARE(RequestText::loginUrl(base, tc, id),
             QStringLiteral("http://svc/NSVUserService/login/json?t_=1700001234&p_=6047&i_=&d_=linux&dv_=%20&v_=V"));
    QCOMPARE(RequestText::plainUrl(base, QStringLiteral("NSVAuthService/sendAuthCodeToPhone/json?"), tc, id),
             QStringLiteral("http://svc/NSVAuthService/sendAuthCodeToPhone/json?t_=1700001234&p_=6047&i_=&d_=linux&dv_=%20&v_=V"));
    QCOMPARE(RequestText::updateUrl(base, QStringLiteral("NSVVerUpdateService/getNewNSVSoftwareToAll/json?"), tc, id, 1000001),
             QStringLiteral("http://svc/NSVVerUpdateService/getNewNSVSoftwareToAll/json?t_=1700001234&p_=6047&i_=&d_=linux&dv_=%20&v_=V&region_id=1000001"));
    QCOMPARE(RequestText::userUrl(base, QStringLiteral("NSVNoticeService/getSystemNoticeListByUID/json?"), tc, id,
                                  QStringLiteral("u1"), QStringLiteral("t&k"), {{QStringLiteral("page"), QStringLiteral("2")}}),
             QStringLiteral("http://svc/NSVNoticeService/getSystemNoticeListByUID/json?t_=1700001234&p_=6047&i_=&d_=linux&dv_=%20&v_=V&uid=u1&token=t%26k&page=2"));
}

void RequestTextTest::envelope_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("name");
    QTest::newRow("escaped") << QByteArray(R"({"code":200,"message":"ok","data":{"name":"\u8bb0\u8d26"}})")
                             << true << 200 << true << QStringLiteral("记账");
    QTest::newRow("raw utf-8") << QStringLiteral(R"({"code":200,"message":"ok","data":{"name":"记账"}})").toUtf8()
                               << true << 200 << true << QStringLiteral("记账");
    QTest::newRow("beyond the BMP") << QByteArray(R"({"code":200,"message":"ok","data":{"name":"\ud83d\ude00"}})")
                                    << true << 200 << true << QStringLiteral("\U0001F600");
    QTest::newRow("not ok message") << QByteArray(R"({"code":200,"message":"done","data":{}})")
                                    << true << 200 << false << QString();
    QTest::newRow("refusal") << QByteArray(R"({"code":901,"message":"ok"})") << true << 901 << false << QString();
    QTest::newRow("code as text") << QByteArray(R"({"code":"200","message":"ok"})") << true << 0 << false << QString();
    QTest::newRow("no code") << QByteArray(R"({"message":"ok"})") << true << 0 << false << QString();
    QTest::newRow("name as number") << QByteArray(R"({"code":200,"message":"ok","data":{"name":7}})")
                                    << true << 200 << true << QString();
    QTest::newRow("array") << QByteArray("[1,2]") << false << 0 << false << QString();
    QTest::newRow("truncated") << QByteArray(R"({"code":200,"mess)") << false << 0 << false << QString();
    QTest::newRow("empty") << QByteArray() << false << 0 << false << QString();
}

void RequestTextTest::envelope()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, valid);
    QFETCH(int, code);
    QFETCH(bool, ok);
    QFETCH(QString, name);
    // The transport hands over text decoded from UTF-8; parse that.
    const ServiceEnvelope env = ServiceEnvelope::parse(QString::fromUtf8(answer));
    QCOMPARE(env.valid, valid);
    QCOMPARE(env.code, code);
    QCOMPARE(env.isOk(), ok);
    QCOMPARE(jsonText(env.dataObject(), QStringLiteral("name")), name);
}

QTEST_APPLESS_MAIN(RequestTextTest)
#include "tst_requesttext.moc"
