#include "login/core/LoginAttempt.h"
#include "login/core/LoginTexts.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

namespace {

QJsonObject profile()
{
    return QJsonObject{
        {"token", "tok-1"}, {"uid", "42"}, {"username", "demo"}, {"truename", QStringLiteral("王小明")},
        {"company_name", "Orvane"}, {"phone", "13800138000"}, {"address", "Road 1"},
        {"tax_number", "TX9"}, {"avatar", "http://pics.test/a.png"}, {"app_auth", "1"},
        {"compan_id", "c-7"},
        {"access_itmes", QJsonObject{{"modify_phone", QJsonObject{{"url", "http://p/m"}}},
                                     {"my_wallet", QJsonObject{{"url", "http://p/w"}}},
                                     {"my_pwd", QJsonObject{{"url", 5}}}}},
        {"user_center", "http://p/uc"},
        {"appcatelist", QJsonObject{{"b", QJsonObject{{"name", "B"}, {"url", "http://p/b"}}},
                                    {"a", QJsonObject{{"name", "A"}, {"url", "http://p/a"}}}}},
        {"appStore", QJsonObject{{"appRenewals", "http://p/r"},
                                 {"appStoreSearchBase", "http://p/s"},
                                 {"myAppSearchBase", "http://p/my"}}}};
}

QString answerText(int code, const QJsonObject &data = profile())
{
    return QString::fromUtf8(
        QJsonDocument(QJsonObject{{"code", code}, {"message", "x"}, {"data", data}}).toJson());
}

// Records what the user would see, in order.
struct Fake
{
    QStringList events;
    bool answered = true;
    QString answer = answerText(200);
    bool fetchResult = true;
    bool fileResult = true;
    QString configAtFetch;
    QString configPath;
    int requests = 0;

    LoginAttempt::Hooks hooks()
    {
        LoginAttempt::Hooks h;
        h.message = [this](const QString &t) { events << "message:" + t; };
        h.showDialog = [this]() { events << "show"; };
        h.requestLogin = [this](const QString &account, const QString &pwd, QString *out) {
            ++requests;
            events << "request:" + account + "/" + pwd;
            *out = answered ? answer : QString();
            return answered;
        };
        h.fetchCatalogue = [this](const QString &token, const QString &uid) {
            events << "fetch:" + token + "/" + uid;
            QFile f(configPath);
            f.open(QIODevice::ReadOnly);
            configAtFetch = QString::fromLatin1(f.readAll());
            return fetchResult;
        };
        h.loadCatalogueFile = [this]() {
            events << "file";
            return fileResult;
        };
        return h;
    }
};

void writeConfig(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

class TestLoginAttempt : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void emptyFields_data();
    void emptyFields();
    void refusals_data();
    void refusals();
    void transportFailureAndUnreadableAnswer_data();
    void transportFailureAndUnreadableAnswer();
    void acceptedFillsRecordsAndConfig();
    void acceptedWithFailedCatalogueKeepsKeys();
    void offline_data();
    void offline();
    void passwordBeyondGb2312SignsInOfflineLater();
    void readOnlyConfigStillSignsIn();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QString m_config;
};

void TestLoginAttempt::init()
{
    m_dir.reset(new QTemporaryDir);
    m_config = m_dir->filePath("Config.ini");
    writeConfig(m_config, "[server]\nflag=0\ntestserver=http://127.0.0.1:1/\n");
}

void TestLoginAttempt::emptyFields_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("online");
    QTest::newRow("empty password") << "demo" << "" << true;
    QTest::newRow("empty account") << "" << "pw" << true;
    QTest::newRow("both empty, offline") << "" << "" << false;
}

void TestLoginAttempt::emptyFields()
{
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(bool, online);
    Fake fake;
    LoginUserInfo user;
    LoginServiceLinks links;
    const QByteArray before = readAll(m_config);
    QVERIFY(!LoginAttempt(fake.hooks(), m_config).run(account, password, online, &user, &links));
    QCOMPARE(fake.events, QStringList{"message:\r\n用户名或者密码不能为空！"});
    QCOMPARE(readAll(m_config), before);
}

void TestLoginAttempt::refusals_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("901") << 901 << QStringLiteral("\r\n此用户已被管理员禁用！");
    QTest::newRow("902") << 902 << QStringLiteral("\r\n此用户已被Tessel禁用！");
    QTest::newRow("905") << 905 << QStringLiteral("\r\n未查询到用户所在公司的信息！");
    QTest::newRow("907") << 907 << QStringLiteral("\r\n此用户所在公司已被禁用！");
    QTest::newRow("500") << 500 << QStringLiteral("\r\n用户名或者密码不正确！");
    QTest::newRow("no code") << 0 << QStringLiteral("\r\n用户名或者密码不正确！");
}

void TestLoginAttempt::refusals()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    Fake fake;
    fake.answer = code ? answerText(code) : QStringLiteral("{\"data\":{}}");
    LoginUserInfo user;
    LoginServiceLinks links;
    const QByteArray before = readAll(m_config);
    QVERIFY(!LoginAttempt(fake.hooks(), m_config).run(" demo", "pw ", true, &user, &links));
    // Typed text goes out untrimmed; the dialog comes up before the message.
    QCOMPARE(fake.events, (QStringList{"request: demo/pw ", "show", "message:" + message}));
    QCOMPARE(readAll(m_config), before);
    QVERIFY(user.username.isEmpty());
}

void TestLoginAttempt::transportFailureAndUnreadableAnswer_data()
{
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("no answer") << false << QString()
                               << QStringList{"message:\r\n登录失败！"};
    QTest::newRow("not JSON") << true << QString("<html>busy</html>") << QStringList();
    QTest::newRow("JSON array") << true << QString("[200]") << QStringList();
}

void TestLoginAttempt::transportFailureAndUnreadableAnswer()
{
    QFETCH(bool, answered);
    QFETCH(QString, answer);
    QFETCH(QStringList, after);
    Fake fake;
    fake.answered = answered;
    fake.answer = answer;
    LoginUserInfo user;
    LoginServiceLinks links;
    const QByteArray before = readAll(m_config);
    QVERIFY(!LoginAttempt(fake.hooks(), m_config).run("demo", "pw", true, &user, &links));
    QCOMPARE(fake.events, QStringList{"request:demo/pw"} + after);
    QCOMPARE(readAll(m_config), before);
}

void TestLoginAttempt::acceptedFillsRecordsAndConfig()
{
    Fake fake;
    fake.configPath = m_config;
    LoginUserInfo user;
    LoginServiceLinks links;
    const QString account = QStringLiteral("小明");
    const QString password = QStringLiteral(" p@ss word ");
    QVERIFY(LoginAttempt(fake.hooks(), m_config).run(account, password, true, &user, &links));
    QCOMPARE(fake.events, (QStringList{"request:" + account + "/" + password, "fetch:tok-1/42"}));

    QCOMPARE(user.truename, QStringLiteral("王小明"));
    QCOMPARE(user.compan_id, QString("c-7"));
    QCOMPARE(user.modify_phone_url, QString("http://p/m"));
    QCOMPARE(user.my_wallet_url, QString("http://p/w"));
    QVERIFY(user.my_pwd_url.isEmpty()); // a number, not a string
    QCOMPARE(user.user_center, QString("http://p/uc"));
    QCOMPARE(links.companyId, QString("c-7"));
    // Members in ascending key order; the keys themselves are dropped.
    QCOMPARE(links.appCategoryLinks.size(), 2);
    QCOMPARE(links.appCategoryLinks[0], qMakePair(QString("A"), QString("http://p/a")));
    QCOMPARE(links.appCategoryLinks[1], qMakePair(QString("B"), QString("http://p/b")));
    QCOMPARE(links.appRenewals, QString("http://p/r"));
    QCOMPARE(links.myAppSearchBase, QString("http://p/my"));

    // The six keys are on disk before the catalogue is fetched, the password
    // as typed, the file readable by its owner only.
    const QTextCodec *gb = QTextCodec::codecForName("GB2312");
    const QString written = gb->toUnicode(readAll(m_config));
    QCOMPARE(gb->toUnicode(fake.configAtFetch.toLatin1()), written);
    QVERIFY(written.contains("[connect]\ntoken=tok-1\nuid=42\n"));
    QVERIFY(written.contains("[userinfo]\nflag=1\nrember=1\nusername=" + account
                             + "\nuserpwd=\" p@ss word \"\n"));
    QVERIFY(written.contains("testserver=http://127.0.0.1:1/"));
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
        | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther
        | QFileDevice::ExeOther;
    QCOMPARE(QFile::permissions(m_config) & (others | QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                             | QFileDevice::ExeOwner),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QSettings settings(m_config, QSettings::IniFormat);
    settings.setIniCodec("GB2312");
    QCOMPARE(settings.value("userinfo/userpwd").toString(), password);
    QCOMPARE(settings.value("userinfo/username").toString(), account);
}

void TestLoginAttempt::acceptedWithFailedCatalogueKeepsKeys()
{
    Fake fake;
    fake.configPath = m_config;
    fake.fetchResult = false;
    LoginUserInfo user;
    LoginServiceLinks links;
    QVERIFY(!LoginAttempt(fake.hooks(), m_config).run("demo", "pw", true, &user, &links));
    QSettings settings(m_config, QSettings::IniFormat);
    QCOMPARE(settings.value("connect/token").toString(), QString("tok-1"));
    QCOMPARE(settings.value("userinfo/flag").toInt(), 1);
}

void TestLoginAttempt::passwordBeyondGb2312SignsInOfflineLater()
{
    // Stored as typed, so the later offline sign-in with the same password
    // matches (and an automatic one sends the same digest).
    const QString password = QStringLiteral("Straße-1😀");
    Fake fake;
    fake.configPath = m_config;
    LoginUserInfo user;
    LoginServiceLinks links;
    QVERIFY(LoginAttempt(fake.hooks(), m_config).run("müller", password, true, &user, &links));
    // The next start reads the file afresh (a copy: this process's settings
    // layer would answer from its cache).
    const QString nextStart = m_dir->filePath("Config-next.ini");
    QVERIFY(QFile::copy(m_config, nextStart));
    Fake offline;
    QVERIFY(LoginAttempt(offline.hooks(), nextStart).run("müller", password, false, &user, &links));
    QCOMPARE(offline.events, QStringList{"file"});
}

void TestLoginAttempt::readOnlyConfigStillSignsIn()
{
    // An administrator locked the file: the sign-in succeeds for this run,
    // and the file keeps its mode and content.
    const QByteArray before = readAll(m_config);
    QVERIFY(QFile::setPermissions(m_config, QFileDevice::ReadOwner | QFileDevice::ReadGroup
                                                | QFileDevice::ReadOther));
    Fake fake;
    fake.configPath = m_config;
    LoginUserInfo user;
    LoginServiceLinks links;
    QVERIFY(LoginAttempt(fake.hooks(), m_config).run("demo", "pw", true, &user, &links));
    QCOMPARE(fake.events, (QStringList{"request:demo/pw", "fetch:tok-1/42"}));
    QCOMPARE(QFile::permissions(m_config)
                 & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
             QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    QCOMPARE(readAll(m_config), before);
}

void TestLoginAttempt::offline_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("fileOk");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QStringList>("events");
    const QString mismatch = QStringLiteral("message:\r\n用户名或者密码不正确，请输入最后一次成功登入账号！");
    QTest::newRow("same credentials") << QStringLiteral("小明") << "pw" << true << true
                                      << QStringList{"file"};
    QTest::newRow("same credentials, bad file") << QStringLiteral("小明") << "pw" << false << false
                                                << QStringList{"file"};
    QTest::newRow("other password") << QStringLiteral("小明") << "pw2" << true << false
                                    << QStringList{mismatch, "show"};
    QTest::newRow("account with a blank") << QStringLiteral("小明 ") << "pw" << true << false
                                          << QStringList{mismatch, "show"};
}

void TestLoginAttempt::offline()
{
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(bool, fileOk);
    QFETCH(bool, expected);
    QFETCH(QStringList, events);
    QTextCodec *gb = QTextCodec::codecForName("GB2312");
    writeConfig(m_config, "[userinfo]\nusername=" + gb->fromUnicode(QStringLiteral("小明"))
                              + "\nuserpwd=pw\nrember=1\nflag=1\n");
    Fake fake;
    fake.fileResult = fileOk;
    LoginUserInfo user;
    LoginServiceLinks links;
    QCOMPARE(LoginAttempt(fake.hooks(), m_config).run(account, password, false, &user, &links),
             expected);
    QCOMPARE(fake.events, events);
    QCOMPARE(fake.requests, 0);
    QVERIFY(user.username.isEmpty());
    QVERIFY(links.companyId.isEmpty());
}

QTEST_GUILESS_MAIN(TestLoginAttempt)
#include "tst_loginattempt.moc"
