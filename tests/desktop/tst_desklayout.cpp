#include "desktop/core/DeskLayout.h"
#include "desktop/core/StoreCategory.h"

#include <QtTest>

using namespace DeskLayout;

class TestDeskLayout : public QObject
{
    Q_OBJECT

private slots:
    void screenMetrics();
    void shownApps_data();
    void shownApps();
    void gridRows_data();
    void gridRows();
    void iconCaption_data();
    void iconCaption();
    void verticalTabText();
    void tabGeometry_data();
    void tabGeometry();
    void gridGeometry_data();
    void gridGeometry();
    void gridCells_data();
    void gridCells();
    void dragPreview_data();
    void dragPreview();
    void dropTarget_data();
    void dropTarget();
    void degenerateGridsDoNotDivideByZero();
    void plainGridRows_data();
    void plainGridRows();
    void gridMove_data();
    void gridMove();
    void searchGeometry();
    void tabColumn_data();
    void tabColumn();
    void storeCategory_data();
    void storeCategory();
};

void TestDeskLayout::screenMetrics()
{
    ScreenMetrics m;
    m.update(QSize(1920, 1040));
    QCOMPARE(m.deltaX, 0);
    QCOMPARE(m.scaleX, 1.0f);
    m.update(QSize(1600, 1040));
    QCOMPARE(m.deltaX, -320);
    QCOMPARE(m.scaleX, 1600.0f / 1920.0f);
    QCOMPARE(m.screenWidth, 1600);
    // Relative to the last layout, not to the design size.
    m.update(QSize(1920, 1040));
    QCOMPARE(m.deltaX, 320);
    QCOMPARE(m.scaleX, 1920.0f / 1600.0f);
    m.update(QSize(1920, 520));
    QCOMPARE(m.scaleY, 0.5f);
    QCOMPARE(m.deltaX, 0);
}

void TestDeskLayout::shownApps_data()
{
    QTest::addColumn<QString>("isinstall");
    QTest::addColumn<QString>("isremove");
    QTest::addColumn<bool>("shown");
    QTest::newRow("installed, on desktop") << "1" << "1" << true;
    QTest::newRow("not installed") << "0" << "1" << false;
    QTest::newRow("taken off") << "1" << "0" << false;
    QTest::newRow("both zero") << "0" << "0" << false;
    QTest::newRow("empty flags") << "" << "" << true;
    QTest::newRow("other text") << "2" << "00" << true;
}

void TestDeskLayout::shownApps()
{
    QFETCH(QString, isinstall);
    QFETCH(QString, isremove);
    QFETCH(bool, shown);
    auto app = DesktopAppInfoPtr::create();
    app->isinstall = isinstall;
    app->isremove = isremove;
    QCOMPARE(isShownOnDesktop(*app), shown);
    QCOMPARE(DeskLayout::shownApps({app, DesktopAppInfoPtr()}).size(), shown ? 1 : 0);
}

void TestDeskLayout::gridRows_data()
{
    QTest::addColumn<int>("icons");
    QTest::addColumn<int>("rows");
    QTest::newRow("0: the add button alone") << 0 << 1;
    QTest::newRow("2") << 2 << 1;
    QTest::newRow("3: add button on a new row") << 3 << 2;
    QTest::newRow("5: add button is the sixth cell") << 5 << 2;
    QTest::newRow("6: no add button") << 6 << 2;
    QTest::newRow("7") << 7 << 3;
    QTest::newRow("9") << 9 << 3;
    QTest::newRow("10") << 10 << 4;
}

void TestDeskLayout::gridRows()
{
    QFETCH(int, icons);
    QFETCH(int, rows);
    QCOMPARE(DeskLayout::gridRows(icons), rows);
}

void TestDeskLayout::iconCaption_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("4 characters whole") << QString("在线文档") << QString("在线文档");
    QTest::newRow("5 characters cut") << QString("在线文档啊") << QString("在线文档...");
    QTest::newRow("latin") << QString("Excel") << QString("Exce...");
    QTest::newRow("short") << QString("PPT") << QString("PPT");
    QTest::newRow("empty") << QString() << QString();
    // A character outside the basic plane counts once and is never split.
    QTest::newRow("surrogates") << QString::fromUtf8("\xF0\x9F\x93\x81" "文件柜子") << QString::fromUtf8("\xF0\x9F\x93\x81" "文件柜...");
}

void TestDeskLayout::iconCaption()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QCOMPARE(DeskLayout::iconCaption(name), caption);
}

void TestDeskLayout::verticalTabText()
{
    QCOMPARE(DeskLayout::verticalTabText(QStringLiteral("办公")), QStringLiteral("\n办\n公\n"));
    QCOMPARE(DeskLayout::verticalTabText(QString()), QStringLiteral("\n"));
}

void TestDeskLayout::tabGeometry_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<float>("sx");
    QTest::addColumn<float>("sy");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("first at scale 1") << 0 << 1.0f << 1.0f << QRect(1890, 40, 30, 90);
    QTest::newRow("second") << 1 << 1.0f << 1.0f << QRect(1890, 140, 30, 90);
    QTest::newRow("fourth") << 3 << 1.0f << 1.0f << QRect(1890, 340, 30, 90);
    // 1600 / 1920: everything truncated after the float arithmetic.
    QTest::newRow("narrower screen") << 1 << 1600.0f / 1920.0f << 1.0f << QRect(1575, 140, 25, 90);
    QTest::newRow("lower screen") << 2 << 1.0f << 0.5f << QRect(1890, 130, 30, 45);
}

void TestDeskLayout::tabGeometry()
{
    QFETCH(int, index);
    QFETCH(float, sx);
    QFETCH(float, sy);
    QFETCH(QRect, rect);
    QCOMPARE(categoryTabGeometry(index, sx, sy), rect);
}

void TestDeskLayout::gridGeometry_data()
{
    QTest::addColumn<QRect>("tab");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QRect>("grid");
    QTest::newRow("one row") << QRect(1890, 40, 30, 90) << 1 << QRect(1650, 40, 220, 90);
    QTest::newRow("three rows beside tab 2") << QRect(1890, 140, 30, 90) << 3 << QRect(1650, 140, 220, 270);
    QTest::newRow("after moving 320 left") << QRect(1570, 40, 30, 90) << 2 << QRect(1330, 40, 220, 180);
}

void TestDeskLayout::gridGeometry()
{
    QFETCH(QRect, tab);
    QFETCH(int, rows);
    QFETCH(QRect, grid);
    QCOMPARE(DeskLayout::gridGeometry(tab, rows), grid);
}

void TestDeskLayout::gridCells_data()
{
    QTest::addColumn<QSize>("grid");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("index");
    QTest::addColumn<QRect>("cell");
    QTest::newRow("first") << QSize(220, 180) << 2 << 0 << QRect(0, 0, 73, 90);
    QTest::newRow("second: multiply first") << QSize(220, 180) << 2 << 1 << QRect(73, 0, 73, 90);
    QTest::newRow("third") << QSize(220, 180) << 2 << 2 << QRect(146, 0, 73, 90);
    QTest::newRow("fourth, next row") << QSize(220, 180) << 2 << 3 << QRect(0, 90, 73, 90);
    QTest::newRow("sixth") << QSize(220, 180) << 2 << 5 << QRect(146, 90, 73, 90);
}

void TestDeskLayout::gridCells()
{
    QFETCH(QSize, grid);
    QFETCH(int, rows);
    QFETCH(int, index);
    QFETCH(QRect, cell);
    QCOMPARE(gridCell(grid, rows, 3, index), cell);
    QCOMPARE(gridBackground(grid), QRect(0, 0, grid.width() - 10, grid.height()));
    QCOMPARE(gridArrow(QSize(220, 180)), QRect(210, 210 / 6 - 10, 10, 20));
}

// A 220 x 270 grid of three rows: cells of 73 x 90; a button is 73 x 90.
void TestDeskLayout::dragPreview_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("dragged");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<QVector<int>>("placed");
    QTest::newRow("over its own cell: nothing placed")
        << 6 << 1 << QPoint(80, 5) << QVector<int>{-1, -1, -1, -1, -1, -1};
    QTest::newRow("right within its row")
        << 6 << 0 << QPoint(150, 0) << QVector<int>{-1, 0, 1, 3, 4, 5};
    QTest::newRow("left within its row")
        << 6 << 2 << QPoint(0, 0) << QVector<int>{1, 2, -1, 3, 4, 5};
    QTest::newRow("one left within the second row")
        << 6 << 5 << QPoint(80, 100) << QVector<int>{0, 1, 2, 3, 5, -1};
    QTest::newRow("down a row: the ones between move up")
        << 7 << 1 << QPoint(80, 100) << QVector<int>{0, -1, 1, 2, 3, 5, 6};
    QTest::newRow("up a row: the ones between move down")
        << 7 << 5 << QPoint(0, 0) << QVector<int>{1, 2, 3, 4, 5, -1, 6};
    QTest::newRow("down beyond the last button")
        << 5 << 0 << QPoint(150, 190) << QVector<int>{-1, 0, 1, 2, 3};
    QTest::newRow("negative position counts as the first cell")
        << 4 << 3 << QPoint(-200, -200) << QVector<int>{1, 2, 3, -1};
}

void TestDeskLayout::dragPreview()
{
    QFETCH(int, count);
    QFETCH(int, dragged);
    QFETCH(QPoint, pos);
    QFETCH(QVector<int>, placed);
    QCOMPARE(DeskLayout::dragPreview(count, dragged, pos, QSize(73, 90), QSize(220, 270), 3, 3), placed);
}

void TestDeskLayout::dropTarget_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<QPoint>("clamped");
    QTest::addColumn<int>("target");
    QTest::newRow("inside, second row") << 6 << QPoint(80, 100) << QPoint(80, 100) << 4;
    QTest::newRow("negative gives column and row 0") << 6 << QPoint(-40, -300) << QPoint(0, 0) << 0;
    QTest::newRow("negative x, second row") << 6 << QPoint(-1, 95) << QPoint(0, 95) << 3;
    // The clamped centre lies on the last pixel column, beyond the three
    // truncated cells: still the last column, not the next row.
    QTest::newRow("beyond the right edge") << 6 << QPoint(400, 0) << QPoint(220 - 36 - 1, 0) << 2;
    QTest::newRow("below the bottom") << 7 << QPoint(0, 900) << QPoint(0, 270 - 45 - 1) << 6;
    QTest::newRow("beyond the last cell: last index") << 5 << QPoint(150, 200) << QPoint(150, 200) << 4;
}

void TestDeskLayout::dropTarget()
{
    QFETCH(int, count);
    QFETCH(QPoint, pos);
    QFETCH(QPoint, clamped);
    QFETCH(int, target);
    QCOMPARE(clampDropPosition(pos, QSize(73, 90), QSize(220, 270)), clamped);
    QCOMPARE(DeskLayout::dropTarget(pos, QSize(73, 90), QSize(220, 270), 3, 3, count), target);
}

void TestDeskLayout::degenerateGridsDoNotDivideByZero()
{
    QCOMPARE(DeskLayout::dropTarget(QPoint(5, 5), QSize(0, 0), QSize(2, 0), 3, 3, 4), 1);
    QCOMPARE(DeskLayout::dragPreview(3, 0, QPoint(5, 5), QSize(0, 0), QSize(0, 0), 0, 0).size(), 3);
    QCOMPARE(gridCell(QSize(0, 0), 0, 0, 2), QRect(0, 0, 0, 0));
    QCOMPARE(DeskLayout::dropTarget(QPoint(5, 5), QSize(10, 10), QSize(100, 100), 1, 3, 0), -1);
    QList<int> list{1, 2, 3, 4};
    moveItem(list, 0, 3);
    QCOMPARE(list, (QList<int>{2, 3, 4, 1}));
    moveItem(list, 3, 1);
    QCOMPARE(list, (QList<int>{2, 1, 3, 4}));
    moveItem(list, 7, 0);
    QCOMPARE(list, (QList<int>{2, 1, 3, 4}));
}

void TestDeskLayout::plainGridRows_data()
{
    QTest::addColumn<int>("icons");
    QTest::addColumn<int>("rows");
    QTest::newRow("none") << 0 << 1;
    QTest::newRow("negative") << -4 << 1;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("full row") << 3 << 1;
    QTest::newRow("one over") << 4 << 2;
    QTest::newRow("six") << 6 << 2;
    QTest::newRow("max results") << kMaxSearchResults << 8;
}

void TestDeskLayout::plainGridRows()
{
    QFETCH(int, icons);
    QFETCH(int, rows);
    QCOMPARE(DeskLayout::plainGridRows(icons), rows);
}

void TestDeskLayout::gridMove_data()
{
    // Seven cells in rows of three:
    //   0 1 2
    //   3 4 5
    //   6
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("move");
    QTest::addColumn<int>("to");
    const int L = int(GridMove::Left), R = int(GridMove::Right), U = int(GridMove::Up),
              D = int(GridMove::Down), H = int(GridMove::Home), E = int(GridMove::End);
    QTest::newRow("right along the row") << 7 << 0 << R << 1;
    QTest::newRow("right stops at the row's end") << 7 << 2 << R << 2;
    QTest::newRow("left along the row") << 7 << 4 << L << 3;
    QTest::newRow("left stops at the row's start") << 7 << 3 << L << 3;
    QTest::newRow("down a row") << 7 << 1 << D << 4;
    QTest::newRow("down to the single last cell") << 7 << 0 << D << 3;
    QTest::newRow("down over a gap lands on the last") << 7 << 5 << D << 6;
    QTest::newRow("down from the last row stays") << 7 << 6 << D << 6;
    QTest::newRow("up a row") << 7 << 6 << U << 3;
    QTest::newRow("up from the first row stays") << 7 << 2 << U << 2;
    QTest::newRow("right on a short last row stays") << 7 << 6 << R << 6;
    QTest::newRow("home") << 7 << 5 << H << 0;
    QTest::newRow("end") << 7 << 1 << E << 6;
    QTest::newRow("nothing focused starts at the first") << 7 << -1 << D << 0;
    QTest::newRow("index past the end starts at the first") << 7 << 9 << L << 0;
    QTest::newRow("empty grid") << 0 << -1 << R << -1;
    QTest::newRow("single column down") << 3 << 0 << D << 0;
}

void TestDeskLayout::gridMove()
{
    QFETCH(int, count);
    QFETCH(int, from);
    QFETCH(int, move);
    QFETCH(int, to);
    const int columns = QByteArray(QTest::currentDataTag()) == "single column down" ? 5 : 3;
    QCOMPARE(DeskLayout::gridMove(from, count, columns, GridMove(move)), to);
}

void TestDeskLayout::searchGeometry()
{
    // Where the top tab's grid would open, results just below the field.
    const QRect field = searchFieldGeometry(1.0f, 1.0f);
    QCOMPARE(field, QRect(1650, 40, 220, 30));
    QCOMPARE(searchGridGeometry(field, 2, 1.0f), QRect(1650, 76, 220, 180));
    QCOMPARE(searchGridGeometry(field, 0, 1.0f).height(), 90);
    // The search never covers the tabs' column.
    QVERIFY(field.right() < categoryTabGeometry(0, 1.0f, 1.0f).left());
    const QRect half = searchFieldGeometry(0.5f, 0.5f);
    QCOMPARE(half, QRect(825, 20, 110, 15));
    QCOMPARE(searchGridGeometry(half, 1, 0.5f), QRect(825, 38, 110, 45));
}

void TestDeskLayout::tabColumn_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<float>("scale");
    QTest::addColumn<bool>("scrolls");
    QTest::addColumn<int>("shownFirst");
    QTest::addColumn<int>("shown");

    // "常用" and nine categories end at 1030: they keep their places.
    QTest::newRow("ten fit") << 10 << 0 << 1040 << 1.0f << false << 0 << 10;
    // One more runs past the screen.
    QTest::newRow("eleven scroll") << 11 << 0 << 1040 << 1.0f << true << 0 << 9;
    QTest::newRow("twelve categories, scrolled down") << 13 << 2 << 1040 << 1.0f << true << 2 << 9;
    QTest::newRow("past the end stops at the last") << 13 << 100 << 1040 << 1.0f << true << 4 << 9;
    QTest::newRow("before the start stops at the first") << 13 << -3 << 1040 << 1.0f << true << 0 << 9;
    QTest::newRow("a short screen still shows one") << 13 << 5 << 150 << 1.0f << true << 5 << 1;
    QTest::newRow("scaled") << 13 << 0 << 520 << 0.5f << true << 0 << 8;
    QTest::newRow("none") << 0 << 0 << 1040 << 1.0f << false << 0 << 0;
}

void TestDeskLayout::tabColumn()
{
    QFETCH(int, count);
    QFETCH(int, first);
    QFETCH(int, bottom);
    QFETCH(float, scale);
    QFETCH(bool, scrolls);
    QFETCH(int, shownFirst);
    QFETCH(int, shown);

    const TabColumnView view = tabColumnView(count, first, bottom, scale, scale);
    QCOMPARE(view.scrolls, scrolls);
    QCOMPARE(view.first, shownFirst);
    QCOMPARE(view.shown, shown);
    QCOMPARE(view.tabs.size(), count);
    QCOMPARE(view.canScrollUp(), scrolls && shownFirst > 0);
    QCOMPARE(view.canScrollDown(), scrolls && shownFirst + shown < count);
    if (!scrolls) {
        for (int i = 0; i < count; ++i)
            QCOMPARE(view.tabs.at(i), categoryTabGeometry(i, scale, scale));
        QVERIFY(view.up.isNull() && view.down.isNull());
        return;
    }
    // Whole tabs in a run between the arrows, none overlapping, all of it
    // above the bottom (unless a single tab is taller than the room).
    QRect above = view.up;
    for (int i = 0; i < count; ++i) {
        const QRect tab = view.tabs.at(i);
        QCOMPARE(!tab.isNull(), i >= shownFirst && i < shownFirst + shown);
        if (tab.isNull())
            continue;
        QCOMPARE(tab.size(), categoryTabGeometry(i, scale, scale).size());
        QCOMPARE(tab.x(), view.up.x());
        QVERIFY2(tab.top() > above.bottom(), qPrintable(QString::number(i)));
        above = tab;
    }
    QVERIFY(view.down.top() > above.bottom());
    if (shown > 1)
        QVERIFY(view.down.bottom() < bottom);
    QCOMPARE(view.up.top(), categoryTabGeometry(0, scale, scale).top());
}

void TestDeskLayout::storeCategory_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    // The store's own order, its pages named by address in several forms.
    QTest::newRow("by id") << "c1" << QStringLiteral("办公") << 2;
    QTest::newRow("id in a whole address") << "c7" << QStringLiteral("其他") << 4;
    QTest::newRow("id before the name") << "c4" << QStringLiteral("生活") << 1;
    QTest::newRow("by name when no id matches") << "c2" << QStringLiteral("设计") << 3;
    QTest::newRow("neither: the first") << "c3" << QStringLiteral("开发") << 0;
    QTest::newRow("an id is a whole value, not a part") << "c" << QString() << 0;
}

void TestDeskLayout::storeCategory()
{
    QFETCH(QString, id);
    QFETCH(QString, name);
    QFETCH(int, index);
    const QList<QPair<QString, QString>> store{
        {QStringLiteral("生活"), "?cate_id=q9&uid=u1"},
        {QStringLiteral("生活服务"), "?uid=u1&cate_id=c4"},
        {QStringLiteral("办公软件"), "?cate_id=c1"},
        {QStringLiteral("设计"), "?cate_id=d2"},
        {QStringLiteral("其他"), "http://store.example/list?cate_id=c7#top"},
    };
    QCOMPARE(StoreCategory::indexFor(store, id, name), index);
    QCOMPARE(StoreCategory::indexFor({}, id, name), -1);
}

QTEST_APPLESS_MAIN(TestDeskLayout)
#include "tst_desklayout.moc"
