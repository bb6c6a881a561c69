#include "desktop/widgets/DragButton.h"
#include "desktop/widgets/DragWidget.h"
#include "desktop/widgets/MyToolButton.h"
#include "desktop/widgets/ZAppMenuButton.h"
#include "desktop/widgets/ZDot.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

// The icon grid and the small widgets with real widgets and real events.
class TestDeskWidgets : public QObject
{
    Q_OBJECT

private slots:
    void gridLaysOutCellsAndAddButton_data();
    void gridLaysOutCellsAndAddButton();
    void dragPreviewAndDrop();
    void dropBeyondLastCellKeepsAddButtonLast();
    void releaseOutsideGivesNoClick();
    void addButtonSnapsBackAndOpens();
    void holdReturnsToBaseScale();
    void hoverZoomsInAndOut();
    void buttonWithoutPictureIsInvisible();
    void menuButtonSignals();
    void badges();

private:
    static QPixmap picture();
    static void press(QWidget *w, const QPoint &pos);
    static void move(QWidget *w, const QPoint &pos);
    static void release(QWidget *w, const QPoint &pos);
    static QImage render(QWidget *w);
};

QPixmap TestDeskWidgets::picture()
{
    QPixmap pixmap(64, 64);
    pixmap.fill(QColor(40, 120, 220));
    return pixmap;
}

void TestDeskWidgets::press(QWidget *w, const QPoint &pos)
{
    QMouseEvent e(QEvent::MouseButtonPress, pos, w->mapToGlobal(pos), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void TestDeskWidgets::move(QWidget *w, const QPoint &pos)
{
    QMouseEvent e(QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void TestDeskWidgets::release(QWidget *w, const QPoint &pos)
{
    QMouseEvent e(QEvent::MouseButtonRelease, pos, w->mapToGlobal(pos), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

QImage TestDeskWidgets::render(QWidget *w)
{
    QImage image(w->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    w->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

void TestDeskWidgets::gridLaysOutCellsAndAddButton_data()
{
    QTest::addColumn<int>("icons");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("addButton");
    QTest::newRow("0: the add button alone") << 0 << 1 << true;
    QTest::newRow("5: add button sixth") << 5 << 2 << true;
    QTest::newRow("6: none") << 6 << 2 << false;
    QTest::newRow("7") << 7 << 3 << false;
}

void TestDeskWidgets::gridLaysOutCellsAndAddButton()
{
    QFETCH(int, icons);
    QFETCH(int, rows);
    QFETCH(bool, addButton);
    DragWidget grid(nullptr, rows, 3);
    grid.setGeometry(100, 100, 220, 90 * rows);
    for (int i = 0; i < icons; ++i) {
        auto *b = new DragButton;
        b->setPicture(picture());
        grid.addButton(b);
    }
    grid.finishGrid();
    QCOMPARE(bool(grid.addButtonWidget()), addButton);
    const QList<DragButton *> buttons = grid.buttons();
    QCOMPARE(buttons.size(), icons + (addButton ? 1 : 0));
    for (int i = 0; i < buttons.size(); ++i)
        QCOMPARE(buttons.at(i)->geometry(), QRect(220 * (i % 3) / 3, 90 * rows * (i / 3) / rows, 73, 90));
    if (addButton)
        QCOMPARE(buttons.last()->caption(), QStringLiteral("添加"));
    QCOMPARE(grid.findChild<QWidget *>("gridBackground")->geometry(), QRect(0, 0, 210, 90 * rows));
    QVERIFY(!grid.findChild<QWidget *>("gridArrow")->isVisibleTo(&grid));
    QVERIFY(grid.windowFlags() & Qt::Tool);
}

void TestDeskWidgets::dragPreviewAndDrop()
{
    DragWidget grid(nullptr, 3, 3);
    grid.resize(220, 270);
    QList<DragButton *> b;
    for (int i = 0; i < 7; ++i) {
        b << new DragButton;
        b.last()->setPicture(picture());
        grid.addButton(b.last());
    }
    grid.finishGrid();
    grid.show();
    QSignalSpy drags(b[1], &DragButton::drag_signal);

    // Button 1 (row 0) dragged down over cell 4: 2, 3, 4 make room.
    press(b[1], QPoint(10, 10));
    QVERIFY(b[1]->isDragging());
    move(b[1], QPoint(10, 110));
    QCOMPARE(drags.count(), 1);
    QCOMPARE(b[1]->pos(), QPoint(73, 100));
    QCOMPARE(b[2]->pos(), QPoint(73, 0));
    QCOMPARE(b[3]->pos(), QPoint(146, 0));
    QCOMPARE(b[4]->pos(), QPoint(0, 90));
    QCOMPARE(b[5]->pos(), QPoint(146, 90));
    QCOMPARE(b[0]->pos(), QPoint(0, 0));
    // Back over its own cell (positions are the pointer's inside the
    // moving button): nothing is placed anew.
    move(b[1], QPoint(10, -90));
    QCOMPARE(b[1]->pos(), QPoint(73, 0));
    QCOMPARE(b[2]->pos(), QPoint(73, 0));

    move(b[1], QPoint(10, 110));
    release(b[1], QPoint(10, 10));
    QList<DragButton *> expected{b[0], b[2], b[3], b[4], b[1], b[5], b[6]};
    QCOMPARE(grid.buttons(), expected);
    QCOMPARE(b[1]->geometry(), QRect(73, 90, 73, 90));
    QCOMPARE(b[4]->geometry(), QRect(0, 90, 73, 90));
    QVERIFY(!b[1]->isDragging());

    // Dropped far left and above: the first cell.
    press(b[6], QPoint(5, 5));
    move(b[6], QPoint(-500, -500));
    release(b[6], QPoint(-500, -500));
    QCOMPARE(grid.buttons().first(), b[6]);
    QCOMPARE(b[6]->geometry(), QRect(0, 0, 73, 90));
}

void TestDeskWidgets::dropBeyondLastCellKeepsAddButtonLast()
{
    DragWidget grid(nullptr, 2, 3);
    grid.resize(220, 180);
    QList<DragButton *> b;
    for (int i = 0; i < 4; ++i) {
        b << new DragButton;
        b.last()->setPicture(picture());
        grid.addButton(b.last());
    }
    grid.finishGrid();
    DragButton *add = grid.addButtonWidget();
    QVERIFY(add);
    grid.show();
    press(b[0], QPoint(5, 5));
    move(b[0], QPoint(900, 900));
    release(b[0], QPoint(900, 900));
    const QList<DragButton *> order = grid.buttons();
    QCOMPARE(order.size(), 5);
    QCOMPARE(order.at(3), b[0]);
    QCOMPARE(order.last(), add);
    QCOMPARE(add->geometry(), QRect(73, 90, 73, 90));
    QCOMPARE(b[0]->geometry(), QRect(0, 90, 73, 90));
}

void TestDeskWidgets::releaseOutsideGivesNoClick()
{
    DragButton button;
    button.resize(73, 90);
    QSignalSpy clicks(&button, &DragButton::clicked);
    QSignalSpy releases(&button, &DragButton::release_signal);
    press(&button, QPoint(5, 5));
    release(&button, QPoint(300, 5));
    QCOMPARE(clicks.count(), 0);
    QCOMPARE(releases.count(), 1);
    press(&button, QPoint(5, 5));
    release(&button, QPoint(6, 6));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(releases.count(), 2);

    QSignalSpy doubles(&button, &DragButton::doubleClicked);
    QMouseEvent inside(QEvent::MouseButtonDblClick, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&button, &inside);
    QMouseEvent outside(QEvent::MouseButtonDblClick, QPoint(500, 5), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&button, &outside);
    QCOMPARE(doubles.count(), 1);

    // A null record leaves the attached one.
    auto app = DesktopAppInfoPtr::create();
    button.setAppInfo(app);
    button.setAppInfo(DesktopAppInfoPtr());
    QCOMPARE(button.appInfo(), app);
}

void TestDeskWidgets::addButtonSnapsBackAndOpens()
{
    DragWidget grid(nullptr, 1, 3);
    grid.resize(220, 90);
    auto *icon = new DragButton;
    icon->setPicture(picture());
    grid.addButton(icon);
    grid.finishGrid();
    grid.show();
    DragButton *add = grid.addButtonWidget();
    QCOMPARE(add->geometry(), QRect(73, 0, 73, 90));
    press(add, QPoint(5, 5));
    move(add, QPoint(60, 40));
    QCOMPARE(add->geometry(), QRect(73, 0, 73, 90));
    release(add, QPoint(60, 40));
    QCOMPARE(grid.buttons().last(), add);

    QSignalSpy accepts(&grid, &DragWidget::openAccept);
    emit add->doubleClicked();
    QCOMPARE(accepts.count(), 1);
    QCOMPARE(accepts.first().first().toString(), QString());
}

void TestDeskWidgets::holdReturnsToBaseScale()
{
    DragButton button;
    button.resize(73, 90);
    button.show();
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&button, &enter);
    QTRY_COMPARE(button.scale(), 1.0);
    press(&button, QPoint(5, 5));
    QVERIFY(button.isPressed());
    QTRY_VERIFY_WITH_TIMEOUT(!button.isPressed(), 3000);
    QVERIFY(button.isDragging());
    QCOMPARE(button.scale(), DragButton::kBaseScale);
    release(&button, QPoint(5, 5));
    QVERIFY(!button.isDragging());
}

void TestDeskWidgets::hoverZoomsInAndOut()
{
    DragButton button;
    button.resize(73, 90);
    button.setPicture(picture());
    // Alone in its window it would take the keyboard, and its focus frame
    // spans the whole width.
    button.setFocusPolicy(Qt::NoFocus);
    button.show();
    QCOMPARE(button.scale(), 0.7);
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&button, &enter);
    QTRY_COMPARE(button.scale(), 1.0);
    // Painting the zoomed icon: its picture is wider than at rest.
    const QImage zoomed = render(&button);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    QTRY_COMPARE(button.scale(), 0.7);
    const QImage rest = render(&button);
    auto paintedWidth = [](const QImage &image) {
        int left = image.width(), right = -1;
        const int y = image.height() / 2 - int(image.height() * 0.15);
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) {
                left = qMin(left, x);
                right = qMax(right, x);
            }
        }
        return right - left + 1;
    };
    QVERIFY2(paintedWidth(zoomed) > paintedWidth(rest),
             qPrintable(QString("%1 vs %2").arg(paintedWidth(zoomed)).arg(paintedWidth(rest))));
}

void TestDeskWidgets::buttonWithoutPictureIsInvisible()
{
    DragButton button;
    button.resize(73, 90);
    button.setCaption(QStringLiteral("记账本"));
    button.setPicturePath(QStringLiteral("/nonexistent/icon.png"));
    QVERIFY(button.picture().isNull());
    const QImage image = render(&button);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(qAlpha(image.pixel(x, y)), 0);
    // It still takes a cell and can be dragged.
    DragWidget grid(nullptr, 1, 3);
    grid.resize(220, 90);
    auto *invisible = new DragButton;
    grid.addButton(invisible);
    QCOMPARE(invisible->geometry(), QRect(0, 0, 73, 90));
    press(invisible, QPoint(5, 5));
    QVERIFY(invisible->isDragging());
    release(invisible, QPoint(5, 5));
}

void TestDeskWidgets::menuButtonSignals()
{
    ZAppMenuButton button(0, QStringLiteral("办公"), nullptr, false);
    QCOMPARE(button.text(), QStringLiteral("办公"));
    QCOMPARE(button.badge()->size(), QSize(0, 0));
    button.resize(30, 90);
    button.show();
    QSignalSpy spy(&button, &ZAppMenuButton::ELCSignal);
    QSignalSpy clicked(&button, &QPushButton::clicked);
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&button, &enter);
    QTest::mouseClick(&button, Qt::LeftButton);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    QCOMPARE(spy.count(), 3);
    QCOMPARE(spy.at(0).first().toInt(), 0);
    QCOMPARE(spy.at(1).first().toInt(), 1);
    QCOMPARE(spy.at(2).first().toInt(), 2);
    // The press still reaches the button.
    QCOMPARE(clicked.count(), 1);

    ZAppMenuButton numbered(8, QString(), nullptr, true);
    QCOMPARE(numbered.badge()->geometry(), QRect(75, 16, 16, 16));
    QCOMPARE(numbered.badge()->count(), 10);
    QVERIFY(numbered.badge()->showsNumber());
}

void TestDeskWidgets::badges()
{
    ZDot dot(8, true);
    QCOMPARE(dot.size(), QSize(16, 16));
    QImage image = render(&dot);
    QCOMPARE(qAlpha(image.pixel(8, 8)), 0);
    dot.setCount(3);
    image = render(&dot);
    QVERIFY(qRed(image.pixel(8, 3)) > 240 && qGreen(image.pixel(8, 3)) < 10);
    QCOMPARE(ZDot::countText(100), QString("99+"));
    QCOMPARE(ZDot::countText(99), QString("99"));

    MyToolButton renew;
    QCOMPARE(renew.size(), QSize(28, 28));
    image = render(&renew);
    auto isBadgeRed = [](QRgb p) { return qRed(p) > 240 && qGreen(p) < 10 && qBlue(p) < 10; };
    QVERIFY(!isBadgeRed(image.pixel(26, 7)));
    renew.setCount(5);
    image = render(&renew);
    QVERIFY(isBadgeRed(image.pixel(26, 7)));
}

QTEST_MAIN(TestDeskWidgets)
#include "tst_deskwidgets.moc"
