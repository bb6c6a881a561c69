#include "desktop/settings/QSettingDlg.h"
#include "desktop/window/QLumiqDesk.h"
#include "tests/desktop/DeskFixture.h"
#include "tests/login/BoxAnswerer.h"
#include "service/IconFetch.h"
#include "service/ImageCache.h"
#include "tests/support/ShownText.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QUrlQuery>
#include <QtTest>

// The desktop window with real widgets, signed in to the reference service
// as the demo user (four categories; office programs, web applications,
// shipped pages and programs waiting for their installer).
class TestDesktopWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void opensWithTabsTopBarAndFirstGridPinned();
    void gridShowsVisibleIconsWithCaptions();
    void pressingTabsSwitchesHoverDoesNot();
    void screenChangeMovesTopBarAndTabs();
    void removeTakesIconOffAndCallsService();
    void removeFailureLeavesIcon_data();
    void removeFailureLeavesIcon();
    void uninstallWithoutCommandDeletesApp();
    void uninstallStartsCommandAndWatches();
    void storeChangesRebuildOpenGrid();
    void catalogueResetRebuildsTabs();
    void emptyCatalogueHasNoTabsNoGrid();
    void wallpaperButtonOpensSettings();
    void lateIconsReachOpenGridAndSearch();
    void serviceNamesShowAsTheyAre();

private:
    QList<DragButton *> icons() const;
    DragButton *icon(const QString &appId) const;
    void chooseFromMenu(const QString &actionName);

    QScopedPointer<RefServiceProcess> m_service;
    QScopedPointer<DeskFixture> m_fixture;
    QScopedPointer<QLumiqDesk> m_desk;
};

void TestDesktopWindow::initTestCase()
{
    QLumiqDesk::setScreenAreaOverride(QSize(1920, 1040));
    m_service.reset(new RefServiceProcess);
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
}

void TestDesktopWindow::init()
{
    // A fresh service state per test: records of removals do not carry over.
    m_service.reset(new RefServiceProcess);
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    m_fixture.reset(new DeskFixture(*m_service));
    QVERIFY(m_fixture->signedIn());
    m_desk.reset(new QLumiqDesk(m_fixture->session.userInfo, m_fixture->session.serviceLinks,
                                m_fixture->session.catalogue));
    m_desk->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_desk.data()));
}

void TestDesktopWindow::cleanup()
{
    m_desk.reset();
    m_fixture.reset();
    QLumiqDesk::setScreenAreaOverride(QSize(1920, 1040));
}

QList<DragButton *> TestDesktopWindow::icons() const
{
    return m_desk->popupGrid() ? m_desk->popupGrid()->buttons() : QList<DragButton *>();
}

DragButton *TestDesktopWindow::icon(const QString &appId) const
{
    for (DragButton *b : icons()) {
        if (b->appInfo() && b->appInfo()->id == appId)
            return b;
    }
    return nullptr;
}

void TestDesktopWindow::chooseFromMenu(const QString &actionName)
{
    m_desk->setMenuRunner([actionName](QMenu *menu) {
        QCOMPARE(menu->actions().size(), 3);
        QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("移除"));
        QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("卸载"));
        menu->findChild<QAction *>(actionName)->trigger();
    });
}

void TestDesktopWindow::opensWithTabsTopBarAndFirstGridPinned()
{
    const QList<ZAppMenuButton *> tabs = m_desk->categoryTabs();
    QCOMPARE(tabs.size(), 4);
    // "常用" comes first, above the categories.
    QVERIFY(m_desk->commonTab());
    QCOMPARE(m_desk->commonTab()->geometry(), QRect(1890, 40, 30, 90));
    const QStringList names{"办公", "设计", "开发", "生活"};
    for (int i = 0; i < tabs.size(); ++i) {
        QCOMPARE(tabs.at(i)->geometry(), QRect(1890, 140 + 100 * i, 30, 90));
        QCOMPARE(tabs.at(i)->text(), QString("\n%1\n%2\n").arg(names.at(i).at(0)).arg(names.at(i).at(1)));
        QVERIFY(tabs.at(i)->isVisible());
    }
    QCOMPARE(m_desk->firstTab(), tabs.first());
    QCOMPARE(m_desk->popupPinned(), 1);
    QVERIFY(m_desk->popupGrid());
    QCOMPARE(m_desk->popupCategory(), QString("c1"));
    QVERIFY(m_desk->popupGrid()->isVisible());

    // Top bar: app centre button, 20 px, company name, 10 px, avatar.
    auto *appCenter = m_desk->findChild<QPushButton *>("appCenterButton");
    auto *name = m_desk->findChild<QLabel *>("userNamelabel");
    auto *avatar = m_desk->findChild<QLabel *>("label");
    QVERIFY(appCenter && name && avatar);
    QCOMPARE(appCenter->geometry(), QRect(1645, -1, 66, 26));
    QCOMPARE(m_desk->findChild<QPushButton *>("lockButton")->geometry(), QRect(1857, 0, 43, 26));
    QCOMPARE(name->text(), m_fixture->session.userInfo.company_name);
    QVERIFY(!name->text().isEmpty());
    QCOMPARE(name->geometry().right() + 1 + 20, appCenter->x());
    QCOMPARE(avatar->geometry().right() + 1 + 10, name->x());
    const QPixmap picture = avatar->pixmap(Qt::ReturnByValue);
    QCOMPARE(picture.size(), QSize(24, 24));
    // The avatar is drawn inside its circle: corners stay transparent.
    const QImage round = picture.toImage();
    QCOMPARE(qAlpha(round.pixel(0, 0)), 0);
    QVERIFY(qAlpha(round.pixel(12, 12)) > 0);

    // Buttons whose windows arrive later take no click.
    QVERIFY(!appCenter->isEnabled());
    QVERIFY(m_desk->findChild<QPushButton *>("msgCenterButton")->isEnabled());
    QVERIFY(m_desk->findChild<QPushButton *>("wallpaperButton")->isEnabled());
    QVERIFY(m_desk->findChild<QPushButton *>("lockButton")->isEnabled());
    QCOMPARE(m_desk->size(), QSize(1920, 1040));
    QVERIFY(m_desk->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(m_desk->testAttribute(Qt::WA_TranslucentBackground));
}

void TestDesktopWindow::gridShowsVisibleIconsWithCaptions()
{
    // 办公: Word, Excel, 在线文档, 会议预约: four icons and the add button.
    DragWidget *grid = m_desk->popupGrid();
    QCOMPARE(grid->rows(), 2);
    QCOMPARE(grid->geometry(), QRect(m_desk->pos() + QPoint(1650, 140), QSize(220, 180)));
    const QList<DragButton *> buttons = icons();
    QCOMPARE(buttons.size(), 5);
    QStringList ids;
    for (int i = 0; i < 4; ++i)
        ids << buttons.at(i)->appInfo()->id;
    QCOMPARE(ids, (QStringList{"a101", "a102", "a103", "a104"}));
    QCOMPARE(buttons.last(), grid->addButtonWidget());
    QCOMPARE(buttons.last()->caption(), QStringLiteral("添加"));
    QCOMPARE(buttons.last()->geometry(), QRect(146 * 0 + 73, 90, 73, 90));
    QCOMPARE(buttons.at(0)->caption(), QString("Word"));
    QCOMPARE(buttons.at(1)->caption(), QString("Exce..."));
    QCOMPARE(buttons.at(1)->toolTip(), QString("Excel"));
    QCOMPARE(buttons.at(2)->caption(), QStringLiteral("在线文档"));
    for (DragButton *b : buttons)
        QVERIFY2(!b->picture().isNull(), qPrintable(b->caption()));

    // 设计: the program still waiting for its installer is left out.
    m_desk->categoryTabs().at(1)->ELCSignal(1);
    QCOMPARE(m_desk->popupCategory(), QString("c2"));
    QCOMPARE(icons().size(), 3);
    QVERIFY(!icon("a201"));
    QCOMPARE(m_desk->popupGrid()->rows(), 1);
    QCOMPARE(m_desk->popupGrid()->geometry().height(), 90);
}

void TestDesktopWindow::pressingTabsSwitchesHoverDoesNot()
{
    ZAppMenuButton *second = m_desk->categoryTabs().at(1);
    ZAppMenuButton *third = m_desk->categoryTabs().at(2);
    QPointer<DragWidget> first = m_desk->popupGrid();

    // Pinned from the start: entering and leaving other tabs changes nothing.
    emit second->ELCSignal(0);
    emit second->ELCSignal(2);
    QCOMPARE(m_desk->popupGrid(), first.data());
    QCOMPARE(m_desk->popupCategory(), QString("c1"));

    QTest::mouseClick(third, Qt::LeftButton);
    QCOMPARE(m_desk->popupCategory(), QString("c3"));
    QVERIFY(m_desk->popupGrid() != first.data());
    QVERIFY(first.isNull() || !first->isVisible());
    QTRY_VERIFY(first.isNull());
    QCOMPARE(m_desk->popupGrid()->geometry().topLeft(), m_desk->pos() + QPoint(1650, 340));

    // Pressing the open tab again opens a fresh grid of the same category.
    QPointer<DragWidget> before = m_desk->popupGrid();
    QTest::mouseClick(third, Qt::LeftButton);
    QCOMPARE(m_desk->popupCategory(), QString("c3"));
    QVERIFY(m_desk->popupGrid() != before.data());
}

void TestDesktopWindow::screenChangeMovesTopBarAndTabs()
{
    auto *appCenter = m_desk->findChild<QPushButton *>("appCenterButton");
    auto *name = m_desk->findChild<QLabel *>("userNamelabel");
    const int nameX = name->x();
    m_desk->categoryTabs().at(2)->ELCSignal(1);
    QCOMPARE(m_desk->popupCategory(), QString("c3"));

    m_desk->applyScreenArea(QSize(1600, 1040));
    QCOMPARE(m_desk->metrics().deltaX, -320);
    QCOMPARE(appCenter->x(), 1645 - 320);
    QCOMPARE(name->x(), nameX - 320);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(m_desk->categoryTabs().at(i)->geometry(), QRect(1570, 140 + 100 * i, 30, 90));
    // Whatever was open, the first category shows beside the moved tab.
    QCOMPARE(m_desk->popupCategory(), QString("c1"));
    QCOMPARE(m_desk->popupPinned(), 1);
    QCOMPARE(m_desk->popupGrid()->geometry(), QRect(m_desk->pos() + QPoint(1330, 140), QSize(220, 180)));

    m_desk->applyScreenArea(QSize(1920, 1040));
    QCOMPARE(m_desk->metrics().deltaX, 320);
    QCOMPARE(appCenter->x(), 1645);
    QCOMPARE(m_desk->categoryTabs().at(0)->geometry(), QRect(1890, 140, 30, 90));
    QCOMPARE(m_desk->popupGrid()->geometry().topLeft(), m_desk->pos() + QPoint(1650, 140));
    QCOMPARE(m_desk->size(), QSize(1920, 1040));
}

void TestDesktopWindow::removeTakesIconOffAndCallsService()
{
    DragButton *online = icon("a103");
    QVERIFY(online);
    const DesktopAppInfoPtr record = online->appInfo();
    QVERIFY(m_service->clearRecord());
    chooseFromMenu("removeAction");
    emit online->customContextMenuRequested(QPoint(5, 5));

    const QJsonObject call = m_service->lastReceived("NSVCloudDesktopService/IsRemoveAppInCloudDesktop/json");
    QCOMPARE(call.value("query").toObject().value("app_id").toString(), QString("a103"));
    QCOMPARE(call.value("query").toObject().value("is_remove").toString(), QString("0"));
    QCOMPARE(call.value("query").toObject().value("uid").toString(), QString("u1001"));
    QCOMPARE(record->isremove, QString("0"));
    QCOMPARE(m_service->userApp("u1001", "a103").value("is_remove").toString(), QString("0"));

    QCOMPARE(m_desk->popupCategory(), QString("c1"));
    QCOMPARE(m_desk->popupPinned(), 1);
    QVERIFY(!icon("a103"));
    QCOMPARE(icons().size(), 4); // three icons and the add button
    // The old grid, and with it the menu's icon, is gone once control is back.
    QTRY_VERIFY(!m_desk->menuTarget());
}

void TestDesktopWindow::removeFailureLeavesIcon_data()
{
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<bool>("unknownApp");
    QTest::newRow("HTTP 500") << 500 << false;
    // HTTP 200 with a refusal in the answer is no success either.
    QTest::newRow("refused by code") << 0 << true;
}

void TestDesktopWindow::removeFailureLeavesIcon()
{
    QFETCH(int, httpStatus);
    QFETCH(bool, unknownApp);
    DragButton *online = icon("a103");
    const DesktopAppInfoPtr record = online->appInfo();
    if (unknownApp) {
        // An id the service does not know.
        m_fixture->session.catalogue.updateApp(record, [](desktopAppInfo &a) { a.id = "zz999"; });
        online = icon("zz999");
        QVERIFY(online);
    }
    QVERIFY(m_service->setHttpStatus(httpStatus));
    QPointer<DragWidget> grid = m_desk->popupGrid();
    BoxAnswerer boxes;
    chooseFromMenu("removeAction");
    emit online->customContextMenuRequested(QPoint(5, 5));
    QTest::qWait(100);
    QVERIFY(boxes.seen.isEmpty());
    QCOMPARE(record->isremove, QString("1"));
    QCOMPARE(m_desk->popupGrid(), grid.data());
    QCOMPARE(icons().size(), 5);
    QVERIFY(m_service->setHttpStatus(0));
}

void TestDesktopWindow::uninstallWithoutCommandDeletesApp()
{
    DragButton *meeting = icon("a104");
    const DesktopAppInfoPtr record = meeting->appInfo();
    QVERIFY(record->uninstall.isEmpty());
    QVERIFY(m_service->clearRecord());
    chooseFromMenu("uninstallAction");
    emit meeting->customContextMenuRequested(QPoint(5, 5));

    const QJsonObject call = m_service->lastReceived("NSVCloudDesktopService/deletelAppInCloudDesktop/json");
    QCOMPARE(call.value("form").toObject().value("app_id").toString(), QString("a104"));
    QCOMPARE(call.value("form").toObject().value("app_name").toString(), QStringLiteral("会议预约"));
    QVERIFY(!m_fixture->session.catalogue.contains(record));
    QVERIFY(!icon("a104"));
    QCOMPARE(icons().size(), 4);
    QCOMPARE(m_desk->popupPinned(), 1);
    // The record itself lives on for whoever still holds it.
    QCOMPARE(record->id, QString("a104"));
}

void TestDesktopWindow::uninstallStartsCommandAndWatches()
{
    QTemporaryDir dir;
    const QString marker = dir.filePath("ran");
    const QString script = dir.filePath("un install.sh");
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\nprintf '%s|' \"$@\" > \"" + marker.toUtf8() + "\"\n");
    file.close();
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));

    DragButton *word = icon("a101");
    const DesktopAppInfoPtr record = word->appInfo();
    m_fixture->session.catalogue.updateApp(record, [&](desktopAppInfo &a) {
        a.uninstall = "\"" + script + "\" --purge \"my data\"";
    });
    word = icon("a101");
    chooseFromMenu("uninstallAction");
    emit word->customContextMenuRequested(QPoint(5, 5));
    // The shell creates the file before it writes to it.
    const auto ran = [&marker]() {
        QFile f(marker);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    QTRY_COMPARE_WITH_TIMEOUT(ran(), QByteArray("--purge|my data|"), 30000);
    QVERIFY(m_desk->uninstallWatcher());
    QCOMPARE(m_desk->uninstallWatcher()->application(), record);
    // Nothing changes until the watcher reports (it may have done so
    // already: the program is on no installed-software list here).
    if (m_desk->uninstallWatcher()->isRunning())
        QVERIFY(m_fixture->session.catalogue.contains(record));

    // The app centre's report of the same uninstallation: the watcher that
    // still waits for the record stops.
    QPointer<FindRegedit> watcher = m_desk->uninstallWatcher();
    m_desk->uninstallationCompleteSlot(record);
    QVERIFY(!m_fixture->session.catalogue.contains(record));
    QVERIFY(!icon("a101"));
    QTRY_VERIFY(watcher.isNull() || !watcher->isRunning());
}

void TestDesktopWindow::storeChangesRebuildOpenGrid()
{
    CatalogueStore &store = m_fixture->session.catalogue;
    auto app = DesktopAppInfoPtr::create();
    app->id = "a199";
    app->cateid = "c1";
    app->name = QStringLiteral("新应用");
    app->type = "1";
    app->isinstall = "1";
    app->isremove = "1";
    QPointer<DragWidget> before = m_desk->popupGrid();
    QVERIFY(store.addApp("c1", app));
    QVERIFY(icon("a199"));
    QCOMPARE(icons().size(), 6); // five icons and the add button
    QCOMPARE(m_desk->popupPinned(), 1);
    QTRY_VERIFY(before.isNull());

    // A sixth icon: two full rows, no add button.
    auto sixth = DesktopAppInfoPtr::create(*app);
    sixth->id = "a198";
    QVERIFY(store.addApp("c1", sixth));
    QCOMPARE(icons().size(), 6);
    QVERIFY(!m_desk->popupGrid()->addButtonWidget());
    QCOMPARE(m_desk->popupGrid()->rows(), 2);

    // A menu opened on an icon whose record then leaves the catalogue does nothing.
    DragButton *target = icon("a199");
    m_desk->setMenuRunner([&](QMenu *menu) {
        QVERIFY(store.removeApp(app));
        QVERIFY(m_service->clearRecord());
        menu->findChild<QAction *>("removeAction")->trigger();
    });
    emit target->customContextMenuRequested(QPoint(1, 1));
    QVERIFY(m_service->lastReceived("NSVCloudDesktopService/IsRemoveAppInCloudDesktop/json").isEmpty());
    QVERIFY(!icon("a199"));

    // A change of another category leaves the open grid alone.
    QPointer<DragWidget> grid = m_desk->popupGrid();
    QVERIFY(store.removeApp(store.findApp("a301")));
    QCOMPARE(m_desk->popupGrid(), grid.data());
}

void TestDesktopWindow::catalogueResetRebuildsTabs()
{
    CatalogueStore &store = m_fixture->session.catalogue;
    DesktopAppCatalogue two = store.catalogue().mid(2);
    QPointer<ZAppMenuButton> oldFirst = m_desk->firstTab();
    store.reset(two);
    QTRY_VERIFY(oldFirst.isNull());
    QCOMPARE(m_desk->categoryTabs().size(), 2);
    QCOMPARE(m_desk->categoryTabs().at(1)->geometry(), QRect(1890, 240, 30, 90));
    QCOMPARE(m_desk->popupCategory(), QString("c3"));
}

void TestDesktopWindow::emptyCatalogueHasNoTabsNoGrid()
{
    m_desk.reset();
    m_fixture->session.catalogue.reset({});
    m_desk.reset(new QLumiqDesk(m_fixture->session.userInfo, m_fixture->session.serviceLinks,
                                m_fixture->session.catalogue));
    m_desk->show();
    QVERIFY(m_desk->categoryTabs().isEmpty());
    QVERIFY(!m_desk->firstTab());
    QVERIFY(!m_desk->commonTab());
    QVERIFY(!m_desk->popupGrid());
    QCOMPARE(m_desk->popupPinned(), 0);
    m_desk->applyScreenArea(QSize(1600, 1040));
    QVERIFY(!m_desk->popupGrid());
}

void TestDesktopWindow::wallpaperButtonOpensSettings()
{
    BoxAnswerer boxes;
    bool seen = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&]() {
        auto *dialog = m_desk->findChild<QSettingDlg *>();
        if (!dialog || !dialog->isVisible() || seen)
            return;
        seen = true;
        // A picture the system cannot take: the desktop says so.
        emit dialog->modifyWindowsBk("/nonexistent/picture.jpg");
        dialog->onClose();
    });
    poll.start(20);
    m_desk->findChild<QPushButton *>("wallpaperButton")->click();
    QVERIFY(seen);
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen.first().title, QStringLiteral("提示"));
    QCOMPARE(boxes.seen.first().text, QStringLiteral("设置桌面墙纸失败！"));
    QTRY_VERIFY(!m_desk->findChild<QSettingDlg *>());
}

// Icons that arrive after the sign-in stopped waiting for them show in the
// grid and the search results already open, without a rebuild. The service
// answers every picture 1.5 s late, past a wait of 0.3 s: the same fault as
// an icon answered 14 s late past the sign-in's 10 s.
void TestDesktopWindow::lateIconsReachOpenGridAndSearch()
{
    const QString base = m_service->baseUrl();
    const QString appDir = m_fixture->appDir();
    QStringList addresses;
    for (const auto &entry : m_fixture->session.catalogue.catalogue()) {
        for (const DesktopAppInfoPtr &app : entry.second) {
            const QString address = base + QStringLiteral("images/app/%1/icon.png").arg(app->id);
            QCOMPARE(ImageCache::localPath(appDir, address), app->icon);
            addresses << address;
        }
    }
    auto forgetIcons = [&]() {
        for (const QString &address : qAsConst(addresses))
            QFile::remove(ImageCache::localPath(appDir, address));
    };
    auto arriveLate = [&](QObject *owner) {
        QVERIFY(m_service->setImageDelay(1500));
        IconFetch::concurrent(addresses, appDir, IconFetch::kPerHost, 300, owner);
    };

    // A desktop built while the icons are still on their way.
    forgetIcons();
    m_desk.reset(new QLumiqDesk(m_fixture->session.userInfo, m_fixture->session.serviceLinks,
                                m_fixture->session.catalogue));
    m_desk->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_desk.data()));
    QPointer<DragWidget> grid = m_desk->popupGrid();
    QVERIFY(icon("a101"));
    QVERIFY(icon("a101")->picture().isNull());
    {
        QObject signIn; // what the rest of the downloads goes with
        arriveLate(&signIn);
        QVERIFY(icon("a101")->picture().isNull());
        for (const QString &id : QStringList{"a101", "a102", "a103", "a104"})
            QTRY_VERIFY2_WITH_TIMEOUT(!icon(id)->picture().isNull(), qPrintable(id), 10000);
        QCOMPARE(m_desk->popupGrid(), grid.data()); // the same grid, not a new one
    }

    // Search results open while the pictures are missing.
    forgetIcons();
    m_desk->openSearch(QStringLiteral("w"));
    QCOMPARE(m_desk->popupKind(), QLumiqDesk::GridKind::Search);
    const QList<DragButton *> results = icons();
    QVERIFY(!results.isEmpty());
    DragButton *word = icon("a101");
    QVERIFY(word);
    QObject again;
    arriveLate(&again);
    QVERIFY(word->picture().isNull());
    QTRY_VERIFY_WITH_TIMEOUT(!word->picture().isNull(), 10000);
    QCOMPARE(icons(), results);
    QVERIFY(m_service->setImageDelay(0));
}

void TestDesktopWindow::serviceNamesShowAsTheyAre()
{
    // A company and an application named with markup by the service.
    m_desk.reset();
    LoginUserInfo user = m_fixture->session.userInfo;
    user.company_name = markupName();
    CatalogueStore &store = m_fixture->session.catalogue;
    const DesktopAppInfoPtr app = store.apps(store.catalogue().first().first->id).first();
    QVERIFY(store.updateApp(app, [](desktopAppInfo &a) { a.name = markupName(); }));
    m_desk.reset(new QLumiqDesk(user, m_fixture->session.serviceLinks, store));
    m_desk->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_desk.data()));
    QCOMPARE(shownText(m_desk->findChild<QLabel *>("userNamelabel")), markupName());
    QTRY_VERIFY(icon(app->id));
    QCOMPARE(shownToolTip(icon(app->id)->toolTip()), markupName());
}

QTEST_MAIN(TestDesktopWindow)
#include "tst_desktopwindow.moc"
