#include "core/AppPaths.h"
#include "desktop/find/Favourites.h"
#include "desktop/window/QLumiqDesk.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

// Finding, pinning and reaching applications from the keyboard on the
// real desktop window, over a catalogue of our own (no service needed):
//
//   办公  Word, Excel, 会议预约, 在线文档
//   设计  速绘画板 (a stand-in program), 图片编辑, 画图工具 (a stand-in program)
//   开发  代码编辑器, 终端
//   生活  记事本 (taken off the desktop), 天气
class TestDesktopFind : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void typingSearchesAllCategories_data();
    void typingSearchesAllCategories();
    void typingInAGridOpensTheSearch();
    void enterLaunchesFirstResult();
    void escapeClosesSearchAndRestoresGrid();
    void searchFollowsCatalogueChanges();
    void pinsAndRecentsFillTheCommonTab();
    void pinsAndRecentsSurviveRestartAndDropGoneApps();
    void arrowKeysMoveInGridOrder();
    void tabMovesBetweenTabsAndGrid();
    void menuKeyOpensMenuOfFocusedIcon();
    void focusedIconIsFramed();
    void everyControlHasAnAccessibleName();
    void twelveCategoriesScrollAndAllOpen();
    void focusMarkOnlyFromKeyboard();
    void addOpensMatchingStoreCategory_data();
    void addOpensMatchingStoreCategory();

private:
    DesktopAppInfoPtr app(const QString &id, const QString &category, const QString &name,
                          const QString &install = QString(), const QString &isremove = "1");
    DesktopAppCatalogue catalogue();
    void openDesk();
    QStringList gridIds(const DragWidget *grid) const;
    QString writeStandIn(const QString &id);
    QWidget *focused() const { return QApplication::focusWidget(); }
    // Opens the icon's menu and checks the pin entry's text; chooses it
    // unless told not to.
    void chooseFromMenu(DragButton *icon, const QString &expectedText, bool choose = true);
    // Typed text as key presses with their text (QTest's key clicks carry
    // Latin-1 only).
    static void typeText(QWidget *widget, const QString &text);
    DragButton *iconOf(const QString &id) const;

    QTemporaryDir m_dir;
    QString m_marker;
    CatalogueStore m_store;
    LoginUserInfo m_user;
    LoginServiceLinks m_links;
    QScopedPointer<QLumiqDesk> m_desk;
};

void TestDesktopFind::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QLumiqDesk::setScreenAreaOverride(QSize(1920, 1040));
    m_marker = m_dir.filePath("marker");
    m_user.company_name = QStringLiteral("测试公司");
}

void TestDesktopFind::init()
{
    // A client folder of its own per test, signed in as user u7.
    const QString appDir = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()));
    QDir().mkpath(appDir);
    AppPaths::setAppDirPathOverride(appDir);
    QFile config(appDir + "/Config.ini");
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("[connect]\nuid=u7\n");
    config.close();
    QFile::remove(m_marker);
    m_store.reset(catalogue());
    openDesk();
}

void TestDesktopFind::cleanup()
{
    m_desk.reset();
    AppPaths::setAppDirPathOverride(QString());
}

DesktopAppInfoPtr TestDesktopFind::app(const QString &id, const QString &category, const QString &name,
                                       const QString &install, const QString &isremove)
{
    auto a = DesktopAppInfoPtr::create();
    a->id = id;
    a->cateid = category;
    a->name = name;
    a->type = "2";
    a->install = install;
    a->isinstall = "1";
    a->isremove = isremove;
    return a;
}

QString TestDesktopFind::writeStandIn(const QString &id)
{
    const QString path = m_dir.filePath("standin_" + id + ".sh");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        // Written aside and renamed, so the marker never exists empty.
        const QByteArray marker = m_marker.toUtf8();
        file.write("#!/bin/sh\necho " + id.toUtf8() + " > \"" + marker + ".part\" && mv \""
                   + marker + ".part\" \"" + marker + "\"\n");
        file.close();
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

DesktopAppCatalogue TestDesktopFind::catalogue()
{
    auto category = [](const QString &id, const QString &name) {
        auto c = QSharedPointer<DesktopAppCategory>::create();
        c->id = id;
        c->name = name;
        return c;
    };
    DesktopAppCatalogue cat;
    cat << qMakePair(category("c1", QStringLiteral("办公")),
                     DesktopAppList{app("a1", "c1", "Word"), app("a2", "c1", "Excel"),
                                    app("a3", "c1", QStringLiteral("会议预约")),
                                    app("a4", "c1", QStringLiteral("在线文档"))});
    cat << qMakePair(category("c2", QStringLiteral("设计")),
                     DesktopAppList{app("a5", "c2", QStringLiteral("速绘画板"), writeStandIn("a5")),
                                    app("a6", "c2", QStringLiteral("图片编辑")),
                                    app("a7", "c2", QStringLiteral("画图工具"), writeStandIn("a7"))});
    cat << qMakePair(category("c3", QStringLiteral("开发")),
                     DesktopAppList{app("a8", "c3", QStringLiteral("代码编辑器")),
                                    app("a9", "c3", QStringLiteral("终端"))});
    cat << qMakePair(category("c4", QStringLiteral("生活")),
                     DesktopAppList{app("a10", "c4", QStringLiteral("记事本"), QString(), "0"),
                                    app("a11", "c4", QStringLiteral("天气"))});
    return cat;
}

void TestDesktopFind::openDesk()
{
    m_desk.reset(new QLumiqDesk(m_user, m_links, m_store));
    m_desk->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_desk.data()));
    QVERIFY(m_desk->popupGrid());
}

QStringList TestDesktopFind::gridIds(const DragWidget *grid) const
{
    QStringList ids;
    if (!grid)
        return ids;
    for (DragButton *b : grid->buttons()) {
        if (b->appInfo())
            ids << b->appInfo()->id;
    }
    return ids;
}

DragButton *TestDesktopFind::iconOf(const QString &id) const
{
    if (!m_desk->popupGrid())
        return nullptr;
    for (DragButton *b : m_desk->popupGrid()->buttons()) {
        if (b->appInfo() && b->appInfo()->id == id)
            return b;
    }
    return nullptr;
}

void TestDesktopFind::typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, c.isLetter() && c.unicode() < 128 ? Qt::Key_A + (c.toUpper().unicode() - 'A') : 0,
                        Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, press.key(), Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

void TestDesktopFind::chooseFromMenu(DragButton *icon, const QString &expectedText, bool choose)
{
    QVERIFY(icon);
    bool ran = false;
    m_desk->setMenuRunner([&](QMenu *menu) {
        ran = true;
        QAction *pin = menu->findChild<QAction *>("pinAction");
        QVERIFY(pin);
        QVERIFY(menu->actions().contains(pin));
        QCOMPARE(pin->text(), expectedText);
        if (choose)
            pin->trigger();
    });
    emit icon->customContextMenuRequested(QPoint(5, 5));
    QVERIFY(ran);
}

void TestDesktopFind::typingSearchesAllCategories_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("part of a name, two categories") << QStringLiteral("编辑") << QStringList{"a6", "a8"};
    QTest::newRow("any letter case") << "EX" << QStringList{"a2"};
    QTest::newRow("pinyin initials") << "shhb" << QStringList{"a5"};
    QTest::newRow("part of the initials, two categories") << "bj" << QStringList{"a6", "a8"};
    QTest::newRow("a character in two names") << QStringLiteral("画") << QStringList{"a5", "a7"};
    QTest::newRow("taken off the desktop is not found") << "jsb" << QStringList{};
}

void TestDesktopFind::typingSearchesAllCategories()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, found);

    // The keyboard is on the first category's tab; the first key opens the
    // search, the field takes the rest.
    ZAppMenuButton *tab = m_desk->categoryTabs().first();
    tab->setFocus();
    typeText(tab, typed.left(1));
    QVERIFY(m_desk->isSearchOpen());
    QLineEdit *field = m_desk->searchField();
    QTRY_COMPARE(focused(), field);
    typeText(field, typed.mid(1));
    QCOMPARE(field->text(), typed);

    auto *empty = m_desk->findChild<QLabel *>("searchEmptyLabel");
    if (found.isEmpty()) {
        QCOMPARE(m_desk->popupKind(), QLumiqDesk::GridKind::None);
        QVERIFY(!empty->isHidden());
        return;
    }
    QVERIFY(empty->isHidden());
    QCOMPARE(m_desk->popupKind(), QLumiqDesk::GridKind::Search);
    DragWidget *grid = m_desk->popupGrid();
    QCOMPARE(gridIds(grid), found);
    // Results are icons like the category grids', without the add button.
    QCOMPARE(grid->buttons().size(), found.size());
    QVERIFY(!grid->addButtonWidget());
    QCOMPARE(grid->geometry().topLeft(), m_desk->pos() + QPoint(1650, 76));
    QCOMPARE(grid->buttons().first()->caption(), DeskLayout::iconCaption(grid->buttons().first()->appInfo()->name));
}

void TestDesktopFind::typingInAGridOpensTheSearch()
{
    DragButton *word = iconOf("a1");
    QVERIFY(word);
    m_desk->popupGrid()->focusIcon(0);
    QTRY_COMPARE(focused(), word);
    QTest::keyClicks(word, "te");
    QVERIFY(m_desk->isSearchOpen());
    QTRY_COMPARE(focused(), m_desk->searchField());
    // Both keys reach the field: the second went to the new field or, if
    // the grid still had the keyboard, was added to the search from there.
    QCOMPARE(m_desk->searchField()->text(), QString("te"));
}

void TestDesktopFind::enterLaunchesFirstResult()
{
    m_desk->openSearch(QStringLiteral("画"));
    QCOMPARE(gridIds(m_desk->popupGrid()), (QStringList{"a5", "a7"}));
    QTest::keyClick(m_desk->searchField(), Qt::Key_Return);
    QTRY_VERIFY(QFile::exists(m_marker));
    QFile marker(m_marker);
    QVERIFY(marker.open(QIODevice::ReadOnly));
    QCOMPARE(marker.readAll().trimmed(), QByteArray("a5"));
    QVERIFY(!m_desk->isSearchOpen());
    // The launch is recorded.
    QCOMPARE(m_desk->favourites().recent(), QStringList{"a5"});

    // Enter with no result launches nothing and leaves the search open.
    QFile::remove(m_marker);
    m_desk->openSearch("zzz");
    QTest::keyClick(m_desk->searchField(), Qt::Key_Return);
    QVERIFY(m_desk->isSearchOpen());
    QTest::qWait(200);
    QVERIFY(!QFile::exists(m_marker));

    // Enter on a result icon launches that one.
    m_desk->openSearch(QStringLiteral("画图"));
    QCOMPARE(gridIds(m_desk->popupGrid()), QStringList{"a7"});
    QTest::keyClick(m_desk->searchField(), Qt::Key_Down);
    DragButton *result = m_desk->popupGrid()->buttons().first();
    QTRY_COMPARE(focused(), result);
    QTest::keyClick(result, Qt::Key_Enter);
    QTRY_VERIFY(QFile::exists(m_marker));
    QFile second(m_marker);
    QVERIFY(second.open(QIODevice::ReadOnly));
    QCOMPARE(second.readAll().trimmed(), QByteArray("a7"));
    QCOMPARE(m_desk->favourites().recent(), (QStringList{"a7", "a5"}));
}

void TestDesktopFind::escapeClosesSearchAndRestoresGrid()
{
    emit m_desk->categoryTabs().at(2)->ELCSignal(1);
    QCOMPARE(m_desk->popupCategory(), QString("c3"));
    m_desk->openSearch("Wo");
    QCOMPARE(m_desk->popupKind(), QLumiqDesk::GridKind::Search);
    QTest::keyClick(m_desk->searchField(), Qt::Key_Escape);
    QVERIFY(!m_desk->isSearchOpen());
    QVERIFY(m_desk->searchField()->text().isEmpty());
    QCOMPARE(m_desk->popupKind(), QLumiqDesk::GridKind::Category);
    QCOMPARE(m_desk->popupCategory(), QString("c3"));
    QCOMPARE(m_desk->popupPinned(), 1);

    // Escape from a result icon closes it too.
    m_desk->openSearch("Wo");
    QTest::keyClick(m_desk->searchField(), Qt::Key_Down);
    QTRY_COMPARE(focused(), m_desk->popupGrid()->buttons().first());
    QTest::keyClick(focused(), Qt::Key_Escape);
    QVERIFY(!m_desk->isSearchOpen());
    QCOMPARE(m_desk->popupCategory(), QString("c3"));
}

void TestDesktopFind::searchFollowsCatalogueChanges()
{
    m_desk->openSearch(QStringLiteral("编辑"));
    QCOMPARE(gridIds(m_desk->popupGrid()), (QStringList{"a6", "a8"}));
    // An application leaving, one taken off the desktop, one arriving.
    QVERIFY(m_store.removeApp(m_store.findApp("a6")));
    QCOMPARE(gridIds(m_desk->popupGrid()), QStringList{"a8"});
    QVERIFY(m_store.addApp("c4", app("a12", "c4", QStringLiteral("表格编辑"))));
    QCOMPARE(gridIds(m_desk->popupGrid()), (QStringList{"a8", "a12"}));
    QVERIFY(m_store.updateApp(m_store.findApp("a8"), [](desktopAppInfo &a) { a.isremove = "0"; }));
    QCOMPARE(gridIds(m_desk->popupGrid()), QStringList{"a12"});
    QVERIFY(m_desk->isSearchOpen());
}

void TestDesktopFind::pinsAndRecentsFillTheCommonTab()
{
    ZAppMenuButton *common = m_desk->commonTab();
    QVERIFY(common);
    QCOMPARE(common->accessibleName(), QStringLiteral("常用"));
    // Above the categories, which follow it.
    QCOMPARE(common->geometry(), QRect(1890, 40, 30, 90));
    QCOMPARE(m_desk->categoryTabs().first()->geometry(), QRect(1890, 140, 30, 90));

    emit common->ELCSignal(1);
    QCOMPARE(m_desk->popupKind(), QLumiqDesk::GridKind::Common);
    QVERIFY(m_desk->popupGrid()->buttons().isEmpty());
    QVERIFY(!m_desk->popupGrid()->findChild<QLabel *>("gridEmptyText")->isHidden());

    // Pinning from a category grid; the menu offers to pin.
    emit m_desk->categoryTabs().at(2)->ELCSignal(1);
    chooseFromMenu(iconOf("a9"), QStringLiteral("固定到常用"));
    emit m_desk->categoryTabs().at(1)->ELCSignal(1);
    chooseFromMenu(iconOf("a6"), QStringLiteral("固定到常用"));
    QCOMPARE(m_desk->favourites().pinned(), (QStringList{"a9", "a6"}));

    // Launches recorded; the open "常用" grid follows live.
    emit common->ELCSignal(1);
    QCOMPARE(gridIds(m_desk->popupGrid()), (QStringList{"a9", "a6"}));
    m_desk->openSearch(QStringLiteral("速绘"));
    QTest::keyClick(m_desk->searchField(), Qt::Key_Return);
    QTRY_VERIFY(QFile::exists(m_marker));
    emit common->ELCSignal(1);
    QCOMPARE(gridIds(m_desk->popupGrid()), (QStringList{"a9", "a6", "a5"}));
    QFile::remove(m_marker);
    QTest::keyClick(iconOf("a5"), Qt::Key_Return);
    QTRY_VERIFY(QFile::exists(m_marker));
    QCOMPARE(m_desk->popupKind(), QLumiqDesk::GridKind::Common);

    // Unpinning from the "常用" grid itself: it stays as a recent one only
    // when it was launched; a9 never was.
    chooseFromMenu(iconOf("a9"), QStringLiteral("取消固定"));
    QCOMPARE(gridIds(m_desk->popupGrid()), (QStringList{"a6", "a5"}));

    // Recent ones newest first, after the pinned.
    m_desk->openSearch(QStringLiteral("画图"));
    QTest::keyClick(m_desk->searchField(), Qt::Key_Return);
    emit common->ELCSignal(1);
    QCOMPARE(gridIds(m_desk->popupGrid()), (QStringList{"a6", "a7", "a5"}));
}

void TestDesktopFind::pinsAndRecentsSurviveRestartAndDropGoneApps()
{
    emit m_desk->categoryTabs().at(0)->ELCSignal(1);
    chooseFromMenu(iconOf("a3"), QStringLiteral("固定到常用"));
    emit m_desk->categoryTabs().at(3)->ELCSignal(1);
    chooseFromMenu(iconOf("a11"), QStringLiteral("固定到常用"));
    m_desk->openSearch(QStringLiteral("速绘"));
    QTest::keyClick(m_desk->searchField(), Qt::Key_Return);
    QTRY_VERIFY(QFile::exists(m_marker));

    // The file beside Config.ini, under this user.
    const QString path = AppPaths::appFilePath("Favourites.json");
    QCOMPARE(Favourites::defaultPath(), path);
    QVERIFY(QFile::exists(path));

    // A restart: the same lists, the menu knows what is pinned.
    openDesk();
    emit m_desk->commonTab()->ELCSignal(1);
    QCOMPARE(gridIds(m_desk->popupGrid()), (QStringList{"a3", "a11", "a5"}));
    chooseFromMenu(iconOf("a3"), QStringLiteral("取消固定"), false);

    // An application leaving the catalogue leaves the tab at once and the file.
    QVERIFY(m_store.removeApp(m_store.findApp("a11")));
    QCOMPARE(gridIds(m_desk->popupGrid()), (QStringList{"a3", "a5"}));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject mine = QJsonDocument::fromJson(file.readAll()).object().value("u7").toObject();
    file.close();
    QVERIFY(!QJsonDocument(mine).toJson().contains("a11"));

    // One gone while the client was closed: dropped at the next start.
    m_desk.reset();
    DesktopAppCatalogue next = catalogue();
    next[1].second.removeFirst(); // a5
    m_store.reset(next);
    openDesk();
    QCOMPARE(m_desk->favourites().recent(), QStringList{});
    QCOMPARE(m_desk->favourites().pinned(), (QStringList{"a3"}));
    Favourites onDisk(path, "u7");
    onDisk.load();
    QCOMPARE(onDisk.pinned(), QStringList{"a3"});
    QVERIFY(onDisk.recent().isEmpty());

    // An empty catalogue (a sign-in that brought nothing) keeps the lists.
    m_store.reset({});
    m_store.reset(next);
    QCOMPARE(m_desk->favourites().pinned(), QStringList{"a3"});
}

void TestDesktopFind::arrowKeysMoveInGridOrder()
{
    // 办公: four icons and the add button, rows of three.
    DragWidget *grid = m_desk->popupGrid();
    QCOMPARE(m_desk->popupCategory(), QString("c1"));
    const QList<DragButton *> cells = grid->buttons();
    QCOMPARE(cells.size(), 5);
    QVERIFY(grid->focusIcon(0));
    QTRY_COMPARE(focused(), cells.at(0));

    const QList<QPair<Qt::Key, int>> steps{
        {Qt::Key_Right, 1}, {Qt::Key_Right, 2}, {Qt::Key_Right, 2}, {Qt::Key_Down, 4},
        {Qt::Key_Left, 3},  {Qt::Key_Left, 3},  {Qt::Key_Up, 0},    {Qt::Key_End, 4},
        {Qt::Key_Home, 0},  {Qt::Key_Down, 3},  {Qt::Key_Down, 3},  {Qt::Key_Up, 0},
    };
    for (const auto &step : steps) {
        QTest::keyClick(focused(), step.first);
        QTRY_COMPARE(focused(), cells.at(step.second));
    }
}

void TestDesktopFind::tabMovesBetweenTabsAndGrid()
{
    ZAppMenuButton *first = m_desk->categoryTabs().at(0);
    ZAppMenuButton *second = m_desk->categoryTabs().at(1);
    first->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(focused(), first);

    // Into the open grid, out of it to the next tab, which opens its grid.
    QTest::keyClick(first, Qt::Key_Tab);
    QCOMPARE(m_desk->popupCategory(), QString("c1"));
    QTRY_COMPARE(focused(), m_desk->popupGrid()->buttons().first());
    QTest::keyClick(focused(), Qt::Key_Tab);
    QTRY_COMPARE(focused(), second);
    QCOMPARE(m_desk->popupCategory(), QString("c2"));
    QTest::keyClick(second, Qt::Key_Tab);
    QTRY_COMPARE(focused(), m_desk->popupGrid()->buttons().first());
    QCOMPARE(gridIds(m_desk->popupGrid()).first(), QString("a5"));

    // Shift+Tab from the grid goes back to its own tab.
    QTest::keyClick(focused(), Qt::Key_Backtab, Qt::ShiftModifier);
    QTRY_COMPARE(focused(), second);
    QCOMPARE(m_desk->popupCategory(), QString("c2"));

    // Enter on a tab opens its grid with the keyboard on the first icon.
    ZAppMenuButton *fourth = m_desk->categoryTabs().at(3);
    fourth->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(focused(), fourth);
    QTest::keyClick(fourth, Qt::Key_Return);
    QCOMPARE(m_desk->popupCategory(), QString("c4"));
    QTRY_COMPARE(focused(), m_desk->popupGrid()->buttons().first());
    QCOMPARE(gridIds(m_desk->popupGrid()), QStringList{"a11"});
}

void TestDesktopFind::menuKeyOpensMenuOfFocusedIcon()
{
    DragWidget *grid = m_desk->popupGrid();
    grid->focusIcon(1);
    DragButton *excel = grid->buttons().at(1);
    QTRY_COMPARE(focused(), excel);
    QPointer<DragButton> target;
    int runs = 0;
    m_desk->setMenuRunner([&](QMenu *) {
        ++runs;
        target = m_desk->menuTarget();
    });
    QTest::keyClick(excel, Qt::Key_Menu);
    QCOMPARE(runs, 1);
    QCOMPARE(target.data(), excel);
    // The window system's own context-menu event for the same key is not
    // answered a second time.
    QContextMenuEvent again(QContextMenuEvent::Keyboard, excel->rect().center());
    QTest::keyPress(excel, Qt::Key_Menu);
    QApplication::sendEvent(excel, &again);
    QTest::keyRelease(excel, Qt::Key_Menu);
    QCOMPARE(runs, 2);
    // The pointer's menu still opens.
    QContextMenuEvent mouse(QContextMenuEvent::Mouse, QPoint(3, 3));
    QApplication::sendEvent(excel, &mouse);
    QCOMPARE(runs, 3);
}

void TestDesktopFind::focusedIconIsFramed()
{
    DragWidget *grid = m_desk->popupGrid();
    DragButton *word = grid->buttons().at(0);
    DragButton *excel = grid->buttons().at(1);
    grid->focusIcon(0);
    QTRY_COMPARE(focused(), word);
    auto edge = [](DragButton *b) {
        return b->grab().toImage().pixel(2, b->height() / 2);
    };
    const QRgb framed = edge(word);
    QVERIFY(qRed(framed) >= 240 && qAlpha(framed) >= 240);
    QVERIFY(qAlpha(edge(excel)) < 20);
    grid->focusIcon(1);
    QTRY_COMPARE(focused(), excel);
    QVERIFY(qAlpha(edge(word)) < 20);
    QVERIFY(qRed(edge(excel)) >= 240);
}

void TestDesktopFind::everyControlHasAnAccessibleName()
{
    // Every kind of grid open in turn, with the search and the menu.
    const QList<std::function<void()>> states{
        [&]() {},
        [&]() { emit m_desk->commonTab()->ELCSignal(1); },
        [&]() {
            emit m_desk->categoryTabs().at(2)->ELCSignal(1);
            chooseFromMenu(iconOf("a8"), QStringLiteral("固定到常用"));
            emit m_desk->commonTab()->ELCSignal(1);
        },
        [&]() { m_desk->openSearch(QStringLiteral("编辑")); },
        [&]() { m_desk->openSearch(QStringLiteral("没有这个")); },
    };
    for (const auto &state : states) {
        state();
        QList<QWidget *> controls{m_desk.data()};
        controls << m_desk->findChildren<QWidget *>();
        if (m_desk->popupGrid())
            controls << m_desk->popupGrid() << m_desk->popupGrid()->findChildren<QWidget *>();
        int checked = 0;
        for (QWidget *w : qAsConst(controls)) {
            // Plain containers and the hidden push page's parts are not controls.
            const bool control = w->focusPolicy() != Qt::NoFocus || qobject_cast<QLabel *>(w)
                || qobject_cast<QAbstractButton *>(w) || w->isWindow();
            if (!control || w->isHidden() || w->size().isEmpty())
                continue;
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
            QVERIFY2(a, qPrintable(w->objectName()));
            QVERIFY2(!a->text(QAccessible::Name).trimmed().isEmpty(),
                     qPrintable(QString("%1 (%2) has no accessible name")
                                    .arg(w->objectName(), w->metaObject()->className())));
            if (w->focusPolicy() != Qt::NoFocus)
                QVERIFY2(!a->text(QAccessible::Description).trimmed().isEmpty(),
                         qPrintable(w->objectName() + " has no accessible description"));
            ++checked;
        }
        QVERIFY(checked >= 10);
    }
    // Icons are named after their applications.
    m_desk->openSearch("Word");
    QAccessibleInterface *word = QAccessible::queryAccessibleInterface(m_desk->popupGrid()->buttons().first());
    QCOMPARE(word->text(QAccessible::Name), QString("Word"));
    QCOMPARE(word->role(), QAccessible::Button);
}

// More categories than the screen holds: the tab column scrolls, by the
// wheel, by its arrows and by the keyboard, and every category opens.
void TestDesktopFind::twelveCategoriesScrollAndAllOpen()
{
    DesktopAppCatalogue twelve;
    for (int i = 1; i <= 12; ++i) {
        auto c = QSharedPointer<DesktopAppCategory>::create();
        c->id = QString("k%1").arg(i);
        c->name = QStringLiteral("分类%1").arg(i);
        twelve << qMakePair(c, DesktopAppList{app(QString("b%1").arg(i), c->id, QString("App %1").arg(i))});
    }
    m_store.reset(twelve);
    const QList<ZAppMenuButton *> tabs = m_desk->categoryTabs();
    QCOMPARE(tabs.size(), 12);
    TabColumn *column = m_desk->tabColumn();
    QVERIFY(column->scrolls());
    QAbstractButton *up = column->upArrow();
    QAbstractButton *down = column->downArrow();
    QVERIFY(up->isVisible() && down->isVisible());
    QVERIFY(!up->isEnabled() && down->isEnabled());

    // Whatever is in view lies on the screen, apart from the rest.
    const QList<ZAppMenuButton *> all = QList<ZAppMenuButton *>{m_desk->commonTab()} + tabs;
    auto inView = [&]() {
        QStringList names;
        for (ZAppMenuButton *tab : all) {
            const bool onScreen = m_desk->rect().contains(tab->geometry());
            if (onScreen) {
                names << tab->accessibleName();
                if (tab->geometry().bottom() >= down->geometry().top())
                    return QStringList{"overlaps the arrow: " + tab->accessibleName()};
            }
            if (onScreen != column->isShown(tab))
                return QStringList{"shown but off screen: " + tab->accessibleName()};
        }
        return names;
    };
    QCOMPARE(inView().size(), column->shownCount());
    QVERIFY(!inView().contains(tabs.last()->accessibleName()));
    QVERIFY(down->geometry().bottom() < 1040);

    // The wheel over a tab of the column, or the gap below it: one notch,
    // one tab.
    auto turnWheel = [](QWidget *over, const QPoint &at, int delta) {
        QWheelEvent wheel(QPointF(at), QPointF(over->mapToGlobal(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(over, &wheel);
    };
    turnWheel(tabs.at(2), QPoint(15, 45), -120);
    QCOMPARE(column->firstShown(), 1);
    turnWheel(m_desk.data(), tabs.at(2)->geometry().bottomLeft() + QPoint(10, 5), -120);
    QCOMPARE(column->firstShown(), 2);
    turnWheel(tabs.at(4), QPoint(15, 45), 120);
    QCOMPARE(column->firstShown(), 1);
    QVERIFY(up->isEnabled());

    // The arrow down to the end, then the last category opens by a click.
    for (int i = 0; i < 12 && down->isEnabled(); ++i)
        QTest::mouseClick(down, Qt::LeftButton);
    QVERIFY(!down->isEnabled());
    QVERIFY(column->isShown(tabs.last()));
    QVERIFY(inView().contains(tabs.last()->accessibleName()));
    QTest::mouseClick(tabs.last(), Qt::LeftButton);
    QCOMPARE(m_desk->popupCategory(), QString("k12"));
    QCOMPARE(m_desk->popupGrid()->geometry().top(), m_desk->pos().y() + tabs.last()->y());
    QCOMPARE(gridIds(m_desk->popupGrid()), QStringList{"b12"});

    // The keyboard reaching a tab out of view brings it in and opens it.
    QVERIFY(!column->isShown(m_desk->commonTab()));
    m_desk->commonTab()->setFocus(Qt::BacktabFocusReason);
    QTRY_VERIFY(column->isShown(m_desk->commonTab()));
    QCOMPARE(m_desk->popupKind(), QLumiqDesk::GridKind::Common);
    QCOMPARE(column->firstShown(), 0);

    // Back to four categories: every tab in its place again, no arrows.
    m_store.reset(catalogue());
    QVERIFY(!m_desk->tabColumn()->scrolls());
    QVERIFY(!up->isVisible() && !down->isVisible());
    QCOMPARE(m_desk->categoryTabs().last()->geometry(), QRect(1890, 440, 30, 90));
}

// A click gives an icon or a tab the focus without a mark; the keyboard's
// moves show it.
void TestDesktopFind::focusMarkOnlyFromKeyboard()
{
    DragWidget *grid = m_desk->popupGrid();
    DragButton *word = grid->buttons().at(0);
    DragButton *excel = grid->buttons().at(1);
    auto edge = [](DragButton *b) { return b->grab().toImage().pixel(2, b->height() / 2); };
    // A click lands in an active window, as the window system makes it.
    grid->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), grid);

    QTest::mouseClick(word, Qt::LeftButton, Qt::NoModifier, QPoint(30, 30));
    QTRY_COMPARE(focused(), word);
    QVERIFY(qAlpha(edge(word)) < 20);

    // An arrow moves the focus: the icon it lands on is framed.
    QTest::keyClick(word, Qt::Key_Right);
    QTRY_COMPARE(focused(), excel);
    QVERIFY(qRed(edge(excel)) >= 240 && qAlpha(edge(excel)) >= 240);

    // A click takes the frame away again, also from the icon clicked.
    QTest::mouseClick(word, Qt::LeftButton, Qt::NoModifier, QPoint(30, 30));
    QTRY_COMPARE(focused(), word);
    QVERIFY(qAlpha(edge(word)) < 20);
    QVERIFY(qAlpha(edge(excel)) < 20);

    // A tab: clicked, it looks as it does without the focus; reached with
    // Tab, it is marked.
    ZAppMenuButton *tab = m_desk->categoryTabs().at(1);
    const QImage plain = tab->grab().toImage();
    m_desk->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), m_desk.data());
    QTest::mouseClick(tab, Qt::LeftButton);
    QTRY_COMPARE(focused(), tab);
    QCOMPARE(tab->grab().toImage(), plain);
    m_desk->categoryTabs().at(2)->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(focused(), m_desk->categoryTabs().at(2));
    tab->setFocus(Qt::BacktabFocusReason);
    QTRY_COMPARE(focused(), tab);
    QVERIFY(tab->grab().toImage() != plain);
}

// The store lists its categories in an order of its own: a grid's "添加"
// opens the one that matches by id, else by name, else the first.
void TestDesktopFind::addOpensMatchingStoreCategory_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("storeIndex");
    QTest::newRow("办公 by id") << 0 << 2;
    QTest::newRow("设计 by name") << 1 << 1;
    QTest::newRow("开发 matches nothing") << 2 << 0;
}

void TestDesktopFind::addOpensMatchingStoreCategory()
{
    QFETCH(int, tab);
    QFETCH(int, storeIndex);
    m_links.appCategoryLinks = {
        {QStringLiteral("热门"), "?cate_id=s1&uid=u7"},
        {QStringLiteral("设计"), "?cate_id=s2&uid=u7"},
        {QStringLiteral("办公软件"), "?cate_id=c1&uid=u7"},
    };
    QSignalSpy requested(m_desk.data(), &QLumiqDesk::appCentreRequested);
    QTest::mouseClick(m_desk->categoryTabs().at(tab), Qt::LeftButton);
    DragButton *add = m_desk->popupGrid()->addButtonWidget();
    QVERIFY(add);
    QTest::mouseDClick(add, Qt::LeftButton);
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested.first().first().toInt(), storeIndex);
    m_links.appCategoryLinks.clear();
}

QTEST_MAIN(TestDesktopFind)
#include "tst_desktopfind.moc"
