#include "core/AppPaths.h"
#include "platform/Platform.h"
#include "service/RequestText.h"
#include "service/ServiceEnvelope.h"
#include "service/SrvInterface.h"
#include "tests/support/RefServiceProcess.h"

#include <QBuffer>
#include <QImage>
#include <QtTest>

// SrvInterface against the real reference service over loopback.
class SrvInterfaceTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void operationsAsReceived_data();
    void operationsAsReceived();
    void loginAccountKey_data();
    void loginAccountKey();
    void valuesArriveWhole();
    void failedExchanges_data();
    void failedExchanges();
    void lateAnswerIsDropped();
    void slowAnswerAfterTimeout();
    void answerInTimeWhileAnotherCallWaits();
    void rawUtf8Answer_data();
    void rawUtf8Answer();

private:
    void checkCommon(const QJsonObject &entry, bool user);

    std::unique_ptr<RefServiceProcess> m_service;
    QTemporaryDir m_appDir;
    QString m_uid;
    QString m_token;
    QString m_avatar; // a small PNG as Base64
};

void SrvInterfaceTest::initTestCase()
{
    m_service = std::make_unique<RefServiceProcess>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    AppPaths::setAppDirPathOverride(m_appDir.path());
    AppPaths::setServerAddress(m_service->baseUrl());
    QSettings ini(AppPaths::appFilePath(QStringLiteral("UpdaterVer.ini")), QSettings::IniFormat);
    ini.setValue(QStringLiteral("MAINVER/curver"), QStringLiteral("1.2.3"));
    ini.sync();
    const auto creds = m_service->demoCredentials();
    m_uid = creds.first;
    m_token = creds.second;
    QVERIFY(!m_uid.isEmpty() && !m_token.isEmpty());
    QImage picture(3, 3, QImage::Format_ARGB32);
    picture.fill(QColor(250, 120, 10));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    m_avatar = QString::fromLatin1(buffer.data().toBase64());
}

void SrvInterfaceTest::init()
{
    QVERIFY(m_service->reset());
}

void SrvInterfaceTest::checkCommon(const QJsonObject &entry, bool user)
{
    const QJsonObject q = entry.value(QLatin1String("query")).toObject();
    const qint64 t = q.value(QLatin1String("t_")).toString().toLongLong();
    QVERIFY(qAbs(t - QDateTime::currentSecsSinceEpoch()) < 60);
    QCOMPARE(q.value(QLatin1String("p_")).toString(), QString::number(RequestText::timeCheckValue(t)));
    QCOMPARE(q.value(QLatin1String("i_")).toString(), SrvInterface::hardwareAddress());
    QCOMPARE(q.value(QLatin1String("d_")).toString(), Platform::osFamily());
    QCOMPARE(q.value(QLatin1String("dv_")).toString(), Platform::osPrettyName() + QLatin1Char(' '));
    QCOMPARE(q.value(QLatin1String("v_")).toString(), QStringLiteral("V1.2.3"));
    QCOMPARE(q.contains(QLatin1String("uid")), user);
    if (user) {
        QCOMPARE(q.value(QLatin1String("uid")).toString(), m_uid);
        QCOMPARE(q.value(QLatin1String("token")).toString(), m_token);
    }
    // The form header goes with GET requests too.
    QCOMPARE(entry.value(QLatin1String("contentType")).toString(), QStringLiteral("application/x-www-form-urlencoded"));
}

void SrvInterfaceTest::operationsAsReceived_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("user");
    QTest::addColumn<QVariantMap>("query"); // operation parameters beyond the common ones
    QTest::addColumn<QVariantMap>("form");  // the whole body
    const QString d = RequestText::md5Hex(QStringLiteral("demo1234"));
    const QString n = RequestText::md5Hex(QStringLiteral("neu"));
    auto row = [](const char *op, const char *method, const char *path, bool user, QVariantMap query, QVariantMap form) {
        QTest::newRow(op) << QString::fromLatin1(op) << QString::fromLatin1(method) << QString::fromLatin1(path)
                          << user << query << form;
    };
    row("login", "POST", "NSVUserService/login/json", false, {}, {{"username", "demo"}, {"pwd", d}});
    row("logout", "GET", "NSVUserService/logout/json", true, {}, {});
    row("forgottenPassword", "POST", "NSVUserService/forgottenPassword/json", false, {},
        {{"phone", "13800138000"}, {"auth_code", "000000"}, {"new_pwd", n}});
    row("resetPassword", "POST", "NSVUserService/resetPassword/json", true, {}, {{"new_pwd", n}, {"old_pwd", n}});
    row("sendAuthCodeToPhone", "POST", "NSVAuthService/sendAuthCodeToPhone/json", false, {}, {{"phone", "13800138000"}});
    row("changeTrueNameByUID", "POST", "NSVUserProfileService/changeTrueNameByUID/json", true, {},
        {{"new_name", "新名字"}, {"old_name", "不是旧名字"}});
    row("updateUserAvatarByUID", "POST", "NSVUserProfileService/updateUserAvatarByUID/json", true, {},
        {{"base64bin", m_avatar}});
    row("getNewNSVSoftwareToAll", "GET", "NSVVerUpdateService/getNewNSVSoftwareToAll/json", false,
        {{"region_id", "1000001"}}, {});
    row("getCloudDesktopAppFullInfo", "GET", "NSVCloudDesktopService/getCloudDesktopAppFullInfo/json", true, {}, {});
    row("IsInstallAppInCloudDesktop", "GET", "NSVCloudDesktopService/IsInstallAppInCloudDesktop/json", true,
        {{"app_id", "a303"}}, {});
    row("addNewAppToCloudDesktop", "POST", "NSVCloudDesktopService/addNewAppToCloudDesktop/json", true, {},
        {{"app_id", "a404"}, {"app_name", "报表中心"}, {"compan_id", "c100"}});
    row("deletelAppInCloudDesktop", "POST", "NSVCloudDesktopService/deletelAppInCloudDesktop/json", true, {},
        {{"app_id", "zz"}, {"app_name", "无此应用"}});
    row("IsRemoveAppInCloudDesktop", "GET", "NSVCloudDesktopService/IsRemoveAppInCloudDesktop/json", true,
        {{"app_id", "a101"}, {"is_remove", "1"}}, {});
    row("UpdateAppInstallSteInCloudDesktop", "GET", "NSVCloudDesktopService/UpdateAppInstallSteInCloudDesktop/json", true,
        {{"app_id", "a201"}, {"app_name", "速绘画板"}, {"mac", SrvInterface::hardwareAddress()},
         {"private_exec_path", "/opt/su hui/suhui"}, {"private_unload_path", "/opt/su hui/uninstall"}}, {});
    row("UpdateAppVerInCloudDesktop", "POST", "NSVCloudDesktopService/UpdateAppVerInCloudDesktop/json", true, {},
        {{"app_id", "a101"}, {"app_name", "Word"}, {"app_ver", "7.4"}});
    row("getSystemNoticeListByUID", "GET", "NSVNoticeService/getSystemNoticeListByUID/json", true, {{"page", "2"}}, {});
    row("getPushSvrIPAddressByTime33Hash", "GET", "NSVPushSvrService/getPushSvrIPAddressByTime33Hash/json", true, {}, {});
    row("userSystemCollectReported", "POST", "NSVUserSystemCollectService/reported/json", true, {},
        {{"mac", "00:11:22:33:44:55"}, {"ip", "10.0.0.2"}, {"os", "Debian 12"}, {"apps", "a;b"}});
    row("userPeripheralCollectReported", "POST", "NSVUserPeripheralCollectService/reported/json", true, {},
        {{"name", "打印机"}, {"model", "M1"}, {"producer", "P&Q"}, {"remarks", "1+1"}});
    row("userActionCollectReported", "GET", "NSVUserActionCollectService/reported/json", true,
        {{"mac", "00:11:22:33:44:55"}, {"app", "记账本"}}, {});
}

void SrvInterfaceTest::operationsAsReceived()
{
    QFETCH(QString, op);
    QFETCH(QString, method);
    QFETCH(QString, path);
    QFETCH(bool, user);
    QFETCH(QVariantMap, query);
    QFETCH(QVariantMap, form);

    SrvInterface srv;
    QString answer;
    const QString &u = m_uid;
    const QString &t = m_token;
    bool sent = false;
    if (op == "login") sent = srv.login(QStringLiteral("demo"), QStringLiteral("demo1234"), &answer);
    else if (op == "logout") sent = srv.logout(u, t, &answer);
    else if (op == "forgottenPassword") sent = srv.forgottenPassword(QStringLiteral("13800138000"), QStringLiteral("000000"), QStringLiteral("neu"), &answer);
    else if (op == "resetPassword") sent = srv.resetPassword(u, t, QStringLiteral("neu"), QStringLiteral("neu"), &answer);
    else if (op == "sendAuthCodeToPhone") sent = srv.sendAuthCodeToPhone(QStringLiteral("13800138000"), &answer);
    else if (op == "changeTrueNameByUID") sent = srv.changeTrueNameByUID(u, t, QStringLiteral("不是旧名字"), QStringLiteral("新名字"), &answer);
    else if (op == "updateUserAvatarByUID") sent = srv.updateUserAvatarByUID(u, t, m_avatar, &answer);
    else if (op == "getNewNSVSoftwareToAll") sent = srv.getNewNSVSoftwareToAll(SrvInterface::kUpdateRegionId, &answer);
    else if (op == "getCloudDesktopAppFullInfo") sent = srv.getCloudDesktopAppFullInfo(u, t, &answer);
    else if (op == "IsInstallAppInCloudDesktop") sent = srv.IsInstallAppInCloudDesktop(u, t, QStringLiteral("a303"), &answer);
    else if (op == "addNewAppToCloudDesktop") sent = srv.addNewAppToCloudDesktop(u, t, QStringLiteral("c100"), QStringLiteral("a404"), QStringLiteral("报表中心"), &answer);
    else if (op == "deletelAppInCloudDesktop") sent = srv.deletelAppInCloudDesktop(u, t, QStringLiteral("zz"), QStringLiteral("无此应用"), &answer);
    else if (op == "IsRemoveAppInCloudDesktop") sent = srv.IsRemoveAppInCloudDesktop(u, t, QStringLiteral("a101"), 1, &answer);
    else if (op == "UpdateAppInstallSteInCloudDesktop") sent = srv.UpdateAppInstallSteInCloudDesktop(u, t, QStringLiteral("a201"), QStringLiteral("速绘画板"), QStringLiteral("/opt/su hui/suhui"), QStringLiteral("/opt/su hui/uninstall"), &answer);
    else if (op == "UpdateAppVerInCloudDesktop") sent = srv.UpdateAppVerInCloudDesktop(u, t, QStringLiteral("a101"), QStringLiteral("Word"), QStringLiteral("7.4"), &answer);
    else if (op == "getSystemNoticeListByUID") sent = srv.getSystemNoticeListByUID(u, t, QStringLiteral("2"), &answer);
    else if (op == "getPushSvrIPAddressByTime33Hash") sent = srv.getPushSvrIPAddressByTime33Hash(u, t, &answer);
    else if (op == "userSystemCollectReported") sent = srv.userSystemCollectReported(u, t, QStringLiteral("00:11:22:33:44:55"), QStringLiteral("10.0.0.2"), QStringLiteral("Debian 12"), QStringLiteral("a;b"), &answer);
    else if (op == "userPeripheralCollectReported") sent = srv.userPeripheralCollectReported(u, t, QStringLiteral("打印机"), QStringLiteral("M1"), QStringLiteral("P&Q"), QStringLiteral("1+1"), &answer);
    else if (op == "userActionCollectReported") sent = srv.userActionCollectReported(u, t, QStringLiteral("00:11:22:33:44:55"), QStringLiteral("记账本"), &answer);
    else QFAIL("unknown operation");

    QVERIFY(sent);
    const ServiceEnvelope env = ServiceEnvelope::parse(answer);
    QVERIFY2(env.valid, qPrintable(answer));
    // Every call passed the service's time check and credential check.
    QVERIFY2(env.code != 403 && env.code != 401 && env.code != 405 && env.code != 400, qPrintable(answer));

    const QJsonObject entry = m_service->lastReceived(path);
    QVERIFY2(!entry.isEmpty(), "the service did not receive the operation");
    QCOMPARE(entry.value(QLatin1String("method")).toString(), method);
    checkCommon(entry, user);
    const QJsonObject q = entry.value(QLatin1String("query")).toObject();
    for (auto it = query.cbegin(); it != query.cend(); ++it)
        QCOMPARE(q.value(it.key()).toString(), it.value().toString());
    QStringList extra;
    for (const QString &key : q.keys()) {
        static const QStringList common{"t_", "p_", "i_", "d_", "dv_", "v_", "uid", "token"};
        if (!common.contains(key) && !query.contains(key))
            extra << key;
    }
    QVERIFY2(extra.isEmpty(), qPrintable(extra.join(',')));
    QCOMPARE(entry.value(QLatin1String("form")).toObject().toVariantMap(), form);
}

void SrvInterfaceTest::loginAccountKey_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("body");
    const QString d = RequestText::md5Hex(QStringLiteral("demo1234"));
    QTest::newRow("phone") << "13800138000" << "phone=13800138000&pwd=" + d;
    QTest::newRow("user name") << "demo" << "username=demo&pwd=" + d;
    QTest::newRow("empty") << "" << "phone=&pwd=" + d;
}

void SrvInterfaceTest::loginAccountKey()
{
    QFETCH(QString, account);
    QFETCH(QString, body);
    SrvInterface srv;
    QString answer;
    QVERIFY(srv.login(account, QStringLiteral("demo1234"), &answer));
    QCOMPARE(m_service->lastReceived(QStringLiteral("NSVUserService/login/json")).value(QLatin1String("body")).toString(), body);
    // Both accounts of the demo user sign in; the empty one is refused.
    QCOMPARE(ServiceEnvelope::parse(answer).code, account.isEmpty() ? 900 : 200);
}

void SrvInterfaceTest::valuesArriveWhole()
{
    // Names and paths with form delimiters, blanks, plus signs and Chinese
    // are stored by the service exactly as the caller gave them.
    const QString name = QStringLiteral("A&B=C 100%+记账");
    const QString exec = QStringLiteral("/opt/a&b/x=1 +y");
    SrvInterface srv;
    QString answer;
    QVERIFY(srv.deletelAppInCloudDesktop(m_uid, m_token, QStringLiteral("a404"), QString(), &answer));
    QVERIFY(srv.addNewAppToCloudDesktop(m_uid, m_token, QStringLiteral("c100"), QStringLiteral("a404"), name, &answer));
    QCOMPARE(ServiceEnvelope::parse(answer).code, 200);
    QVERIFY(srv.addNewAppToCloudDesktop(m_uid, m_token, QStringLiteral("c100"), QStringLiteral("a404"), name, &answer));
    QCOMPARE(ServiceEnvelope::parse(answer).code, 735);
    QVERIFY(srv.UpdateAppInstallSteInCloudDesktop(m_uid, m_token, QStringLiteral("a404"), name, exec, exec + "u", &answer));
    QCOMPARE(ServiceEnvelope::parse(answer).code, 200);

    const QJsonObject row = m_service->userApp(m_uid, QStringLiteral("a404"));
    QCOMPARE(row.value("app_name").toString(), name);
    QCOMPARE(row.value("private_exec_path").toString(), exec);
    QCOMPARE(row.value("private_unload_path").toString(), exec + "u");
    QCOMPARE(row.value("mac").toString(), SrvInterface::hardwareAddress());
}

void SrvInterfaceTest::failedExchanges_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("drop");
    QTest::newRow("500 with a JSON body") << 500 << false;
    QTest::newRow("404") << 404 << false;
    QTest::newRow("201 is not 200") << 201 << false;
    QTest::newRow("redirect") << 302 << false;
    QTest::newRow("connection dropped") << 0 << true;
}

void SrvInterfaceTest::failedExchanges()
{
    QFETCH(int, status);
    QFETCH(bool, drop);
    QVERIFY(m_service->setHttpStatus(status));
    QVERIFY(m_service->setDropConnection(drop));
    SrvInterface srv;
    QString answer = QStringLiteral("stale");
    QVERIFY(!srv.getCloudDesktopAppFullInfo(m_uid, m_token, &answer));
    QVERIFY(answer.isEmpty());
    QVERIFY(!srv.login(QStringLiteral("demo"), QStringLiteral("demo1234"), &answer));
    QVERIFY(answer.isEmpty());
}

void SrvInterfaceTest::lateAnswerIsDropped()
{
    // The sign-in waits 500 ms; an answer after 800 ms is too late.
    QVERIFY(m_service->setDelay(800));
    SrvInterface srv;
    QString answer = QStringLiteral("stale");
    QVERIFY(!srv.login(QStringLiteral("demo"), QStringLiteral("demo1234"), &answer));
    QVERIFY(answer.isEmpty());

    // The next caller gets its own answer, never the late one.
    QVERIFY(m_service->setDelay(0));
    QVERIFY(srv.getNewNSVSoftwareToAll(SrvInterface::kUpdateRegionId, &answer));
    const ServiceEnvelope env = ServiceEnvelope::parse(answer);
    QVERIFY(env.isOk());
    QVERIFY(env.dataObject().contains(QLatin1String("versionNumber")));
    QTest::qWait(600); // the late answer would have arrived by now
    QVERIFY(srv.getNewNSVSoftwareToAll(SrvInterface::kUpdateRegionId, &answer));
    QVERIFY(ServiceEnvelope::parse(answer).dataObject().contains(QLatin1String("versionNumber")));
}

void SrvInterfaceTest::slowAnswerAfterTimeout()
{
    QVERIFY(m_service->setDelay(6000));
    SrvInterface srv;
    QString answer = QStringLiteral("stale");
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!srv.getCloudDesktopAppFullInfo(m_uid, m_token, &answer));
    QVERIFY(answer.isEmpty());
    // It gave up at its own time-out, not when the body finally came.
    QVERIFY(clock.elapsed() >= SrvInterface::kTimeoutMs - 50);
}

void SrvInterfaceTest::answerInTimeWhileAnotherCallWaits()
{
    // A call made while this one waits (from a timer, say) holds the thread
    // past this call's time-out; an answer that came in time still counts.
    // The margins leave room for a machine loaded by a sanitizer build.
    QVERIFY(m_service->setImageHang(true));
    SrvInterface srv;
    bool innerAnswered = true;
    QTimer::singleShot(0, &srv, [&]() {
        QString inner;
        innerAnswered = srv.sendRequest(m_service->baseUrl() + "images/bulk/1/icon.png", QString(),
                                        4000, &inner);
    });
    const QString url = RequestText::updateUrl(
        m_service->baseUrl(), QStringLiteral("NSVVerUpdateService/getNewNSVSoftwareToAll/json?"),
        RequestText::timeCheckParamsNow(), srv.clientParams(), SrvInterface::kUpdateRegionId);
    QString answer;
    QVERIFY(srv.sendRequest(url, QString(), 2000, &answer));
    QVERIFY(!innerAnswered);
    QVERIFY2(ServiceEnvelope::parse(answer).isOk(), qPrintable(answer));
    QVERIFY(m_service->setImageHang(false));
}

void SrvInterfaceTest::rawUtf8Answer_data()
{
    QTest::addColumn<bool>("raw");
    QTest::newRow("escaped") << false;
    QTest::newRow("raw utf-8") << true;
}

void SrvInterfaceTest::rawUtf8Answer()
{
    QFETCH(bool, raw);
    QVERIFY(m_service->setRawUtf8(raw));
    SrvInterface srv;
    QString answer;
    QVERIFY(srv.login(QStringLiteral("demo"), QStringLiteral("demo1234"), &answer));
    QCOMPARE(answer.contains(QStringLiteral("\\u")), !raw);
    const ServiceEnvelope env = ServiceEnvelope::parse(answer);
    QCOMPARE(env.code, 200);
    QCOMPARE(jsonText(env.dataObject(), QStringLiteral("company_name")), QStringLiteral("星河数码科技有限公司"));
    QCOMPARE(jsonText(env.dataObject(), QStringLiteral("truename")), QStringLiteral("林一舟"));
}

QTEST_GUILESS_MAIN(SrvInterfaceTest)
#include "tst_srvinterface.moc"
