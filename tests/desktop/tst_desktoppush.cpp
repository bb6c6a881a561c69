#include "core/Settings.h"
#include "desktop/usercenter/QUserInfoDlg.h"
#include "desktop/window/QLumiqDesk.h"
#include "push/PushPopups.h"
#include "push/QAcceptMsgWidget.h"
#include "push/QMsgListDialog.h"
#include "push/core/PushConnection.h"
#include "push/desk/DeskPush.h"
#include "tests/desktop/DeskFixture.h"

#include <QApplication>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

#include <functional>

// The desktop window's push connection, end to end: the real window loads
// the real cil.html from its client folder, the reference service's push
// server delivers what the admin path sends, and the window shows it, logs
// it and opens the message centre and the user centre.
class TestDesktopPush : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void noticeShowsPopupAtCornerAndIsLogged();
    void offerInstallReachesWindow();
    void reloadLooksUpAgain();
    void failedLookupIsLoggedAsFailure();
    void msgCenterButtonOpensMessageCentre();
    void avatarOpensUserCentre();
    void floodShowsAFewPopupsAndLogsEveryMessage();

private:
    int lookups() const;
    QList<QAcceptMsgWidget *> popups() const;
    QString log() const;
    void waitIdentified();
    // Runs open(), which is expected to run a modal T; when it shows, check
    // runs on it and it is closed. Returns whether a T was seen.
    template<class T>
    bool runModal(const std::function<void()> &open, const std::function<void(T *)> &check = {});
    static QString pageText(QWebEnginePage *page);

    QScopedPointer<RefServiceProcess> m_service;
    QScopedPointer<DeskFixture> m_fixture;
    QScopedPointer<QLumiqDesk> m_desk;
    QString m_uid;
};

void TestDesktopPush::initTestCase()
{
    const QDir bin(qEnvironmentVariable("ORVANE_BIN_DIR"));
    QVERIFY2(bin.exists(QStringLiteral("cil.html")), "cil.html is not in the client folder");
    QVERIFY2(bin.exists(QStringLiteral("cloudNew/index.html")), "the message centre page is not in the client folder");
    QLumiqDesk::setScreenAreaOverride(QSize(1920, 1040));
}

void TestDesktopPush::init()
{
    m_service.reset(new RefServiceProcess);
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    m_fixture.reset(new DeskFixture(*m_service));
    QVERIFY(m_fixture->signedIn());
    m_uid = Settings::uid();
    QVERIFY(!m_uid.isEmpty());

    // The client folder holds our own pages, as the installed client does.
    const QDir bin(qEnvironmentVariable("ORVANE_BIN_DIR"));
    const QDir folder(m_fixture->appDir());
    QVERIFY(folder.mkpath(QStringLiteral("cloudNew")));
    for (const QString &page : {QStringLiteral("cil.html"), QStringLiteral("cloudNew/index.html")})
        QVERIFY(QFile::copy(bin.filePath(page), folder.filePath(page)));

    m_desk.reset(new QLumiqDesk(m_fixture->session.userInfo, m_fixture->session.serviceLinks,
                                m_fixture->session.catalogue));
    m_desk->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_desk.data()));
}

void TestDesktopPush::cleanup()
{
    for (QAcceptMsgWidget *popup : popups())
        delete popup;
    m_desk.reset();
    // The page's connection goes with the window.
    if (m_service)
        QTRY_VERIFY_WITH_TIMEOUT(m_service->pushIdentifiedUsers().isEmpty(), 30000);
    m_fixture.reset();
    m_service.reset();
}

int TestDesktopPush::lookups() const
{
    int n = 0;
    for (const QJsonValue &request : m_service->received()) {
        if (request.toObject().value(QLatin1String("path")).toString().contains(
                QLatin1String("getPushSvrIPAddressByTime33Hash")))
            ++n;
    }
    return n;
}

QList<QAcceptMsgWidget *> TestDesktopPush::popups() const
{
    QList<QAcceptMsgWidget *> found;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *popup = qobject_cast<QAcceptMsgWidget *>(w))
            found.append(popup);
    }
    return found;
}

QString TestDesktopPush::log() const
{
    QFile file(PushConnection::logFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void TestDesktopPush::waitIdentified()
{
    // The page loads, the window looks the server up, the page connects and
    // the window tells it who the user is.
    QTRY_COMPARE_WITH_TIMEOUT(m_service->pushIdentifiedUsers(), QStringList{m_uid}, 60000);
}

template<class T>
bool TestDesktopPush::runModal(const std::function<void()> &open, const std::function<void(T *)> &check)
{
    bool seen = false;
    QTimer poll;
    poll.setInterval(100);
    connect(&poll, &QTimer::timeout, [&]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal) {
            // Not open (yet); nothing to wait for once open() returned.
            return;
        }
        poll.stop();
        if (auto *dialog = qobject_cast<T *>(modal)) {
            seen = true;
            if (check)
                check(dialog);
        }
        modal->close();
    });
    poll.start();
    open();
    poll.stop();
    return seen;
}

QString TestDesktopPush::pageText(QWebEnginePage *page)
{
    QString text;
    bool done = false;
    page->runJavaScript(QStringLiteral("document.body ? document.body.innerText : ''"),
                        [&](const QVariant &v) {
                            text = v.toString();
                            done = true;
                        });
    if (!QTest::qWaitFor([&] { return done; }, 10000))
        qWarning() << "page script did not finish";
    return text;
}

void TestDesktopPush::noticeShowsPopupAtCornerAndIsLogged()
{
    QVERIFY(m_desk->pushView());
    QVERIFY(m_desk->pushView()->view());
    QVERIFY(!m_desk->pushView()->view()->isVisible());
    QVERIFY(!m_desk->pushView()->view()->parent());
    waitIdentified();
    QCOMPARE(m_desk->pushView()->url(), QUrl::fromLocalFile(QDir(m_fixture->appDir()).filePath("cil.html")));
    QVERIFY(m_desk->pushView()->isBridged());
    QCOMPARE(lookups(), 1);

    const QString title = QStringLiteral("维护通知");
    const QString content = QStringLiteral("今晚十点起停机一小时。");
    QVERIFY(!m_service->pushNotice(m_uid, title, content).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(popups().size(), 1, 30000);
    QAcceptMsgWidget *popup = popups().first();
    QCOMPARE(popup->message().title, title);
    QVERIFY(popup->isVisible());
    QVERIFY(popup->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(popup->size(), QSize(350, 230));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(popup->pos(), QPoint(area.left() + area.width() - 1 - 350, area.top() + area.height() - 1 - 230));

    // One line per event: "UID=<uid>", six blanks, the time, seven blanks, the event.
    const QString stamp = QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d");
    const QRegularExpression connected(QStringLiteral("^UID=%1 {6}%2 {7}%3$")
                                           .arg(QRegularExpression::escape(m_uid), stamp, PushConnection::connectedText()),
                                       QRegularExpression::MultilineOption);
    const QRegularExpression pushed(QStringLiteral("^UID=%1 {6}%2 {7}%3$")
                                        .arg(QRegularExpression::escape(m_uid), stamp, PushConnection::pushedText()),
                                    QRegularExpression::MultilineOption);
    QTRY_VERIFY(log().contains(pushed));
    QVERIFY2(log().contains(connected), qPrintable(log()));
    QCOMPARE(log().count(PushConnection::pushedText()), 1);

    // "查看更多" opens the message centre, which lists the notice.
    QString listed;
    QPointer<QMsgListDialog> centre;
    QVERIFY(runModal<QMsgListDialog>([&] { popup->findChild<QPushButton *>("moreButton")->click(); },
                                     [&](QMsgListDialog *dialog) {
                                         centre = dialog;
                                         (void)QTest::qWaitFor([&] {
                                             listed = pageText(dialog->view()->page());
                                             return listed.contains(title);
                                         }, 60000);
                                     }));
    QVERIFY2(listed.contains(title), qPrintable(listed));
    QTRY_VERIFY(centre.isNull());
    // The pop-up stays until the user closes it.
    QVERIFY(popups().contains(popup));

    // A dropped connection is logged and the page comes back by itself.
    QVERIFY(m_service->dropPushConnections());
    QTRY_COMPARE_WITH_TIMEOUT(log().count(PushConnection::reconnectingText()), 1, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(log().count(PushConnection::connectedText()), 2, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(m_service->pushIdentifiedUsers(), QStringList{m_uid}, 30000);
    // The same notice is not shown twice after the reconnection.
    QCOMPARE(popups().size(), 1);
}

void TestDesktopPush::offerInstallReachesWindow()
{
    waitIdentified();
    QSignalSpy offers(m_desk.data(), &QLumiqDesk::installOffer);
    const QString id = m_service->pushOffer(m_uid, {{QStringLiteral("app_id"), QStringLiteral("a303")},
                                                    {QStringLiteral("name"), QStringLiteral("看图")},
                                                    {QStringLiteral("price"), QString()}});
    QVERIFY(!id.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(popups().size(), 1, 30000);
    QAcceptMsgWidget *popup = popups().first();
    QCOMPARE(popup->message().name, QStringLiteral("看图"));
    auto *install = popup->findChild<QPushButton *>("installButton");
    QVERIFY(install);
    install->click();
    QCOMPARE(offers.size(), 1);
    // The whole message as the page delivered it.
    const QJsonObject message = QJsonDocument::fromJson(offers.first().first().toString().toUtf8()).object();
    QCOMPARE(message.value(QLatin1String("alias")).toString(), QStringLiteral("lumiqPushApp"));
    QCOMPARE(message.value(QLatin1String("uuid")).toString(), id);
    QCOMPARE(offers.first().first().toString(), popup->strJson());
}

void TestDesktopPush::reloadLooksUpAgain()
{
    waitIdentified();
    QCOMPARE(lookups(), 1);
    QSignalSpy loaded(m_desk->pushView(), &PushView::loadFinished);
    m_desk->pushView()->reload();
    QVERIFY(loaded.wait(60000));
    QTRY_COMPARE_WITH_TIMEOUT(lookups(), 2, 30000);
    // The reloaded page connects and identifies anew.
    QTRY_COMPARE_WITH_TIMEOUT(log().count(PushConnection::connectedText()), 2, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(m_service->pushIdentifiedUsers(), QStringList{m_uid}, 30000);
    QVERIFY(m_desk->pushView()->isBridged());
}

void TestDesktopPush::failedLookupIsLoggedAsFailure()
{
    waitIdentified();
    // The lookup now answers with another message: the page is given an
    // empty address and reports the failure.
    QVERIFY(m_service->setPushLookup(QStringLiteral("notOk")));
    m_desk->pushView()->reload();
    QTRY_COMPARE_WITH_TIMEOUT(log().count(PushConnection::failedText()), 1, 60000);
    QCOMPARE(lookups(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(m_service->pushIdentifiedUsers().isEmpty(), 30000);
}

void TestDesktopPush::msgCenterButtonOpensMessageCentre()
{
    auto *button = m_desk->findChild<QPushButton *>("msgCenterButton");
    QVERIFY(button);
    QVERIFY(button->isEnabled());
    QVERIFY(!m_service->pushNotice(m_uid, QStringLiteral("按钮通知"), QStringLiteral("正文")).isEmpty());
    for (int round = 0; round < 2; ++round) {
        // A new dialog each time, deleted when closed (exec() takes the
        // delete-on-close flag while it runs and deletes the dialog itself).
        QPointer<QMsgListDialog> centre;
        QString listed;
        QVERIFY(runModal<QMsgListDialog>([&] { button->click(); },
                                         [&](QMsgListDialog *dialog) {
                                             centre = dialog;
                                             (void)QTest::qWaitFor([&] {
                                                 listed = pageText(dialog->view()->page());
                                                 return listed.contains(QStringLiteral("按钮通知"));
                                             }, 60000);
                                         }));
        QVERIFY2(listed.contains(QStringLiteral("按钮通知")), qPrintable(listed));
        QTRY_VERIFY(centre.isNull());
    }
}

void TestDesktopPush::avatarOpensUserCentre()
{
    auto *avatar = m_desk->findChild<QLabel *>("label");
    auto *name = m_desk->findChild<QLabel *>("userNamelabel");
    QVERIFY(avatar && name);
    for (QLabel *target : {avatar, name}) {
        QPointer<QUserInfoDlg> dialog;
        QVERIFY(runModal<QUserInfoDlg>([&] { QTest::mouseClick(target, Qt::LeftButton); },
                                       [&](QUserInfoDlg *shown) {
                                           dialog = shown;
                                           QCOMPARE(shown->parentWidget(), m_desk.data());
                                           const QUrl page(m_fixture->session.userInfo.user_center,
                                                           QUrl::TolerantMode);
                                           (void)QTest::qWaitFor([&] { return shown->view()->url() == page; },
                                                                 30000);
                                           QCOMPARE(shown->view()->url(), page);
                                       }));
        QTRY_VERIFY(dialog.isNull());
    }
}

void TestDesktopPush::floodShowsAFewPopupsAndLogsEveryMessage()
{
    waitIdentified();
    const int flood = 30;
    QStringList ids;
    for (int i = 0; i < flood; ++i)
        ids << m_service->pushNotice(m_uid, QStringLiteral("通知 %1").arg(i), QStringLiteral("第 %1 条").arg(i));
    QVERIFY(!ids.contains(QString()));
    // Every message reaches the push log ...
    QTRY_COMPARE_WITH_TIMEOUT(log().count(PushConnection::pushedText()), flood, 60000);
    QTest::qWait(500);
    // ... and only a few get a window of their own; the rest are summed up.
    QCOMPARE(popups().size(), PushPopups::kShown + 1);
    int summaries = 0;
    for (QAcceptMsgWidget *popup : popups()) {
        auto *title = popup->findChild<QLabel *>("noticeTitleLabel");
        if (title && title->text() == QStringLiteral("还有 %1 条新消息").arg(flood - PushPopups::kShown))
            ++summaries;
    }
    QCOMPARE(summaries, 1);
}

QTEST_MAIN(TestDesktopPush)
#include "tst_desktoppush.moc"
