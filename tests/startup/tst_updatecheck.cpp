#include "app/update/UpdateCheck.h"
#include "core/AppPaths.h"
#include "core/VersionCheck.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString versionAnswer(const QString &version, int code = 200, const QString &message = "ok")
{
    return QString::fromUtf8(QJsonDocument(QJsonObject{
        {"code", code}, {"message", message},
        {"data", QJsonObject{{"versionNumber", version},
                             {"downloadUrl", "http://dl.test/OrvaneDesk-" + version + ".tar"}}}})
                                 .toJson());
}

} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT

private slots:
    void cToInt_data();
    void cToInt();
    void isNewer_data();
    void isNewer();
    void answers_data();
    void answers();
    void recordsOfferBeforeAsking_data();
    void recordsOfferBeforeAsking();
    void nothingWrittenWithoutOffer();
    void updaterBesideExecutable();
    void updaterThatDoesNotStartIsTold();
};

void TestUpdateCheck::cToInt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "12" << 12;
    QTest::newRow("leading blanks") << " \t7" << 7;
    QTest::newRow("sign") << "+3" << 3;
    QTest::newRow("negative") << "-4" << -4;
    QTest::newRow("trailing text") << "9beta" << 9;
    QTest::newRow("no digits") << "rc1" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("inner blank") << "1 2" << 1;
    QTest::newRow("huge saturates") << "99999999999" << INT_MAX;
    QTest::newRow("huge negative") << "-99999999999" << INT_MIN;
}

void TestUpdateCheck::cToInt()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(VersionCheck::cToInt(text), value);
}

void TestUpdateCheck::isNewer_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("offered");
    QTest::addColumn<bool>("newer");
    QTest::newRow("patch up") << "1.2.3" << "1.2.4" << true;
    QTest::newRow("same") << "1.2.3" << "1.2.3" << false;
    QTest::newRow("older offer, bigger middle") << "2.0.5" << "1.9.0" << false;
    QTest::newRow("older offer, bigger last") << "1.2.3" << "1.1.9" << false;
    QTest::newRow("major up, smaller rest") << "1.9.9" << "2.0.0" << true;
    QTest::newRow("numeric, not text") << "1.0.9" << "1.0.12" << true;
    QTest::newRow("installed two parts") << "1.2" << "1.3.0" << false;
    QTest::newRow("offered four parts") << "1.2.3" << "1.2.3.4" << false;
    QTest::newRow("offered two parts") << "1.2.3" << "2.0" << false;
    QTest::newRow("installed missing") << "" << "1.0.0" << false;
    QTest::newRow("empty part is 0") << "1..3" << "1.1.0" << true;
    QTest::newRow("text parts") << "1.2.3" << "1.2.x" << false;
}

void TestUpdateCheck::isNewer()
{
    QFETCH(QString, installed);
    QFETCH(QString, offered);
    QFETCH(bool, newer);
    QCOMPARE(VersionCheck::isNewer(installed, offered), newer);
}

void TestUpdateCheck::answers_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("offered");
    QTest::newRow("ok") << versionAnswer("1.2.4") << true;
    QTest::newRow("code 500") << versionAnswer("1.2.4", 500) << false;
    QTest::newRow("message OK") << versionAnswer("1.2.4", 200, "OK") << false;
    QTest::newRow("not JSON") << QString("<html>") << false;
    QTest::newRow("array") << QString("[]") << false;
    QTest::newRow("version as number")
        << QString("{\"code\":200,\"message\":\"ok\",\"data\":{\"versionNumber\":1.3}}") << false;
}

void TestUpdateCheck::answers()
{
    QFETCH(QString, answer);
    QFETCH(bool, offered);
    UpdateCheck::Offer offer;
    QCOMPARE(UpdateCheck::offerFrom(answer, "1.2.3", &offer), offered);
    if (offered) {
        QCOMPARE(offer.version, QString("1.2.4"));
        QCOMPARE(offer.url, QString("http://dl.test/OrvaneDesk-1.2.4.tar"));
    }
}

void TestUpdateCheck::recordsOfferBeforeAsking_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("accepted") << true;
    QTest::newRow("declined") << false;
}

void TestUpdateCheck::recordsOfferBeforeAsking()
{
    QFETCH(bool, accept);
    QTemporaryDir dir;
    const QString ini = dir.filePath("UpdaterVer.ini");
    QSettings(ini, QSettings::IniFormat).setValue("MAINVER/curver", "1.2.3");

    QString seenVersion, seenUrl, started;
    UpdateCheck::Hooks hooks;
    hooks.query = [](QString *answer) {
        *answer = versionAnswer("1.2.4");
        return true;
    };
    hooks.ask = [&]() {
        QSettings settings(ini, QSettings::IniFormat);
        seenVersion = settings.value("MAINVER/mainver").toString();
        seenUrl = settings.value("MAINVER/fileurl").toString();
        return accept;
    };
    hooks.startUpdater = [&](const QString &program) {
        started = program;
        return true;
    };
    hooks.updaterFailed = []() { QFAIL("failure reported"); };

    QCOMPARE(UpdateCheck::run(hooks, ini),
             accept ? UpdateCheck::Outcome::Accepted : UpdateCheck::Outcome::Declined);
    QCOMPARE(seenVersion, QString("1.2.4"));
    QCOMPARE(seenUrl, QString("http://dl.test/OrvaneDesk-1.2.4.tar"));
    QCOMPARE(started.isEmpty(), !accept);
    // Declining keeps the record; the installed version is never touched.
    QSettings settings(ini, QSettings::IniFormat);
    QCOMPARE(settings.value("MAINVER/mainver").toString(), QString("1.2.4"));
    QCOMPARE(settings.value("MAINVER/curver").toString(), QString("1.2.3"));
}

void TestUpdateCheck::nothingWrittenWithoutOffer()
{
    struct Case { QString installed; QString answer; bool answered; };
    const QList<Case> cases = {
        {"1.2.3", versionAnswer("1.2.3"), true},
        {"2.0.5", versionAnswer("1.9.0"), true},
        {"1.2.3", QString(), false},
        {QString(), versionAnswer("9.9.9"), true}, // no UpdaterVer.ini
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        const QString ini = dir.filePath("UpdaterVer.ini");
        if (!c.installed.isEmpty())
            QSettings(ini, QSettings::IniFormat).setValue("MAINVER/curver", c.installed);
        QByteArray before;
        if (QFile f(ini); f.open(QIODevice::ReadOnly))
            before = f.readAll();
        bool asked = false;
        bool started = false;
        UpdateCheck::Hooks hooks;
        hooks.query = [&](QString *answer) {
            *answer = c.answer;
            return c.answered;
        };
        hooks.ask = [&]() { return asked = true; };
        hooks.startUpdater = [&](const QString &) { return started = true; };
        hooks.updaterFailed = []() {};
        QCOMPARE(UpdateCheck::run(hooks, ini), UpdateCheck::Outcome::NoUpdate);
        QVERIFY(!asked);
        QVERIFY(!started);
        QByteArray after;
        if (QFile f(ini); f.open(QIODevice::ReadOnly))
            after = f.readAll();
        QCOMPARE(after, before);
    }
}

void TestUpdateCheck::updaterBesideExecutable()
{
    QTemporaryDir dir;
    AppPaths::setAppDirPathOverride(dir.path());
    QCOMPARE(UpdateCheck::updaterPath(), dir.path() + "/UpdaterNew");
    QCOMPARE(UpdateCheck::iniPath(), dir.path() + "/UpdaterVer.ini");
    AppPaths::setAppDirPathOverride(QString());
}

void TestUpdateCheck::updaterThatDoesNotStartIsTold()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("UpdaterVer.ini");
    QSettings(ini, QSettings::IniFormat).setValue("MAINVER/curver", "1.2.3");
    int told = 0;
    UpdateCheck::Hooks hooks;
    hooks.query = [](QString *answer) {
        *answer = versionAnswer("1.2.4");
        return true;
    };
    hooks.ask = []() { return true; };
    hooks.startUpdater = [](const QString &) { return false; };
    hooks.updaterFailed = [&]() { ++told; };
    QCOMPARE(UpdateCheck::run(hooks, ini), UpdateCheck::Outcome::UpdaterFailed);
    QCOMPARE(told, 1);
    // The offer stays recorded for a later start.
    QCOMPARE(QSettings(ini, QSettings::IniFormat).value("MAINVER/mainver").toString(), QString("1.2.4"));
}

QTEST_GUILESS_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
