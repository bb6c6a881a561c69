#include "catalogue/CatalogueFile.h"
#include "core/AppPaths.h"
#include "login/dialog/QLoginDialog.h"
#include "tests/login/BoxAnswerer.h"
#include "tests/support/RefServiceProcess.h"

#include <QCryptographicHash>
#include <QDesktopServices>
#include <QJsonObject>
#include <QFile>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

namespace {

const QString kPassword = QStringLiteral("demo1234");

class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QSettings *config(const QString &dir)
{
    auto *settings = new QSettings(dir + "/Config.ini", QSettings::IniFormat);
    settings->setIniCodec("GB2312");
    return settings;
}

} // namespace

class TestLoginDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void form();
    void keysAndCloseRequests();
    void prefill_data();
    void prefill();
    void registerLink();
    void emptyFieldsMessage();
    void probe_data();
    void probe();
    void offlineSignIn_data();
    void offlineSignIn();

    void onlineSignIn();
    void accountType_data();
    void accountType();
    void refusals_data();
    void refusals();
    void automaticAttempt();
    void automaticAttemptRefused();
    void automaticAttemptMessageWhileHidden();

    void oneSignInAtATime_data();
    void oneSignInAtATime();
    void closedWhileSigningIn();
    void destroyedWhileSigningIn_data();
    void destroyedWhileSigningIn();
    void destroyedWhileMessageShows();

private:
    int signInsReceived() const;
    QLoginDialog *make();
    void fill(QLoginDialog *dialog, const QString &account, const QString &password);
    bool startService();

    QScopedPointer<QTemporaryDir> m_dir;
    QScopedPointer<RefServiceProcess> m_service;
    // Before the dialog: it must outlive it.
    QScopedPointer<Session> m_session;
    QScopedPointer<QLoginDialog> m_dialog;
};

void TestLoginDialog::init()
{
    m_dir.reset(new QTemporaryDir);
    m_session.reset(new Session);
    AppPaths::setAppDirPathOverride(m_dir->path());
    AppPaths::setServerAddress(QStringLiteral("http://127.0.0.1:9/"));
}

void TestLoginDialog::cleanup()
{
    m_dialog.reset();
    m_session.reset();
    AppPaths::setAppDirPathOverride(QString());
    AppPaths::setServerAddress(QString());
}

QLoginDialog *TestLoginDialog::make()
{
    m_dialog.reset(new QLoginDialog(*m_session));
    return m_dialog.data();
}

void TestLoginDialog::fill(QLoginDialog *dialog, const QString &account, const QString &password)
{
    dialog->findChild<QLineEdit *>("accountLineEdit")->setText(account);
    dialog->findChild<QLineEdit *>("pwdLineEdit")->setText(password);
}

bool TestLoginDialog::startService()
{
    // One service for the whole run; each test starts from its defaults.
    if (!m_service)
        m_service.reset(new RefServiceProcess);
    if (!m_service->isRunning() || !m_service->reset()) {
        qWarning() << m_service->errorText();
        return false;
    }
    AppPaths::setServerAddress(m_service->baseUrl());
    return true;
}

int TestLoginDialog::signInsReceived() const
{
    int count = 0;
    for (const QJsonValue &entry : m_service->received())
        count += entry.toObject().value("path").toString() == QLatin1String("NSVUserService/login/json");
    return count;
}

void TestLoginDialog::form()
{
    QLoginDialog *dialog = make();
    QCOMPARE(dialog->objectName(), QString("QLoginDialog"));
    QCOMPARE(dialog->size(), QSize(360, 325));
    QVERIFY(dialog->windowFlags() & Qt::Tool);
    QVERIFY(dialog->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!dialog->testAttribute(Qt::WA_TranslucentBackground));

    struct Expected { const char *name; QRect geometry; };
    const Expected expected[] = {
        {"accountLineEdit", QRect(40, 120, 280, 40)}, {"pwdLineEdit", QRect(40, 170, 280, 40)},
        {"loginButton", QRect(40, 230, 280, 40)},     {"label", QRect(120, 280, 70, 20)},
        {"registerLabel", QRect(190, 280, 50, 20)},   {"closeButton", QRect(332, 3, 25, 25)},
    };
    for (const Expected &e : expected) {
        auto *widget = dialog->findChild<QWidget *>(e.name);
        QVERIFY2(widget, e.name);
        QCOMPARE(widget->geometry(), e.geometry);
    }
    auto *account = dialog->findChild<QLineEdit *>("accountLineEdit");
    auto *pwd = dialog->findChild<QLineEdit *>("pwdLineEdit");
    QCOMPARE(account->placeholderText(), QStringLiteral("请输入账号/手机号"));
    QCOMPARE(pwd->placeholderText(), QStringLiteral("请输入密码"));
    QCOMPARE(account->textMargins().left(), 30);
    QCOMPARE(pwd->echoMode(), QLineEdit::Password);
    QVERIFY(account->styleSheet().contains(":/QOrvaneDesk/image/Account_normal.png"));
    QCOMPARE(dialog->findChild<QLabel *>("label")->text(), QStringLiteral("还没有账号？"));
    QCOMPARE(dialog->findChild<QLabel *>("registerLabel")->text(), QStringLiteral("立即注册"));
    QVERIFY(dialog->findChild<QPushButton *>("loginButton")->isDefault());
    QVERIFY(dialog->findChild<QPushButton *>("loginButton")->text().isEmpty());
    QVERIFY(dialog->styleSheet().contains("outline: none"));

    // For reviewing the looks: ORVANE_SCREENSHOT_DIR=dir saves the dialog.
    const QString shots = qEnvironmentVariable("ORVANE_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        fill(dialog, QStringLiteral("demo"), QStringLiteral("demo1234"));
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QVERIFY(dialog->grab().save(QDir(shots).filePath("QLoginDialog.png")));
        fill(dialog, QString(), QString());
        QVERIFY(dialog->grab().save(QDir(shots).filePath("QLoginDialog-empty.png")));
    }
}

void TestLoginDialog::keysAndCloseRequests()
{
    QLoginDialog *dialog = make();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QTest::keyClick(dialog, Qt::Key_Escape);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->result(), 0);
    // The system's close command (Alt+F4 and the like) is ignored.
    QVERIFY(!dialog->close());
    QVERIFY(dialog->isVisible());

    // Enter in a field presses the default button: a login attempt.
    BoxAnswerer boxes(dialog);
    fill(dialog, "", "");
    QTest::keyClick(dialog->findChild<QLineEdit *>("pwdLineEdit"), Qt::Key_Return);
    QTRY_COMPARE(boxes.texts(), QStringList{QStringLiteral("\r\n用户名或者密码不能为空！")});

    // The close button rejects after the fade.
    QTest::mouseClick(dialog->findChild<QPushButton *>("closeButton"), Qt::LeftButton);
    QVERIFY(dialog->isVisible());
    QTRY_VERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
}

void TestLoginDialog::prefill_data()
{
    QTest::addColumn<QByteArray>("userinfo");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("flag");
    const QByteArray name = QTextCodec::codecForName("GB2312")->fromUnicode(QStringLiteral("小明"));
    QTest::newRow("remembered") << "rember=1\nflag=1\nusername=" + name + "\nuserpwd=pw\n"
                                << QStringLiteral("小明") << "pw" << 1;
    QTest::newRow("flag 0, still remembered") << QByteArray("rember=1\nflag=0\nusername=a\nuserpwd=b\n")
                                              << "a" << "b" << 0;
    QTest::newRow("not remembered") << QByteArray("rember=0\nusername=a\nuserpwd=b\n") << "" << "" << -1;
    QTest::newRow("server group only") << QByteArray() << "" << "" << -1;
}

void TestLoginDialog::prefill()
{
    QFETCH(QByteArray, userinfo);
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(int, flag);
    QByteArray content = "[server]\nflag=0\ntestserver=http://127.0.0.1:9/\n";
    if (!userinfo.isEmpty())
        content += "[userinfo]\n" + userinfo;
    writeFile(m_dir->filePath("Config.ini"), content);
    QLoginDialog *dialog = make();
    QCOMPARE(dialog->findChild<QLineEdit *>("accountLineEdit")->text(), account);
    QCOMPARE(dialog->findChild<QLineEdit *>("pwdLineEdit")->text(), password);
    QCOMPARE(dialog->autoLoginFlag(), flag);
}

void TestLoginDialog::registerLink()
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("https", &recorder, "open");
    QLoginDialog *dialog = make();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    const QPoint before = dialog->pos();
    auto *link = dialog->findChild<QLabel *>("registerLabel");

    // Pressing and moving on the link neither drags nor opens anything.
    QTest::mousePress(link, Qt::LeftButton, {}, QPoint(5, 5));
    QMouseEvent move(QEvent::MouseMove, QPointF(30, 15), link->mapToGlobal(QPoint(30, 15)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(link, &move);
    QCOMPARE(dialog->pos(), before);
    QVERIFY(recorder.opened.isEmpty());

    QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(30, 15));
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(recorder.opened.size(), 1);
    const QUrl url = recorder.opened.first();
    QCOMPARE(url.scheme(), QString("https"));
    QCOMPARE(url.path(), QString("/account/user/register"));
    QCOMPARE(QUrlQuery(url).queryItemValue("origin"), QString("7c2e9a4b0d5f1386e4a2c7b9d0f35e18"));
}

void TestLoginDialog::emptyFieldsMessage()
{
    QLoginDialog *dialog = make();
    dialog->show();
    BoxAnswerer boxes(dialog);
    fill(dialog, "demo", "");
    QVERIFY(!dialog->login());
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen[0].title, QStringLiteral("登录提示"));
    QCOMPARE(boxes.seen[0].text, QStringLiteral("\r\n用户名或者密码不能为空！"));
    // Back to idle, the typed text kept.
    QVERIFY(dialog->findChild<QPushButton *>("loginButton")->isEnabled());
    QVERIFY(dialog->findChild<QLineEdit *>("accountLineEdit")->isEnabled());
    QCOMPARE(dialog->findChild<QLineEdit *>("accountLineEdit")->text(), QString("demo"));
    QVERIFY(!dialog->findChild<QLabel *>("loadingLabel")->isVisible());
    QVERIFY(!QFile::exists(m_dir->filePath("Config.ini")));
}

void TestLoginDialog::probe_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("reachable");
    QTest::newRow("service on this machine") << "http://127.0.0.1:9/" << true;
    QTest::newRow("localhost") << "http://localhost:9/" << true;
    QTest::newRow("no host") << "" << false;
}

void TestLoginDialog::probe()
{
    QFETCH(QString, server);
    QFETCH(bool, reachable);
    AppPaths::setServerAddress(server);
    QLoginDialog *dialog = make();
    // Online until the lookup says otherwise.
    QVERIFY(dialog->networkAvailable());
    if (reachable) {
        // Give the lookup time to answer, then it must not have failed.
        QTest::qWait(300);
        QVERIFY(dialog->networkAvailable());
    } else {
        QTRY_VERIFY(!dialog->networkAvailable());
    }
}

void TestLoginDialog::offlineSignIn_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QStringList>("messages");
    const QByteArray good = "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<root>\n"
                            "    <class id=\"1\" name=\"Office\" icon=\"/c/o.png\">\n"
                            "        <app id=\"11\" name=\"Mail\" cateid=\"1\"/>\n"
                            "    </class>\n</root>\n";
    QTest::newRow("cached catalogue") << good << "pw" << true << QStringList();
    QTest::newRow("missing file") << QByteArray() << "pw" << false << QStringList();
    QTest::newRow("malformed file") << QByteArray("<root><class>") << "pw" << false << QStringList();
    QTest::newRow("other credentials")
        << good << "other" << false
        << QStringList{QStringLiteral("\r\n用户名或者密码不正确，请输入最后一次成功登入账号！")};
}

void TestLoginDialog::offlineSignIn()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, password);
    QFETCH(bool, expected);
    QFETCH(QStringList, messages);
    AppPaths::setServerAddress(QString()); // the probe fails
    writeFile(m_dir->filePath("Config.ini"),
              "[userinfo]\nrember=1\nflag=0\nusername=demo\nuserpwd=pw\n");
    if (!file.isEmpty())
        writeFile(m_dir->filePath("DesktopApp.xml"), file);
    QLoginDialog *dialog = make();
    QTRY_VERIFY(!dialog->networkAvailable());
    dialog->show();
    BoxAnswerer boxes(dialog);
    fill(dialog, "demo", password);
    QCOMPARE(dialog->login(), expected);
    QCOMPARE(boxes.texts(), messages);
    if (expected) {
        QCOMPARE(dialog->desktopAppCatalogue().size(), 1);
        QCOMPARE(dialog->desktopAppCatalogue()[0].second[0]->name, QString("Mail"));
        QVERIFY(dialog->loginUserInfo().username.isEmpty());
        QTRY_COMPARE(dialog->result(), int(QDialog::Accepted));
    } else {
        QVERIFY(dialog->desktopAppCatalogue().isEmpty());
    }
}

void TestLoginDialog::onlineSignIn()
{
    QVERIFY(startService());
    writeFile(m_dir->filePath("Config.ini"), "[server]\nflag=0\n");
    QVERIFY(m_service->setDelay(100));
    QLoginDialog *dialog = make();
    BoxAnswerer boxes(dialog);
    fill(dialog, "demo", kPassword);
    QTimer::singleShot(0, dialog->findChild<QPushButton *>("loginButton"), &QPushButton::click);
    // While the service thinks: controls locked, the spinner on the button.
    bool busy = false;
    QRect spinner;
    QTimer::singleShot(40, dialog, [&]() {
        auto *loading = dialog->findChild<QLabel *>("loadingLabel");
        busy = loading->isVisible() && !dialog->findChild<QPushButton *>("loginButton")->isEnabled()
            && !dialog->findChild<QLineEdit *>("pwdLineEdit")->isEnabled();
        spinner = loading->geometry();
    });
    QCOMPARE(dialog->exec(), int(QDialog::Accepted));
    QVERIFY(boxes.seen.isEmpty());
    QVERIFY(busy);
    QCOMPARE(spinner, QRect(180, 10, 20, 20));
    QCOMPARE(dialog->findChild<QLabel *>("loadingLabel")->parentWidget()->objectName(),
             QString("loginButton"));

    QCOMPARE(dialog->loginUserInfo().username, QString("demo"));
    QVERIFY(!dialog->loginUserInfo().company_name.isEmpty());
    QVERIFY(!dialog->loginServiceLinks().companyId.isEmpty());
    QVERIFY(!dialog->loginServiceLinks().appCategoryLinks.isEmpty());

    const DesktopAppCatalogue &catalogue = dialog->desktopAppCatalogue();
    QVERIFY(!catalogue.isEmpty());
    DesktopAppCatalogue fromFile;
    QVERIFY(CatalogueFile::read(m_dir->filePath("DesktopApp.xml"), &fromFile));
    QVERIFY(sameCatalogue(fromFile, catalogue));
    // Icons are in the cache beside the executable.
    const QString icon = catalogue[0].first->icon;
    QVERIFY2(icon.startsWith(m_dir->path() + "/CacheImage/"), qPrintable(icon));
    QVERIFY2(QFileInfo(icon).size() > 0, qPrintable(icon));
    for (const auto &entry : catalogue) {
        for (const auto &app : entry.second)
            QVERIFY2(QFileInfo(app->icon).size() > 0, qPrintable(app->icon));
    }

    QScopedPointer<QSettings> settings(config(m_dir->path()));
    QCOMPARE(settings->value("userinfo/username").toString(), QString("demo"));
    QCOMPARE(settings->value("userinfo/userpwd").toString(), kPassword);
    QCOMPARE(settings->value("userinfo/rember").toString(), QString("1"));
    QCOMPARE(settings->value("userinfo/flag").toInt(), 1);
    const auto credentials = m_service->demoCredentials();
    QCOMPARE(settings->value("connect/uid").toString(), credentials.first);
    QVERIFY(!settings->value("connect/token").toString().isEmpty());
}

void TestLoginDialog::accountType_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("key");
    QTest::newRow("eleven digits") << "13800138000" << "phone";
    QTest::newRow("with a letter") << "demo" << "username";
}

void TestLoginDialog::accountType()
{
    QFETCH(QString, account);
    QFETCH(QString, key);
    QVERIFY(startService());
    QLoginDialog *dialog = make();
    dialog->show();
    BoxAnswerer boxes(dialog);
    fill(dialog, account, kPassword);
    QVERIFY(dialog->login());
    QVERIFY(boxes.seen.isEmpty());
    const QJsonObject form = m_service->lastReceived("NSVUserService/login/json")["form"].toObject();
    QCOMPARE(form.value(key).toString(), account);
    QCOMPARE(form.value("pwd").toString(),
             QString(QCryptographicHash::hash(kPassword.toUtf8(), QCryptographicHash::Md5).toHex()));
    QScopedPointer<QSettings> settings(config(m_dir->path()));
    QCOMPARE(settings->value("userinfo/username").toString(), account);
}

void TestLoginDialog::refusals_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::newRow("901") << "disabled" << kPassword << QStringLiteral("\r\n此用户已被管理员禁用！");
    QTest::newRow("902") << "blocked" << kPassword << QStringLiteral("\r\n此用户已被Tessel禁用！");
    QTest::newRow("905") << "nocompany" << kPassword << QStringLiteral("\r\n未查询到用户所在公司的信息！");
    QTest::newRow("907") << "companyoff" << kPassword << QStringLiteral("\r\n此用户所在公司已被禁用！");
    QTest::newRow("wrong password") << "demo" << "nope" << QStringLiteral("\r\n用户名或者密码不正确！");
}

void TestLoginDialog::refusals()
{
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(QString, message);
    QVERIFY(startService());
    QLoginDialog *dialog = make();
    dialog->show();
    BoxAnswerer boxes(dialog);
    fill(dialog, account, password);
    QVERIFY(!dialog->login());
    QCOMPARE(boxes.texts(), QStringList{message});
    QCOMPARE(boxes.seen[0].title, QStringLiteral("登录提示"));
    QVERIFY(!QFile::exists(m_dir->filePath("Config.ini")));
    QVERIFY(!QFile::exists(m_dir->filePath("DesktopApp.xml")));
    QVERIFY(dialog->findChild<QPushButton *>("loginButton")->isEnabled());
}

void TestLoginDialog::automaticAttempt()
{
    QVERIFY(startService());
    writeFile(m_dir->filePath("Config.ini"),
              "[userinfo]\nrember=1\nflag=1\nusername=demo\nuserpwd=" + kPassword.toLatin1() + "\n");
    QLoginDialog *dialog = make();
    BoxAnswerer boxes(dialog);
    QVERIFY(dialog->login());
    QVERIFY(!dialog->isVisible());
    QVERIFY(boxes.seen.isEmpty());
    // Stays as it was left: nothing shows it again.
    QVERIFY(!dialog->findChild<QPushButton *>("loginButton")->isEnabled());
    QVERIFY(QFile::exists(m_dir->filePath("DesktopApp.xml")));
}

void TestLoginDialog::automaticAttemptRefused()
{
    QVERIFY(startService());
    writeFile(m_dir->filePath("Config.ini"),
              "[userinfo]\nrember=1\nflag=1\nusername=demo\nuserpwd=wrong\n");
    QLoginDialog *dialog = make();
    BoxAnswerer boxes(dialog);
    QVERIFY(!dialog->login());
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("\r\n用户名或者密码不正确！")});
    // The dialog came up before the message, over it.
    QVERIFY(boxes.seen[0].watchVisible);
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->findChild<QPushButton *>("loginButton")->isEnabled());
}

void TestLoginDialog::automaticAttemptMessageWhileHidden()
{
    writeFile(m_dir->filePath("Config.ini"), "[userinfo]\nrember=1\nflag=1\nusername=demo\n");
    QLoginDialog *dialog = make();
    BoxAnswerer boxes(dialog);
    QVERIFY(!dialog->login());
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("\r\n用户名或者密码不能为空！")});
    QVERIFY(!boxes.seen[0].watchVisible);
    // Start-up shows the dialog next.
    QVERIFY(!dialog->isVisible());
}

void TestLoginDialog::oneSignInAtATime_data()
{
    QTest::addColumn<bool>("whileWaiting");
    QTest::newRow("again while the service thinks") << true;
    QTest::newRow("again while the dialog fades out") << false;
}

void TestLoginDialog::oneSignInAtATime()
{
    QFETCH(bool, whileWaiting);
    QVERIFY(startService());
    QLoginDialog *dialog = make();
    BoxAnswerer boxes(dialog);
    fill(dialog, "demo", kPassword);
    auto *button = dialog->findChild<QPushButton *>("loginButton");
    bool second = true;
    if (whileWaiting) {
        // A timer (or anything else handled during the wait) asks again.
        QVERIFY(m_service->setDelay(200));
        QTimer::singleShot(50, dialog, [&]() { second = dialog->login(); });
        QTimer::singleShot(0, button, &QPushButton::click);
    } else {
        // The user presses again once the first sign-in is through.
        QTimer::singleShot(0, button, [&]() {
            button->click();
            second = dialog->login();
            button->click();
        });
    }
    QCOMPARE(dialog->exec(), int(QDialog::Accepted));
    QVERIFY(!second);
    QCOMPARE(signInsReceived(), 1);
    QVERIFY(boxes.seen.isEmpty());
}

void TestLoginDialog::closedWhileSigningIn()
{
    // The user gives up while the service thinks; its refusal comes after
    // the dialog has gone and must not bring it or a message back.
    QVERIFY(startService());
    QVERIFY(m_service->setDelay(350));
    QLoginDialog *dialog = make();
    BoxAnswerer boxes(dialog);
    fill(dialog, "disabled", kPassword);
    QTimer::singleShot(0, dialog->findChild<QPushButton *>("loginButton"), &QPushButton::click);
    QTimer::singleShot(30, dialog->findChild<QPushButton *>("closeButton"), &QPushButton::click);
    QCOMPARE(dialog->exec(), int(QDialog::Rejected));
    QCOMPARE(signInsReceived(), 1);
    QTest::qWait(100); // a message would be up by now
    QCOMPARE(boxes.texts(), QStringList());
    QVERIFY(!dialog->isVisible());
}

void TestLoginDialog::destroyedWhileSigningIn_data()
{
    QTest::addColumn<int>("serviceDelay");
    QTest::addColumn<int>("pictureDelay");
    QTest::newRow("during the sign-in") << 350 << 0;
    QTest::newRow("during the icon downloads") << 0 << 400;
}

void TestLoginDialog::destroyedWhileSigningIn()
{
    // A dialog that deletes itself on closing is gone before the attempt
    // that was waiting for the service returns.
    QFETCH(int, serviceDelay);
    QFETCH(int, pictureDelay);
    QVERIFY(startService());
    QVERIFY(m_service->setDelay(serviceDelay));
    QVERIFY(m_service->setImageDelay(pictureDelay));
    QPointer<QLoginDialog> dialog = new QLoginDialog(*m_session);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    BoxAnswerer boxes;
    fill(dialog, "demo", kPassword);
    dialog->show();
    QTimer::singleShot(0, dialog->findChild<QPushButton *>("closeButton"), &QPushButton::click);
    QVERIFY(!dialog->login());
    QVERIFY(dialog.isNull());
    QCOMPARE(signInsReceived(), 1);
    QCOMPARE(boxes.texts(), QStringList());
}

void TestLoginDialog::destroyedWhileMessageShows()
{
    // Something else ends the dialog while its message waits for the user.
    QPointer<QLoginDialog> dialog = new QLoginDialog(*m_session);
    dialog->show();
    fill(dialog, "demo", "");
    QTimer::singleShot(100, dialog, [&dialog]() { dialog->deleteLater(); });
    QVERIFY(!dialog->login());
    QVERIFY(dialog.isNull());
}

QTEST_MAIN(TestLoginDialog)
#include "tst_logindialog.moc"
