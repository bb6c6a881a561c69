#include "refservice/JsonText.h"
#include "refservice/Service.h"
#include "tests/support/RefServiceProcess.h"

#include <QImage>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Sends head, then up to limit bytes of body pieces made by piece(), over a
// plain socket, and stops sending as soon as the service answers. Returns
// the status line of the answer ("" when none came); *sent is how much body
// went out.
QByteArray pushBody(quint16 port, const QByteArray &head, const std::function<QByteArray()> &piece,
                    const QByteArray &end, qint64 limit, qint64 *sent)
{
    *sent = 0;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return QByteArray();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return QByteArray();
    }
    auto sendAll = [fd](const QByteArray &data) {
        for (qint64 done = 0; done < data.size();) {
            const ssize_t n = ::send(fd, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    };
    auto answered = [fd](int timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, timeoutMs) > 0;
    };
    bool open = sendAll(head);
    while (open && *sent < limit && !answered(0)) {
        const QByteArray data = piece();
        open = sendAll(data);
        if (open)
            *sent += data.size();
    }
    if (open && !answered(0)) {
        if (end.isNull())
            ::shutdown(fd, SHUT_WR);
        else
            sendAll(end);
    }
    QByteArray answer;
    char buffer[4096];
    while (!answer.contains("\r\n") && answered(20000)) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        answer.append(buffer, int(n));
    }
    ::close(fd);
    return answer.left(answer.indexOf("\r\n"));
}

} // namespace

// The reference service as a program: what it answers to good, bad and
// malformed requests, its demo data, its switches and its shutdown.
class RefServiceTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void formAndEscapes();
    void timeCheckRule_data();
    void timeCheckRule();

    void signIn_data();
    void signIn();
    void signInAnswer();
    void refusesMalformed_data();
    void refusesMalformed();
    void survivesGarbage();
    void bodyWithoutLimit_data();
    void bodyWithoutLimit();
    void largeFormBody();
    void avatarOfHugeDimensions();
    void recordKeepsPartOfLargeBodies();
    void catalogue();
    void storePages_data();
    void storePages();
    void largeCatalogue();
    void installerInstallsAndUninstalls();
    void versionSwitch();
    void noticesAndPush();
    void escapedByDefault();
    void stateSurvivesRestart();
    void stopsOnSigterm();
    void stopsRightAfterStart();
    void endsWithItsParent();

private:
    static QString tc(qint64 t = QDateTime::currentSecsSinceEpoch());
    QString user(const QString &path, const QString &extra = QString()) const;
    QJsonObject getJson(const QString &pathAndQuery, int *status = nullptr) const;
    QJsonObject postJson(const QString &pathAndQuery, const QByteArray &body, int *status = nullptr) const;

    std::unique_ptr<RefServiceProcess> m_service;
    QString m_uid, m_token;
};

QString RefServiceTest::tc(qint64 t)
{
    return QStringLiteral("t_=%1&p_=%2&i_=&d_=linux&dv_=%20&v_=V").arg(t).arg(JsonText::timeCheckValue(t));
}

QString RefServiceTest::user(const QString &path, const QString &extra) const
{
    return path + QLatin1Char('?') + tc() + QStringLiteral("&uid=%1&token=%2").arg(m_uid, m_token) + extra;
}

QJsonObject RefServiceTest::getJson(const QString &pathAndQuery, int *status) const
{
    return QJsonDocument::fromJson(m_service->get(pathAndQuery, status)).object();
}

QJsonObject RefServiceTest::postJson(const QString &pathAndQuery, const QByteArray &body, int *status) const
{
    return QJsonDocument::fromJson(m_service->post(pathAndQuery, body, status)).object();
}

void RefServiceTest::initTestCase()
{
    m_service = std::make_unique<RefServiceProcess>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    QVERIFY(m_service->baseUrl().startsWith(QLatin1String("http://127.0.0.1:")));
    QVERIFY(m_service->baseUrl().endsWith(QLatin1Char('/')));
    const auto creds = m_service->demoCredentials();
    m_uid = creds.first;
    m_token = creds.second;
    QVERIFY(!m_token.isEmpty());
}

void RefServiceTest::init()
{
    QVERIFY(m_service->reset());
}

void RefServiceTest::formAndEscapes()
{
    const auto form = JsonText::parseForm("a=1&b=x%26y%3Dz&c=one+two&a=2&flag&e=%E8%AE%B0&=v");
    QCOMPARE(form.value("a"), QStringLiteral("1")); // the first of a repeated key
    QCOMPARE(form.value("b"), QStringLiteral("x&y=z"));
    QCOMPARE(form.value("c"), QStringLiteral("one two"));
    QVERIFY(form.contains("flag"));
    QCOMPARE(form.value("e"), QStringLiteral("记"));
    QCOMPARE(JsonText::queryOf("/p/json?x=1&y=2#frag"), std::string("x=1&y=2"));
    QCOMPARE(JsonText::queryOf("/p/json"), std::string());

    const QByteArray raw = QStringLiteral(R"({"n":"记账 \ud83d\ude00","a":"plain"})").toUtf8();
    const std::string escaped = JsonText::escapeNonAscii(QJsonDocument::fromJson(raw).toJson(QJsonDocument::Compact));
    for (const char c : escaped)
        QVERIFY(quint8(c) < 0x80);
    QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(escaped)), QJsonDocument::fromJson(raw));
}

void RefServiceTest::timeCheckRule_data()
{
    QTest::addColumn<QString>("t");
    QTest::addColumn<QString>("p");
    QTest::addColumn<qint64>("now");
    QTest::addColumn<bool>("valid");
    QTest::newRow("example") << "1700001234" << "6047" << qint64(1700001234) << true;
    QTest::newRow("wrong p") << "1700001234" << "6048" << qint64(1700001234) << false;
    QTest::newRow("an hour off") << "1700001234" << "6047" << qint64(1700004834) << true;
    QTest::newRow("two days off") << "1700001234" << "6047" << qint64(1700174034) << false;
    QTest::newRow("missing p") << "1700001234" << "" << qint64(1700001234) << false;
    QTest::newRow("signed") << "+1700001234" << "6047" << qint64(1700001234) << false;
    QTest::newRow("huge") << "99999999999999999999999" << "6047" << qint64(1700001234) << false;
}

void RefServiceTest::timeCheckRule()
{
    QFETCH(QString, t);
    QFETCH(QString, p);
    QFETCH(qint64, now);
    QFETCH(bool, valid);
    QMap<QString, QString> query{{"t_", t}};
    if (!p.isEmpty())
        query.insert("p_", p);
    QCOMPARE(Service::timeCheckValid(query, now), valid);
}

void RefServiceTest::signIn_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("code");
    QTest::newRow("demo") << "username" << "demo" << "demo1234" << 200;
    QTest::newRow("phone") << "phone" << "13800138000" << "demo1234" << 200;
    QTest::newRow("disabled") << "username" << "disabled" << "demo1234" << 901;
    QTest::newRow("blocked") << "username" << "blocked" << "demo1234" << 902;
    QTest::newRow("nocompany") << "username" << "nocompany" << "demo1234" << 905;
    QTest::newRow("companyoff") << "username" << "companyoff" << "demo1234" << 907;
    QTest::newRow("wrong password") << "username" << "demo" << "demo12345" << 900;
    QTest::newRow("refused account, wrong password") << "username" << "disabled" << "x" << 900;
    QTest::newRow("unknown") << "username" << "nobody" << "demo1234" << 900;
    QTest::newRow("name sent as phone") << "phone" << "demo" << "demo1234" << 900;
}

void RefServiceTest::signIn()
{
    QFETCH(QString, key);
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(int, code);
    const QByteArray body = key.toLatin1() + '=' + QUrl::toPercentEncoding(account) + "&pwd="
        + QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Md5).toHex();
    int status = 0;
    const QJsonObject answer = postJson(QStringLiteral("NSVUserService/login/json?") + tc(), body, &status);
    QCOMPARE(status, 200);
    QCOMPARE(answer.value("code").toInt(), code);
    QCOMPARE(answer.value("data").toObject().contains("token"), code == 200);
}

void RefServiceTest::signInAnswer()
{
    const QByteArray body = "username=demo&pwd=" + QCryptographicHash::hash("demo1234", QCryptographicHash::Md5).toHex();
    const QJsonObject answer = postJson(QStringLiteral("NSVUserService/login/json?") + tc(), body);
    QCOMPARE(answer.value("message").toString(), QStringLiteral("ok"));
    const QJsonObject data = answer.value("data").toObject();
    for (const char *key : {"username", "truename", "company_name", "phone", "address", "tax_number", "avatar",
                            "app_auth", "compan_id", "user_center", "uid", "token"}) {
        QVERIFY2(data.value(key).isString() && !data.value(key).toString().isEmpty(), key);
    }
    const QJsonObject items = data.value("access_itmes").toObject();
    QStringList pages{data.value("user_center").toString(), data.value("avatar").toString()};
    for (const char *key : {"modify_phone", "my_wallet", "my_pwd"}) {
        const QString url = items.value(key).toObject().value("url").toString();
        QVERIFY2(url.startsWith(m_service->baseUrl()), key);
        pages << url;
    }
    const QJsonObject store = data.value("appStore").toObject();
    for (const char *key : {"appRenewals", "appStoreSearchBase", "myAppSearchBase"})
        pages << store.value(key).toString();
    const QJsonObject cates = data.value("appcatelist").toObject();
    QCOMPARE(cates.size(), 4);
    for (const QString &k : cates.keys()) {
        const QJsonObject c = cates.value(k).toObject();
        QVERIFY(!c.value("name").toString().isEmpty());
        QVERIFY(c.value("url").toString().startsWith(QLatin1String("?cate_id=")));
        pages << store.value("appStoreSearchBase").toString() + c.value("url").toString() + "&keywords=x";
    }
    // Every address the answer gives is served.
    for (const QString &page : pages) {
        int status = 0;
        QVERIFY2(!m_service->get(page.mid(m_service->baseUrl().size()), &status).isEmpty(), qPrintable(page));
        QVERIFY2(status == 200, qPrintable(page));
    }
}

void RefServiceTest::refusesMalformed_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("target"); // "$tc" is a valid time check, "$user" adds the credentials too
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("code");
    const QByteArray pwd = "&pwd=" + QCryptographicHash::hash("demo1234", QCryptographicHash::Md5).toHex();
    QTest::newRow("no time check") << "POST" << "NSVUserService/login/json?i_=" << "username=demo" + pwd << 200 << 403;
    QTest::newRow("wrong p") << "POST" << "NSVUserService/login/json?t_=1700001234&p_=1" << "username=demo" + pwd << 200 << 403;
    QTest::newRow("old pair") << "POST" << "NSVUserService/login/json?t_=1700001234&p_=6047" << "username=demo" + pwd << 200 << 403;
    QTest::newRow("sign-in by GET") << "GET" << "NSVUserService/login/json?$tc&username=demo" << QByteArray() << 200 << 405;
    QTest::newRow("clear-text password") << "POST" << "NSVUserService/login/json?$tc" << QByteArray("username=demo&pwd=demo1234") << 200 << 400;
    QTest::newRow("both keys") << "POST" << "NSVUserService/login/json?$tc" << "username=demo&phone=1" + pwd << 200 << 400;
    QTest::newRow("binary body") << "POST" << "NSVUserService/login/json?$tc" << QByteArray("\x00\xff\xfe=\x01&&==", 9) << 200 << 400;
    QTest::newRow("no credentials") << "GET" << "NSVCloudDesktopService/getCloudDesktopAppFullInfo/json?$tc" << QByteArray() << 200 << 401;
    QTest::newRow("wrong token") << "GET" << "NSVCloudDesktopService/getCloudDesktopAppFullInfo/json?$tc&uid=u1001&token=x" << QByteArray() << 200 << 401;
    QTest::newRow("bad is_remove") << "GET" << "NSVCloudDesktopService/IsRemoveAppInCloudDesktop/json?$user&app_id=a101&is_remove=2" << QByteArray() << 200 << 400;
    QTest::newRow("missing app_id") << "GET" << "NSVCloudDesktopService/IsInstallAppInCloudDesktop/json?$user" << QByteArray() << 200 << 400;
    QTest::newRow("page not a number") << "GET" << "NSVNoticeService/getSystemNoticeListByUID/json?$user&page=1;drop" << QByteArray() << 200 << 400;
    QTest::newRow("region not a number") << "GET" << "NSVVerUpdateService/getNewNSVSoftwareToAll/json?$tc&region_id=1e6" << QByteArray() << 200 << 400;
    QTest::newRow("avatar not a picture") << "POST" << "NSVUserProfileService/updateUserAvatarByUID/json?$user" << QByteArray("base64bin=%%%") << 200 << 400;
    QTest::newRow("other company") << "POST" << "NSVCloudDesktopService/addNewAppToCloudDesktop/json?$user" << QByteArray("app_id=a404&app_name=x&compan_id=c200") << 200 << 403;
    QTest::newRow("unknown path") << "GET" << "NSVNoSuchService/x/json?$tc" << QByteArray() << 404 << 0;
    QTest::newRow("path escape") << "GET" << "images/app/..%2F..%2Fetc/icon.png" << QByteArray() << 404 << 0;
}

void RefServiceTest::refusesMalformed()
{
    QFETCH(QString, method);
    QFETCH(QString, target);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(int, code);
    target.replace("$user", tc() + QStringLiteral("&uid=%1&token=%2").arg(m_uid, m_token));
    target.replace("$tc", tc());
    int got = 0;
    const QByteArray answer = method == "GET" ? m_service->get(target, &got) : m_service->post(target, body, &got);
    QCOMPARE(got, status);
    if (code)
        QCOMPARE(QJsonDocument::fromJson(answer).object().value("code").toInt(), code);
    // Still serving.
    QVERIFY(!m_service->demoCredentials().first.isEmpty());
}

void RefServiceTest::survivesGarbage()
{
    const QUrl base(m_service->baseUrl());
    const QList<QByteArray> inputs{
        QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11), // a TLS hello
        QByteArray("GET /NSVUserService/logout/json?%zz%%& HTTP/1.1\r\nHost: x\r\n\r\n"),
        QByteArray("POST /NSVUserService/login/json HTTP/1.1\r\nContent-Length: -5\r\n\r\n"),
        QByteArray("POST /NSVUserService/login/json HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\nab"),
        QByteArray(70000, 'A') + "\r\n\r\n",
        QByteArray("GET / HTTP/1.1\r\n") + QByteArray(9000, 'X') + ": y\r\n\r\n",
    };
    for (const QByteArray &input : inputs) {
        QTcpSocket socket;
        socket.connectToHost(base.host(), quint16(base.port()));
        QVERIFY(socket.waitForConnected(5000));
        socket.write(input);
        socket.waitForBytesWritten(5000);
        socket.waitForReadyRead(500);
        socket.abort();
    }
    // Too large a body is refused before it is read.
    int status = 0;
    m_service->post(QStringLiteral("NSVUserService/login/json?") + tc(), QByteArray(9 * 1024 * 1024, 'a'), &status);
    QCOMPARE(status, 413);
    QCOMPARE(m_service->demoCredentials().first, m_uid);
}

// Bodies are bounded whatever their framing: chunked, or sent until the
// connection's end, also for methods the service does not serve.
void RefServiceTest::bodyWithoutLimit_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<QByteArray>("status");
    QTest::newRow("POST, chunked") << QByteArray("POST") << true << QByteArray("413");
    QTest::newRow("POST, until the end") << QByteArray("POST") << false << QByteArray("413");
    QTest::newRow("PUT, chunked") << QByteArray("PUT") << true << QByteArray("405");
    QTest::newRow("DELETE, until the end") << QByteArray("DELETE") << false << QByteArray("405");
}

void RefServiceTest::bodyWithoutLimit()
{
    QFETCH(QByteArray, method);
    QFETCH(bool, chunked);
    QFETCH(QByteArray, status);
    const QByteArray head = method + " /NSVUserService/login/json?" + tc().toLatin1() + " HTTP/1.1\r\nHost: x\r\n"
        + "Content-Type: application/x-www-form-urlencoded\r\n"
        + (chunked ? "Transfer-Encoding: chunked\r\n" : "") + "\r\n";
    const QByteArray data(1024 * 1024, 'a');
    const QByteArray piece = chunked ? QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n" : data;
    const qint64 limit = 64 * 1024 * 1024; // far beyond what the service takes
    qint64 sent = 0;
    const QByteArray answer = pushBody(quint16(QUrl(m_service->baseUrl()).port()), head, [&] { return piece; },
                                       chunked ? QByteArray("0\r\n\r\n") : QByteArray(), limit, &sent);
    QVERIFY2(answer.startsWith("HTTP/1.1 " + status), answer.constData());
    QVERIFY2(sent < limit, qPrintable(QString::number(sent)));
    QCOMPARE(m_service->demoCredentials().first, m_uid);
}

// A picture of a realistic size goes up as a form body far beyond 8 KB.
void RefServiceTest::largeFormBody()
{
    QImage picture(256, 256, QImage::Format_RGB32);
    quint32 seed = 1;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            picture.setPixel(x, y, seed >> 8);
        }
    }
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    QVERIFY(picture.save(&png, "PNG"));
    const QByteArray base64 = png.data().toBase64();
    QVERIFY(base64.size() > 100 * 1024);

    int status = 0;
    const QJsonObject answer = postJson(user("NSVUserProfileService/updateUserAvatarByUID/json"),
                                        "base64bin=" + QUrl::toPercentEncoding(QString::fromLatin1(base64)), &status);
    QCOMPARE(status, 200);
    QCOMPARE(answer.value("code").toInt(), 200);
    const QByteArray served = m_service->get(QStringLiteral("images/avatar/%1.png").arg(m_uid), &status);
    QCOMPARE(status, 200);
    QCOMPARE(QImage::fromData(served).convertToFormat(QImage::Format_RGB32), picture);
}

// A small file may promise an enormous picture; the service does not
// unpack one far beyond any avatar (this one would take 64 MiB, a forged
// header gigabytes).
void RefServiceTest::avatarOfHugeDimensions()
{
    QImage picture(4096, 4096, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    QVERIFY(picture.save(&png, "PNG"));
    QVERIFY(png.data().size() < 1024 * 1024);
    const QByteArray before = m_service->get(QStringLiteral("images/avatar/%1.png").arg(m_uid));

    const QJsonObject answer = postJson(user("NSVUserProfileService/updateUserAvatarByUID/json"),
                                        "base64bin=" + QUrl::toPercentEncoding(QString::fromLatin1(png.data().toBase64())));
    QCOMPARE(answer.value("code").toInt(), 400);
    QCOMPARE(m_service->get(QStringLiteral("images/avatar/%1.png").arg(m_uid)), before);
}

// The record lives in memory: of a long body it keeps the beginning, as
// text and as form, while the operation gets all of it.
void RefServiceTest::recordKeepsPartOfLargeBodies()
{
    const QString name(4 * 1024 * 1024, QLatin1Char('n'));
    const QString path = QStringLiteral("NSVCloudDesktopService/addNewAppToCloudDesktop/json");
    QCOMPARE(postJson(user(path), "app_id=a303&compan_id=c100&app_name=" + name.toLatin1()).value("code").toInt(), 200);
    QCOMPARE(m_service->userApp(m_uid, "a303").value("app_name").toString().size(), name.size());
    const QJsonObject recorded = m_service->lastReceived(path);
    QCOMPARE(recorded.value("form").toObject().value("app_id").toString(), QStringLiteral("a303"));
    QVERIFY(recorded.value("body").toString().size() <= 64 * 1024);
    const int kept = recorded.value("form").toObject().value("app_name").toString().size();
    QVERIFY2(kept <= 64 * 1024, qPrintable(QString::number(kept)));
    QCOMPARE(postJson(user("NSVCloudDesktopService/deletelAppInCloudDesktop/json"),
                      "app_id=a303&app_name=x").value("code").toInt(), 200);
}

void RefServiceTest::catalogue()
{
    const QJsonObject answer = getJson(user("NSVCloudDesktopService/getCloudDesktopAppFullInfo/json"));
    QCOMPARE(answer.value("code").toInt(), 200);
    QCOMPARE(answer.value("message").toString(), QStringLiteral("ok"));
    const QJsonArray cats = answer.value("data").toObject().value("app").toArray();
    QCOMPARE(cats.size(), 4);
    QSet<QString> types, icons;
    for (const QJsonValue &cv : cats) {
        const QJsonObject cat = cv.toObject();
        QVERIFY(!cat.value("id").toString().isEmpty());
        QVERIFY(!cat.value("name").toString().isEmpty());
        icons.insert(cat.value("icon").toString());
        const QJsonArray child = cat.value("child").toArray();
        QVERIFY(!child.isEmpty());
        for (const QJsonValue &av : child) {
            const QJsonObject app = av.toObject();
            for (const char *key : {"cate_id", "desc", "exec_path", "icon", "id", "is_install", "is_remove", "name",
                                    "params", "sort", "type", "nosign", "url"})
                QVERIFY2(app.value(key).isString(), key);
            QCOMPARE(app.value("cate_id").toString(), cat.value("id").toString());
            QCOMPARE(app.value("is_remove").toString(), QStringLiteral("1"));
            types.insert(app.value("type").toString());
            icons.insert(app.value("icon").toString());
            const QString url = app.value("url").toString();
            if (app.value("type").toString() == "2" && !url.isEmpty()) {
                int status = 0;
                const QByteArray installer = m_service->get(url.mid(m_service->baseUrl().size()), &status);
                QCOMPARE(status, 200);
                QVERIFY(installer.startsWith("#!/bin/sh"));
            }
            if (app.value("type").toString() == "3")
                QVERIFY(url.startsWith('/'));
        }
    }
    QCOMPARE(types, (QSet<QString>{"1", "2", "3"}));
    for (const QString &icon : qAsConst(icons)) {
        QVERIFY(icon.startsWith(m_service->baseUrl()));
        int status = 0;
        const QImage image = QImage::fromData(m_service->get(icon.mid(m_service->baseUrl().size()), &status));
        QCOMPARE(status, 200);
        QVERIFY2(!image.isNull(), qPrintable(icon));
    }

    // Taking an application off the desktop takes it out of the list.
    QCOMPARE(getJson(user("NSVCloudDesktopService/IsRemoveAppInCloudDesktop/json", "&app_id=a104&is_remove=0"))
                 .value("code").toInt(), 200);
    const QByteArray after = m_service->get(user("NSVCloudDesktopService/getCloudDesktopAppFullInfo/json"));
    QVERIFY(!after.contains("\"a104\""));
    QCOMPARE(getJson(user("NSVCloudDesktopService/IsRemoveAppInCloudDesktop/json", "&app_id=a104&is_remove=1"))
                 .value("code").toInt(), 200);
    QVERIFY(m_service->get(user("NSVCloudDesktopService/getCloudDesktopAppFullInfo/json")).contains("\"a104\""));
}

void RefServiceTest::largeCatalogue()
{
    QVERIFY(m_service->setCatalogueSize(200));
    const QJsonArray cats = getJson(user("NSVCloudDesktopService/getCloudDesktopAppFullInfo/json"))
                                .value("data").toObject().value("app").toArray();
    QSet<QString> icons;
    int apps = 0;
    for (const QJsonValue &cv : cats) {
        for (const QJsonValue &av : cv.toObject().value("child").toArray()) {
            ++apps;
            icons.insert(av.toObject().value("icon").toString());
        }
    }
    QCOMPARE(apps, 200);
    QCOMPARE(icons.size(), 200);
    QVERIFY(!QImage::fromData(m_service->get(QStringLiteral("images/bulk/200/icon.png"))).isNull());
}

void RefServiceTest::installerInstallsAndUninstalls()
{
    QTemporaryDir home;
    int status = 0;
    const QByteArray script = m_service->get(QStringLiteral("downloads/suhui-setup.sh"), &status);
    QCOMPARE(status, 200);
    QFile file(home.filePath("setup.sh"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(script);
    file.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.remove("XDG_DATA_HOME");
    env.remove("XDG_CONFIG_HOME");
    auto runScript = [&](const QString &path) {
        QProcess sh;
        sh.setProcessEnvironment(env);
        sh.start("/bin/sh", {path});
        return sh.waitForFinished(20000) && sh.exitStatus() == QProcess::NormalExit && sh.exitCode() == 0;
    };
    QVERIFY(runScript(file.fileName()));

    const QString entryPath = home.filePath(".local/share/applications/orvane-demo-suhui.desktop");
    QSettings entry(entryPath, QSettings::IniFormat);
    entry.setIniCodec("UTF-8");
    QCOMPARE(entry.value("Desktop Entry/Name").toString(), QStringLiteral("速绘画板"));
    const QString program = entry.value("Desktop Entry/Exec").toString();
    QCOMPARE(program, entry.value("Desktop Entry/Path").toString() + "/suhui");
    QVERIFY(QFileInfo(program).isExecutable());
    QVERIFY(QFile::exists(home.filePath(QStringLiteral("Desktop/速绘画板.desktop"))));
    const QString uninstall = entry.value("Desktop Entry/X-Orvane-Uninstall").toString();
    QVERIFY(QFileInfo(uninstall).isExecutable());

    QVERIFY(runScript(uninstall));
    QVERIFY(!QFile::exists(entryPath));
    QVERIFY(!QFile::exists(program));
    QVERIFY(!QFile::exists(home.filePath(QStringLiteral("Desktop/速绘画板.desktop"))));

    // Other files are not handed out.
    m_service->get(QStringLiteral("downloads/..%2Forvane-service.sqlite"), &status);
    QCOMPARE(status, 404);
}

void RefServiceTest::versionSwitch()
{
    const QString path = QStringLiteral("NSVVerUpdateService/getNewNSVSoftwareToAll/json?") + tc() + "&region_id=1000001";
    QJsonObject data = getJson(path).value("data").toObject();
    QCOMPARE(data.value("versionNumber").toString(), QStringLiteral("1.0.0"));
    QVERIFY(data.value("downloadUrl").toString().startsWith(m_service->baseUrl()));
    QVERIFY(m_service->setOfferedVersion(QStringLiteral("2.3.4")));
    data = getJson(path).value("data").toObject();
    QCOMPARE(data.value("versionNumber").toString(), QStringLiteral("2.3.4"));
    int status = 0;
    m_service->get(data.value("downloadUrl").toString().mid(m_service->baseUrl().size()), &status);
    QCOMPARE(status, 200);
    QCOMPARE(getJson(QStringLiteral("NSVVerUpdateService/getNewNSVSoftwareToAll/json?") + tc() + "&region_id=7")
                 .value("code").toInt(), 404);
}

void RefServiceTest::noticesAndPush()
{
    int total = 0;
    for (int page = 1; page <= 3; ++page) {
        const QJsonObject answer = getJson(user("NSVNoticeService/getSystemNoticeListByUID/json", QStringLiteral("&page=%1").arg(page)));
        QCOMPARE(answer.value("message").toString(), QStringLiteral("ok"));
        const QJsonArray items = answer.value("data").toObject().value("item").toArray();
        for (const QJsonValue &v : items) {
            for (const char *key : {"title", "message", "created"})
                QVERIFY(!v.toObject().value(key).toString().isEmpty());
        }
        total += items.size();
        if (page == 3)
            QVERIFY(items.isEmpty());
    }
    QCOMPARE(total, 12);
    const QJsonObject push = getJson(user("NSVPushSvrService/getPushSvrIPAddressByTime33Hash/json"));
    QCOMPARE(push.value("message").toString(), QStringLiteral("ok"));
    QVERIFY(push.value("data").toObject().value("internetIP").isString());
    QVERIFY(push.value("data").toObject().value("port").isString());
}

void RefServiceTest::escapedByDefault()
{
    const QByteArray escaped = m_service->get(user("NSVCloudDesktopService/getCloudDesktopAppFullInfo/json"));
    for (const char c : escaped)
        QVERIFY(quint8(c) < 0x80);
    QVERIFY(escaped.contains("\\u"));
    QVERIFY(m_service->setRawUtf8(true));
    const QByteArray raw = m_service->get(user("NSVCloudDesktopService/getCloudDesktopAppFullInfo/json"));
    QVERIFY(raw.contains(QStringLiteral("办公").toUtf8()));
    QCOMPARE(QJsonDocument::fromJson(raw), QJsonDocument::fromJson(escaped));
}

void RefServiceTest::stateSurvivesRestart()
{
    QTemporaryDir data;
    QString token;
    {
        RefServiceProcess first(data.path());
        QVERIFY(first.isRunning());
        const auto creds = first.demoCredentials();
        token = creds.second;
        const QString q = QStringLiteral("?") + tc() + QStringLiteral("&uid=%1&token=%2").arg(creds.first, token);
        const QJsonObject added = QJsonDocument::fromJson(first.post(
            "NSVCloudDesktopService/addNewAppToCloudDesktop/json" + q, "app_id=a303&app_name=%E6%8E%A5&compan_id=c100")).object();
        QCOMPARE(added.value("code").toInt(), 200);
    }
    RefServiceProcess second(data.path());
    QVERIFY(second.isRunning());
    const auto creds = second.demoCredentials();
    QCOMPARE(creds.second, token); // the same database, not a fresh seed
    const QString q = QStringLiteral("?") + tc() + QStringLiteral("&uid=%1&token=%2&app_id=a303").arg(creds.first, token);
    QCOMPARE(QJsonDocument::fromJson(second.get("NSVCloudDesktopService/IsInstallAppInCloudDesktop/json" + q))
                 .object().value("code").toInt(), 735);
}

void RefServiceTest::stopsOnSigterm()
{
    QTemporaryDir data;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(qEnvironmentVariable("ORVANE_BIN_DIR") + "/orvane-service",
                  {"--port", "0", "--data", data.path()});
    QVERIFY(process.waitForReadyRead(10000));
    const QString base = QString::fromUtf8(process.readLine()).trimmed();
    QVERIFY(base.endsWith('/'));

    // A request held by the delay switch does not hold up the shutdown.
    QNetworkAccessManager manager;
    QNetworkRequest admin(QUrl(base + "__admin/delay"));
    admin.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    QNetworkReply *set = manager.post(admin, "ms=60000");
    QTRY_VERIFY(set->isFinished());
    QNetworkReply *slow = manager.get(QNetworkRequest(QUrl(base + "NSVUserService/logout/json?" + tc())));
    QTest::qWait(300);
    QVERIFY(!slow->isFinished());

    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QTRY_VERIFY(slow->isFinished());
    delete slow;
    delete set;

    // Bad command lines are refused with a message, not a crash.
    QProcess bad;
    bad.start(qEnvironmentVariable("ORVANE_BIN_DIR") + "/orvane-service", {"--port", "x"});
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bad.exitCode(), 2);
}

// A stop asked for as soon as the address is out is not lost.
void RefServiceTest::stopsRightAfterStart()
{
    QTemporaryDir data;
    for (int round = 0; round < 10; ++round) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(qEnvironmentVariable("ORVANE_BIN_DIR") + "/orvane-service", {"--port", "0", "--data", data.path()});
        QVERIFY(process.waitForReadyRead(10000));
        process.terminate();
        QVERIFY2(process.waitForFinished(10000), qPrintable(QString::number(round)));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }
}

void RefServiceTest::endsWithItsParent()
{
    // A shell starts the service and prints its pid, then is killed the way
    // a crashing test would be.
    QTemporaryDir data;
    QProcess parent;
    parent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString service = qEnvironmentVariable("ORVANE_BIN_DIR") + "/orvane-service";
    parent.start("sh", {"-c", "\"$0\" --port 0 --data \"$1\" --with-parent & echo $!; wait", service, data.path()});
    QVERIFY(parent.waitForReadyRead(10000));
    const qint64 pid = parent.readLine().trimmed().toLongLong();
    QVERIFY(pid > 0);
    QVERIFY(QDir("/proc/" + QString::number(pid)).exists());
    QTest::qWait(300); // let it reach its listening state
    ::kill(pid_t(parent.processId()), SIGKILL);
    QVERIFY(parent.waitForFinished(10000));

    // Orphans are reaped by init once they exit; gone from /proc means ended.
    QTRY_VERIFY_WITH_TIMEOUT(!QDir("/proc/" + QString::number(pid)).exists(), 10000);
}

void RefServiceTest::storePages_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("apps");

    // a404 is in the store but not on the demo user's list.
    QTest::newRow("store of a category") << "scope=store&cate_id=c4" << QStringList{"a401", "a402", "a403", "a404"};
    QTest::newRow("own applications of a category") << "scope=mine&cate_id=c4" << QStringList{"a401", "a402", "a403"};
    QTest::newRow("search over every category") << "scope=store&keywords=%E6%96%87%E6%A1%A3" << QStringList{"a101", "a103", "a303"};
    QTest::newRow("nothing found") << "scope=store&keywords=zzz" << QStringList{};
}

void RefServiceTest::storePages()
{
    QFETCH(QString, query);
    QFETCH(QStringList, apps);
    int status = 0;
    const QJsonObject answer = getJson("pages/api/apps?uid=" + m_uid + "&" + query, &status);
    QCOMPARE(status, 200);
    QCOMPARE(answer.value("code").toInt(), 200);
    QStringList ids;
    for (const QJsonValue &v : answer.value("data").toArray()) {
        const QJsonObject app = v.toObject();
        ids << app.value("app_id").toString();
        // What the page sends back as an install request.
        for (const char *key : {"cate_id", "app_name", "icon", "type", "url", "is_remove", "nosign"})
            QVERIFY2(app.contains(QLatin1String(key)), key);
        QCOMPARE(app.value("on_list").toBool(), ids.last() != "a404" && ids.last() != "a303");
    }
    QCOMPARE(ids, apps);

    QCOMPARE(getJson("pages/api/apps?uid=nobody&scope=store").value("code").toInt(), 401);
    // The pages and what they load.
    for (const char *page : {"appstore.html", "myapps.html", "renewals.html", "pay.html", "store.js",
                             "store.css", "qwebchannel.js"}) {
        const QByteArray body = m_service->get(QStringLiteral("pages/") + QLatin1String(page), &status);
        QCOMPARE(status, 200);
        QVERIFY2(body.size() > 100, page);
    }
    QVERIFY(m_service->get("pages/qwebchannel.js").contains("QWebChannel"));
    QVERIFY(m_service->get("pages/appstore.html").contains("app_install_done"));
}

QTEST_GUILESS_MAIN(RefServiceTest)
#include "tst_refservice.moc"
