// The user centre against the reference service's user page in a real web
// engine: the page's links reach the user's browser (a stand-in xdg-open
// first on PATH records what it was asked to open), other addresses do
// not, the avatar button reaches the desktop, and only the close button
// closes the dialog.

#include "desktop/usercenter/QUserInfoDlg.h"
#include "tests/support/LoopbackSite.h"
#include "tests/support/RefServiceProcess.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

// The page bridge as pages see it: every slot re-emits its signal.
class Bridge : public QObject
{
    Q_OBJECT

signals:
    void sigUpImage(const QString &strJson);
    void sigOpenHtml(const QString &strJson);

public slots:
    void upImage(const QString &strJson) { emit sigUpImage(strJson); }
    void openHtml(const QString &strJson) { emit sigOpenHtml(strJson); }
};

class tst_UserInfoDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void form();
    void linksOpenInBrowser();
    void onlyWebAddressesLeave();
    void avatarButtonReachesDesktop();
    void escapeDoesNotClose();
    void bridgeOutlivesDialog();
    void strangerReachedFromThePageGetsNoBridge();

private:
    // The user centre of user, whose bridge reaches the pages of the
    // reference service only.
    QUserInfoDlg *makeDialog(const LoginUserInfo &user);
    // A dialog showing the demo user's page, with the bridge up in it.
    QUserInfoDlg *openDialog();
    QVariant runScript(QUserInfoDlg *dialog, const QString &script);
    QStringList opened() const;

    std::unique_ptr<RefServiceProcess> m_service;
    QTemporaryDir m_dir;
    LoginUserInfo m_user;
    Bridge m_bridge;
    QScopedPointer<QUserInfoDlg> m_dialog;
};

void tst_UserInfoDlg::initTestCase()
{
    m_service = std::make_unique<RefServiceProcess>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    const QString uid = m_service->demoCredentials().first;
    QVERIFY(!uid.isEmpty());
    m_user.user_center = m_service->baseUrl() + QStringLiteral("pages/user_center.html?uid=") + uid;

    // Stands in for the user's browser opener, first on PATH.
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("bin")));
    QFile opener(m_dir.filePath(QStringLiteral("bin/xdg-open")));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >>'%1'\n")
                     .arg(m_dir.filePath(QStringLiteral("opened")))
                     .toUtf8());
    opener.close();
    QVERIFY(opener.setPermissions(opener.permissions() | QFileDevice::ExeOwner));
    qputenv("PATH", m_dir.filePath(QStringLiteral("bin")).toLocal8Bit() + ':' + qgetenv("PATH"));
}

void tst_UserInfoDlg::init()
{
    QFile::remove(m_dir.filePath(QStringLiteral("opened")));
}

void tst_UserInfoDlg::cleanupTestCase()
{
    m_dialog.reset();
    m_service.reset();
}

QUserInfoDlg *tst_UserInfoDlg::makeDialog(const LoginUserInfo &user)
{
    BridgeOrigins origins;
    origins.allowAddress(m_service->baseUrl());
    return new QUserInfoDlg(user, origins, &m_bridge);
}

QUserInfoDlg *tst_UserInfoDlg::openDialog()
{
    m_dialog.reset(makeDialog(m_user));
    QSignalSpy loaded(m_dialog->view(), &QWebEngineView::loadFinished);
    m_dialog->show();
    if (!QTest::qWaitForWindowExposed(m_dialog.data()))
        return nullptr;
    if (loaded.isEmpty() && !loaded.wait(30000))
        return nullptr;
    if (!loaded.at(0).at(0).toBool())
        return nullptr;
    // The page sets this once the web channel has handed it the bridge.
    const QString ready = QStringLiteral("document.body.dataset.bridge || ''");
    for (int i = 0; i < 300 && runScript(m_dialog.data(), ready).toString() != QLatin1String("ready"); ++i)
        QTest::qWait(50);
    if (runScript(m_dialog.data(), ready).toString() != QLatin1String("ready"))
        return nullptr;
    return m_dialog.data();
}

QVariant tst_UserInfoDlg::runScript(QUserInfoDlg *dialog, const QString &script)
{
    QVariant result;
    bool done = false;
    dialog->view()->page()->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&]() { return done; }, 10000))
        qWarning("script gave no answer: %s", qPrintable(script));
    return result;
}

QStringList tst_UserInfoDlg::opened() const
{
    QFile file(m_dir.filePath(QStringLiteral("opened")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void tst_UserInfoDlg::form()
{
    QScopedPointer<QUserInfoDlg> made(makeDialog(m_user));
    QUserInfoDlg &dialog = *made;
    QCOMPARE(dialog.objectName(), QStringLiteral("QUserInfoDlg"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("用户中心"));
    QCOMPARE(dialog.minimumSize(), QSize(700, 450));
    QCOMPARE(dialog.maximumSize(), QSize(700, 450));
    QVERIFY(!dialog.testAttribute(Qt::WA_TranslucentBackground));
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("pushButton_3"))->geometry(), QRect(675, 5, 20, 20));
    auto *holder = dialog.findChild<QWidget *>(QStringLiteral("widget"));
    QVERIFY(holder);
    QCOMPARE(holder->geometry(), QRect(5, 35, 690, 410));
    QCOMPARE(dialog.view()->parentWidget(), holder);
    QCOMPARE(dialog.view()->geometry(), QRect(0, 0, 690, 410));
    QTRY_COMPARE_WITH_TIMEOUT(dialog.view()->url(), QUrl(m_user.user_center), 10000);
}

void tst_UserInfoDlg::linksOpenInBrowser()
{
    QUserInfoDlg *dialog = openDialog();
    QVERIFY(dialog);
    const QString uid = m_service->demoCredentials().first;
    QVERIFY(runScript(dialog, QStringLiteral("document.getElementById('myWallet').click(); true")).toBool());
    QTRY_COMPARE_WITH_TIMEOUT(opened(), QStringList{m_service->baseUrl() + QStringLiteral("pages/my_wallet.html?uid=") + uid},
                              10000);
    runScript(dialog, QStringLiteral("document.getElementById('modifyPhone').click()"));
    QTRY_COMPARE_WITH_TIMEOUT(opened().size(), 2, 10000);
    QCOMPARE(opened().at(1), m_service->baseUrl() + QStringLiteral("pages/modify_phone.html?uid=") + uid);
    // The dialog stays, on its own page.
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->view()->url(), QUrl(m_user.user_center));
}

void tst_UserInfoDlg::onlyWebAddressesLeave()
{
    QUserInfoDlg *dialog = openDialog();
    QVERIFY(dialog);
    const QStringList refused{QStringLiteral("file:///etc/passwd"), QStringLiteral("javascript:alert(1)"),
                              QStringLiteral("smb://server/share"), QStringLiteral("/usr/bin/xterm")};
    for (const QString &address : refused) {
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^not opened in the browser: .*") + QRegularExpression::escape(address)));
        runScript(dialog, QStringLiteral("bridge.openHtml(%1)").arg(QLatin1Char('"') + address + QLatin1Char('"')));
    }
    // Calls arrive in order: once this one is through, the others were
    // handled before it.
    runScript(dialog, QStringLiteral("bridge.openHtml('https://example.com/help')"));
    QTRY_COMPARE_WITH_TIMEOUT(opened(), QStringList{QStringLiteral("https://example.com/help")}, 10000);
}

void tst_UserInfoDlg::avatarButtonReachesDesktop()
{
    QUserInfoDlg *dialog = openDialog();
    QVERIFY(dialog);
    QSignalSpy changed(dialog, &QUserInfoDlg::avatarChanged);
    QVERIFY(runScript(dialog, QStringLiteral("!document.getElementById('refreshAvatar').hidden")).toBool());
    runScript(dialog, QStringLiteral("document.getElementById('refreshAvatar').click()"));
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, 10000);
    QVERIFY(opened().isEmpty());
}

void tst_UserInfoDlg::escapeDoesNotClose()
{
    QUserInfoDlg *dialog = openDialog();
    QVERIFY(dialog);
    QSignalSpy finished(dialog, &QDialog::finished);
    QTest::keyClick(dialog, Qt::Key_Escape);
    QTest::qWait(300);
    QVERIFY(dialog->isVisible());
    QVERIFY(finished.isEmpty());

    dialog->findChild<QPushButton *>(QStringLiteral("pushButton_3"))->click();
    // It fades out before it closes.
    QVERIFY(dialog->isVisible());
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), 0);
    QVERIFY(!dialog->isVisible());
}

void tst_UserInfoDlg::bridgeOutlivesDialog()
{
    QVERIFY(openDialog());
    m_dialog.reset();
    // The shared bridge goes on serving other pages; the closed user
    // centre no longer answers it.
    emit m_bridge.sigOpenHtml(QStringLiteral("https://example.com/late"));
    QVERIFY(opened().isEmpty());
    // A second opening is a new dialog that works again.
    QUserInfoDlg *dialog = openDialog();
    QVERIFY(dialog);
    runScript(dialog, QStringLiteral("document.getElementById('myPwd').click()"));
    QTRY_COMPARE_WITH_TIMEOUT(opened().size(), 1, 10000);
    QVERIFY(opened().at(0).contains(QLatin1String("pages/my_pwd.html")));
}

void tst_UserInfoDlg::strangerReachedFromThePageGetsNoBridge()
{
    // The service's user page sends the view elsewhere (a script here; a
    // link or a redirect would do the same), and the stranger's page tries
    // the bridge: a notice of its own, an address of its choosing.
    LoopbackSite stranger;
    QVERIFY(stranger.isListening());
    QVERIFY(stranger.putClientFile("/qwebchannel.js", "qwebchannel.js", "application/javascript"));
    stranger.putPage("/evil.html", LoopbackSite::strangerPage("b.openHtml('https://stranger.example/run');"
                                                              " b.upImage('{}');"));
    QSignalSpy openHtml(&m_bridge, &Bridge::sigOpenHtml);
    QSignalSpy upImage(&m_bridge, &Bridge::sigUpImage);
    m_dialog.reset(makeDialog(m_user));
    m_dialog->show();
    QTRY_COMPARE_WITH_TIMEOUT(runScript(m_dialog.data(), "document.body ? document.body.dataset.bridge || '' : ''").toString(),
                              QString("ready"), 20000);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no bridge for .*evil.html"));
    runScript(m_dialog.data(), QStringLiteral("location.href = '%1'; true").arg(stranger.url("/evil.html")));
    QTRY_COMPARE_WITH_TIMEOUT(m_dialog->view()->title(), QString("stranger"), 20000);
    QTest::qWait(1500);
    QCOMPARE(runScript(m_dialog.data(), "window.sawTransport ? 'seen' : 'none'").toString(), QString("none"));
    QVERIFY(openHtml.isEmpty());
    QVERIFY(upImage.isEmpty());
    QVERIFY(opened().isEmpty());
}

QTEST_MAIN(tst_UserInfoDlg)
#include "tst_userinfodlg.moc"
