// Push messages and notices without windows: parsing, the price rule, the
// pop-up's place, the lookup answer, the push log, the script text sent to
// pages and the server's backlog.

#include "core/AppPaths.h"
#include "push/core/NoticeList.h"
#include "push/core/PageScript.h"
#include "push/core/PushBacklog.h"
#include "push/core/PushConnection.h"
#include "push/core/PushMessage.h"

#include <QDir>
#include <QFile>
#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

class PushCoreTest : public QObject
{
    Q_OBJECT

private slots:
    void parseMessage_data();
    void parseMessage();
    void offerFields();
    void price_data();
    void price();
    void placement_data();
    void placement();
    void lookup_data();
    void lookup();
    void pageScriptReadsBackExactly_data();
    void pageScriptReadsBackExactly();
    void connectAndIdentifyScripts();
    void noticeList_data();
    void noticeList();
    void noticeListRefused_data();
    void noticeListRefused();
    void logLineFormat();
    void logGoesBesideTheExecutable();
    void unwritableLogIsSilent();
    void backlogReplay_data();
    void backlogReplay();
    void backlogIsBounded();
};

void PushCoreTest::parseMessage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("content");

    const int notice = int(PushMessage::Kind::Notice);
    QTest::newRow("notice") << R"({"alias":"lumiqPushNotice","uuid":"m1","data":{"uuid":"n1","title":"T","content":"C"}})"
                            << notice << "T" << "C";
    // Raw UTF-8 text, not only "\u" escapes, whatever the system's encoding.
    QTest::newRow("raw non-ASCII") << QStringLiteral(R"({"alias":"lumiqPushNotice","data":{"title":"系统维护","content":"今晚 22:00 — 😀"}})")
                                   << notice << QStringLiteral("系统维护") << QStringLiteral("今晚 22:00 — 😀");
    QTest::newRow("escaped non-ASCII") << R"({"alias":"lumiqPushNotice","data":{"title":"\u7cfb\u7edf"}})"
                                       << notice << QStringLiteral("系统") << "";
    QTest::newRow("numbers read as empty") << R"({"alias":"lumiqPushNotice","data":{"title":5,"content":null}})"
                                           << notice << "" << "";
    QTest::newRow("no data") << R"({"alias":"lumiqPushNotice"})" << notice << "" << "";
    QTest::newRow("offer") << R"({"alias":"lumiqPushApp","data":{}})" << int(PushMessage::Kind::App) << "" << "";
    QTest::newRow("other alias") << R"({"alias":"lumiqPushOther","data":{"title":"T"}})"
                                 << int(PushMessage::Kind::Other) << "" << "";
    QTest::newRow("no alias") << R"({"data":{}})" << int(PushMessage::Kind::Other) << "" << "";
    QTest::newRow("array") << "[1,2]" << int(PushMessage::Kind::Invalid) << "" << "";
    QTest::newRow("not JSON") << "lumiqPushNotice" << int(PushMessage::Kind::Invalid) << "" << "";
    QTest::newRow("empty") << "" << int(PushMessage::Kind::Invalid) << "" << "";
}

void PushCoreTest::parseMessage()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(QString, title);
    QFETCH(QString, content);
    const PushMessage m = PushMessage::parse(text);
    QCOMPARE(int(m.kind), kind);
    QCOMPARE(m.title, title);
    QCOMPARE(m.content, content);
}

void PushCoreTest::offerFields()
{
    const PushMessage m = PushMessage::parse(QStringLiteral(
        R"({"alias":"lumiqPushApp","uuid":"m9","data":{"uuid":"u","push_id":"p","app_id":"a","type":"2","name":"名字",)"
        R"("url":"http://x/","icon":"http://x/i.png","desc":"d","params":"-q","exec_path":"C:/a.exe","price":"9.9",)"
        R"("cate_id":"c","sort":"3"}})"));
    QCOMPARE(m.kind, PushMessage::Kind::App);
    QCOMPARE(m.uuid, QStringLiteral("m9"));
    const QStringList got{m.appUuid, m.pushId, m.appId, m.type, m.name, m.url, m.icon,
                          m.desc, m.params, m.execPath, m.price, m.cateId, m.sort};
    const QStringList expected{"u", "p", "a", "2", QStringLiteral("名字"), "http://x/", "http://x/i.png",
                               "d", "-q", "C:/a.exe", "9.9", "c", "3"};
    QCOMPARE(got, expected);
}

void PushCoreTest::price_data()
{
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("shown");
    QTest::newRow("empty is free") << "" << QStringLiteral("免费");
    QTest::newRow("kept as sent") << "9.9" << "9.9";
    QTest::newRow("zero is a price") << "0" << "0";
    QTest::newRow("blank is sent text") << " " << " ";
}

void PushCoreTest::price()
{
    QFETCH(QString, price);
    QFETCH(QString, shown);
    QCOMPARE(offerPriceText(price), shown);
}

void PushCoreTest::placement_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("topLeft");
    QTest::newRow("full HD, task bar below") << QRect(0, 0, 1920, 1040) << QPoint(1569, 809);
    QTest::newRow("task bar on the left") << QRect(60, 0, 1860, 1080) << QPoint(1569, 849);
    QTest::newRow("second screen origin") << QRect(-1280, 100, 1280, 900) << QPoint(-351, 769);
}

void PushCoreTest::placement()
{
    QFETCH(QRect, available);
    QFETCH(QPoint, topLeft);
    QCOMPARE(PushPopup::topLeft(available), topLeft);
    // One pixel short of both edges.
    const QRect popup(topLeft, QSize(PushPopup::kWidth, PushPopup::kHeight));
    QCOMPARE(popup.right() + 1, available.right());
    QCOMPARE(popup.bottom() + 1, available.bottom());
}

void PushCoreTest::lookup_data()
{
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("port");
    QTest::newRow("ok") << true << R"({"code":200,"message":"ok","data":{"internetIP":"10.0.0.5","port":"9501"}})"
                        << "10.0.0.5" << "9501";
    QTest::newRow("not answered") << false << R"({"code":200,"message":"ok","data":{"internetIP":"a","port":"1"}})"
                                  << "" << "";
    QTest::newRow("message not ok") << true << R"({"code":200,"message":"busy","data":{"internetIP":"a","port":"1"}})"
                                    << "" << "";
    QTest::newRow("other code") << true << R"({"code":500,"message":"ok","data":{"internetIP":"a","port":"1"}})"
                                << "" << "";
    QTest::newRow("port as a number") << true << R"({"code":200,"message":"ok","data":{"internetIP":"a","port":9501}})"
                                      << "" << "";
    QTest::newRow("no address") << true << R"({"code":200,"message":"ok","data":{"port":"1"}})" << "" << "";
    QTest::newRow("unparsable") << true << "<html>" << "" << "";
    QTest::newRow("array") << true << "[]" << "" << "";
}

void PushCoreTest::lookup()
{
    QFETCH(bool, answered);
    QFETCH(QString, answer);
    QFETCH(QString, address);
    QFETCH(QString, port);
    const PushConnection::ServerAddress server = PushConnection::parseLookup(answered, answer);
    QCOMPARE(server.address, address);
    QCOMPARE(server.port, port);
}

void PushCoreTest::pageScriptReadsBackExactly_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("single quote") << "it's";
    QTest::newRow("double quote") << "say \"hi\"";
    QTest::newRow("backslashes") << "C:\\dir\\n\\\\";
    QTest::newRow("ends the call") << "'); alert(1); ('";
    QTest::newRow("ends the call, double") << "\"); alert(1); (\"";
    QTest::newRow("script tag") << "</script><script>alert(1)</script>";
    QTest::newRow("line breaks") << "a\nb\r\nc\td";
    QTest::newRow("line separators") << QString::fromUtf16(u"a\u2028b\u2029c");
    QTest::newRow("control and NUL") << QString::fromUtf16(u"a\u0000b\u0001\u007f");
    QTest::newRow("non-ASCII") << QStringLiteral("通知 — 😀 ü");
    QTest::newRow("lone surrogate") << QString(QChar(0xd800)) + QStringLiteral("x") + QChar(0xdc00);
    QTest::newRow("template and comment") << "${x} `y` /* */ // <!--";
}

void PushCoreTest::pageScriptReadsBackExactly()
{
    QFETCH(QString, text);
    const QString script = PageScript::call(QStringLiteral("take"), {text, QStringLiteral("second")});
    for (const QChar c : script)
        QVERIFY2(c.unicode() >= 0x20 && c.unicode() < 0x7f, qPrintable(script));
    QVERIFY(!script.contains(QLatin1Char('\'')));
    QVERIFY(!script.contains(QLatin1Char('<')));

    QJSEngine engine;
    engine.evaluate(QStringLiteral("var got = []; function take() { got = Array.prototype.slice.call(arguments); }"));
    const QJSValue result = engine.evaluate(script);
    QVERIFY2(!result.isError(), qPrintable(result.toString()));
    const QJSValue got = engine.globalObject().property(QStringLiteral("got"));
    QCOMPARE(got.property(QStringLiteral("length")).toInt(), 2);
    QCOMPARE(got.property(0).toString(), text);
    QCOMPARE(got.property(1).toString(), QStringLiteral("second"));
}

void PushCoreTest::connectAndIdentifyScripts()
{
    QCOMPARE(PushConnection::identity(QStringLiteral("12345")), QStringLiteral("NSVIDCODE12345"));
    QCOMPARE(PushConnection::identifyScript(QStringLiteral("12345")),
             QStringLiteral("setUserLoginUUID(\"NSVIDCODE12345\");"));
    QCOMPARE(PushConnection::connectScript({QStringLiteral("127.0.0.1"), QStringLiteral("9501")}),
             QStringLiteral("_connect(\"127.0.0.1\",\"9501\");"));
    QCOMPARE(PushConnection::connectScript({}), QStringLiteral("_connect(\"\",\"\");"));
}

void PushCoreTest::noticeList_data()
{
    QTest::addColumn<QJsonArray>("items");
    QTest::newRow("empty") << QJsonArray();
    QTest::newRow("two") << QJsonArray{QJsonObject{{"title", "A"}, {"message", "a"}, {"created", "2026-01-01 08:00:00"}},
                                       QJsonObject{{"title", "B"}, {"message", "b"}, {"created", "2026-01-02 08:00:00"}}};
    QTest::newRow("hostile") << QJsonArray{QJsonObject{
        {"title", "\"quoted\" and 'single' \\ back"},
        {"message", "<script>document.title='x'</script>\nline two\\n not a break"},
        {"created", QStringLiteral("二〇二六年 😀")}}};
    QTest::newRow("missing created, wrong types") << QJsonArray{QJsonObject{{"title", 5}, {"message", "m"}}, 7};
}

void PushCoreTest::noticeList()
{
    QFETCH(QJsonArray, items);
    const QJsonObject answer{{"code", 200}, {"message", "ok"}, {"data", QJsonObject{{"item", items}, {"page", 1}}}};
    const QString answerText = QString::fromUtf8(QJsonDocument(answer).toJson());
    QString array;
    QVERIFY(NoticeList::arrayText(answerText, &array));
    if (items.isEmpty())
        QCOMPARE(array, QStringLiteral("[]"));

    // The page's reading: JSON.parse of the script's argument.
    const QString script = NoticeList::addLiScript(answerText);
    QJSEngine engine;
    engine.evaluate(QStringLiteral("var got; function addLi(text) { got = JSON.parse(text); }"));
    const QJSValue result = engine.evaluate(script);
    QVERIFY2(!result.isError(), qPrintable(result.toString()));
    const QJSValue got = engine.globalObject().property(QStringLiteral("got"));
    QCOMPARE(got.property(QStringLiteral("length")).toInt(), items.size());
    for (int i = 0; i < items.size(); ++i) {
        const QJsonObject item = items.at(i).toObject();
        const QJSValue notice = got.property(quint32(i));
        auto text = [](const QJsonValue &v) { return v.isString() ? v.toString() : QString(); };
        QCOMPARE(notice.property(QStringLiteral("title")).toString(), text(item.value("title")));
        QCOMPARE(notice.property(QStringLiteral("time")).toString(), text(item.value("created")));
        QCOMPARE(notice.property(QStringLiteral("article")).toString(), text(item.value("message")));
    }
    // Keys in their order: title, time, article.
    if (!items.isEmpty())
        QVERIFY(array.startsWith(QStringLiteral("[{\"title\":")) && array.indexOf(QStringLiteral("\"time\":"))
                    < array.indexOf(QStringLiteral("\"article\":")));
}

void PushCoreTest::noticeListRefused_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("other message") << R"({"code":200,"message":"no","data":{"item":[]}})";
    QTest::newRow("other code") << R"({"code":401,"message":"ok","data":{"item":[]}})";
    QTest::newRow("unparsable") << "{";
    QTest::newRow("empty") << "";
}

void PushCoreTest::noticeListRefused()
{
    QFETCH(QString, answer);
    QString array = QStringLiteral("untouched");
    QVERIFY(!NoticeList::arrayText(answer, &array));
    QCOMPARE(array, QStringLiteral("untouched"));
    QCOMPARE(NoticeList::addLiScript(answer), QString());
}

void PushCoreTest::logLineFormat()
{
    const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
    QCOMPARE(PushConnection::logLine(QStringLiteral("12345"), when, PushConnection::pushedText()),
             QStringLiteral("UID=12345      2026-03-04 05:06:07       数据已推送"));
}

void PushCoreTest::logGoesBesideTheExecutable()
{
    QTemporaryDir appDir;
    QTemporaryDir elsewhere;
    AppPaths::setAppDirPathOverride(appDir.path());
    const QString oldCurrent = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
    QVERIFY(PushConnection::appendLog(QStringLiteral("7"), PushConnection::connectedText(),
                                      PushConnection::logFilePath(), when));
    QVERIFY(PushConnection::appendLog(QStringLiteral("7"), PushConnection::reconnectingText(),
                                      PushConnection::logFilePath(), when));
    QDir::setCurrent(oldCurrent);
    AppPaths::setAppDirPathOverride(QString());

    QVERIFY(!QFile::exists(QDir(elsewhere.path()).filePath(QStringLiteral("PushServerLog.txt"))));
    QFile log(QDir(appDir.path()).filePath(QStringLiteral("PushServerLog.txt")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(log.readAll()),
             QStringLiteral("UID=7      2026-03-04 05:06:07       连接推送服务器成功\n"
                            "UID=7      2026-03-04 05:06:07       重连推送服务器\n"));
}

void PushCoreTest::unwritableLogIsSilent()
{
    QTemporaryDir dir;
    // A folder where the file should be: it cannot be opened for writing.
    const QString path = QDir(dir.path()).filePath(QStringLiteral("PushServerLog.txt"));
    QVERIFY(QDir().mkpath(path));
    QVERIFY(!PushConnection::appendLog(QStringLiteral("1"), PushConnection::failedText(), path));
}

void PushCoreTest::backlogReplay_data()
{
    QTest::addColumn<QString>("lastId");
    QTest::addColumn<QStringList>("replayed");
    QTest::newRow("after the newest: nothing") << "c" << QStringList();
    QTest::newRow("after the middle") << "b" << QStringList{"c"};
    QTest::newRow("after the oldest") << "a" << QStringList{"b", "c"};
    QTest::newRow("empty: from the start") << "" << QStringList{"a", "b", "c"};
    QTest::newRow("unknown: everything") << "zz" << QStringList{"a", "b", "c"};
}

void PushCoreTest::backlogReplay()
{
    QFETCH(QString, lastId);
    QFETCH(QStringList, replayed);
    PushBacklog backlog(10);
    for (const char *id : {"a", "b", "c"})
        backlog.append(QStringLiteral("u1"), QLatin1String(id), QStringLiteral("text ") + QLatin1String(id));
    backlog.append(QStringLiteral("u2"), QStringLiteral("other"), QString());
    QStringList got;
    for (const PushBacklog::Entry &e : backlog.since(QStringLiteral("u1"), lastId)) {
        QCOMPARE(e.text, QStringLiteral("text ") + e.uuid);
        got.append(e.uuid);
    }
    QCOMPARE(got, replayed);
    QCOMPARE(backlog.newestId(QStringLiteral("u1")), QStringLiteral("c"));
    QVERIFY(backlog.since(QStringLiteral("nobody"), QString()).isEmpty());
}

void PushCoreTest::backlogIsBounded()
{
    PushBacklog backlog(3);
    for (int i = 1; i <= 5; ++i)
        backlog.append(QStringLiteral("u"), QString::number(i), QString());
    QCOMPARE(backlog.size(QStringLiteral("u")), 3);
    QStringList ids;
    for (const PushBacklog::Entry &e : backlog.since(QStringLiteral("u"), QStringLiteral("1")))
        ids.append(e.uuid);
    // "1" fell out: the client may have missed anything still kept.
    QCOMPARE(ids, (QStringList{"3", "4", "5"}));
    // An id sent twice counts from its newest copy.
    backlog.append(QStringLiteral("u"), QStringLiteral("4"), QString());
    ids.clear();
    for (const PushBacklog::Entry &e : backlog.since(QStringLiteral("u"), QStringLiteral("4")))
        ids.append(e.uuid);
    QVERIFY(ids.isEmpty());
}

QTEST_GUILESS_MAIN(PushCoreTest)
#include "tst_pushcore.moc"
