#include "desktop/window/QLumiqDesk.h"
#include "tests/desktop/DeskFixture.h"

#include <QProcess>
#include <QScreen>
#include <QX11Info>
#include <QtTest>

// The desktop on a high-density screen: 3840 x 2080 pixels at
// QT_SCALE_FACTOR=2 (a screen of its own, scripts/with-wm). The layout is
// the one of a 1920 x 1040 screen, every window twice as large in pixels.
class TestDeskHighDensity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void layoutKeepsItsProportions();

private:
    // The window's place on the screen in pixels, as the window system has it.
    static QRect pixels(QWidget *window);
};

void TestDeskHighDensity::initTestCase()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!QX11Info::isPlatformX11() || !screen || screen->devicePixelRatio() != 2
        || screen->geometry().size() != QSize(1920, 1040))
        QSKIP("needs a 3840x2080 X screen at QT_SCALE_FACTOR=2 (scripts/with-wm --screen 3840x2080)");
}

QRect TestDeskHighDensity::pixels(QWidget *window)
{
    QProcess geometry;
    geometry.start("xwininfo", {"-id", QString::number(window->winId())});
    if (!geometry.waitForFinished(5000))
        return QRect();
    QMap<QString, int> g;
    for (const QByteArray &line : geometry.readAllStandardOutput().split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0)
            g[QString::fromLatin1(line.left(colon).trimmed())] = line.mid(colon + 1).trimmed().toInt();
    }
    return QRect(g.value("Absolute upper-left X"), g.value("Absolute upper-left Y"), g.value("Width"),
                 g.value("Height"));
}

void TestDeskHighDensity::layoutKeepsItsProportions()
{
    RefServiceProcess service;
    QVERIFY2(service.isRunning(), qPrintable(service.errorText()));
    DeskFixture fixture(service);
    QVERIFY(fixture.signedIn());
    // The screen's own available area, as on a user's machine.
    QLumiqDesk desk(fixture.session.userInfo, fixture.session.serviceLinks, fixture.session.catalogue);
    desk.move(0, 0);
    desk.show();
    QVERIFY(QTest::qWaitForWindowExposed(&desk));
    QCOMPARE(desk.metrics().screenWidth, 1920);
    QCOMPARE(desk.metrics().scaleX, 1.0f);

    QTRY_COMPARE(pixels(&desk), QRect(0, 0, 3840, 2080));
    const QList<ZAppMenuButton *> tabs = desk.categoryTabs();
    QCOMPARE(tabs.size(), 4);
    for (int i = 0; i < tabs.size(); ++i)
        QCOMPARE(tabs.at(i)->geometry(), QRect(1890, 140 + 100 * i, 30, 90));
    DragWidget *grid = desk.popupGrid();
    QVERIFY(grid);
    QCOMPARE(grid->geometry(), QRect(1650, 140, 220, 180));
    QTRY_COMPARE(pixels(grid), QRect(3300, 280, 440, 360));
    // Its icons fill their cells at the same proportions.
    QCOMPARE(grid->buttons().first()->geometry(), QRect(0, 0, 73, 90));

    // A pop-up keeps to the lower right corner.
    desk.NSVPush(pushedNotice());
    QWidget *popup = nullptr;
    QTRY_VERIFY((popup = shownPopup()) != nullptr);
    QTRY_VERIFY(QTest::qWaitForWindowExposed(popup));
    const QRect shown = pixels(popup);
    QCOMPARE(shown.size(), popup->size() * 2);
    QVERIFY2(shown.right() >= 3840 - 80 && shown.bottom() >= 2080 - 240,
             qPrintable(QString("pop-up at %1,%2").arg(shown.x()).arg(shown.y())));
    popup->close();
}

QTEST_MAIN(TestDeskHighDensity)
#include "tst_deskhidpi.moc"
