#include "core/Settings.h"
#include "desktop/browser/BrowserOpen.h"
#include "desktop/window/DeskBackdrop.h"
#include "desktop/window/QLumiqDesk.h"
#include "platform/DesktopLayer.h"
#include "tests/desktop/DeskFixture.h"
#include "tests/login/BoxAnswerer.h"

#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QX11Info>
#include <QtTest>

#include <xcb/xcb.h>

// The desktop among other programs' windows on a real X screen with a real
// window manager, which scripts/with-wm starts (openbox, metacity; with or
// without a compositing manager): what the window manager stacks, read
// from _NET_CLIENT_LIST_STACKING, and what the screen shows.
class TestDeskLayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstGridLiesAboveDesktop();
    void launchedProgramStaysAboveDesktop();
    void browserAndPopupLieAboveDesktop();
    void emptyDesktopShowsWallpaper_data();
    void emptyDesktopShowsWallpaper();
    void followsCompositorAndRootPicture();

private:
    void startDesk();
    // Bottom-first position of a window in the window manager's stacking;
    // -1 while it is not managed.
    static int level(quintptr window);
    static QList<quintptr> ours();
    // A real pointer click on the screen, as the window manager sees it.
    static void clickScreen(const QPoint &at);
    static void pressKey(const char *key);
    QPoint emptySpot(const QList<QRect> &avoid) const;

    QScopedPointer<RefServiceProcess> m_service;
    QScopedPointer<DeskFixture> m_fixture;
    QScopedPointer<QLumiqDesk> m_desk;
    QList<QProcess *> m_programs;
    QString m_chosen;
};

void TestDeskLayer::initTestCase()
{
    if (!QX11Info::isPlatformX11())
        QSKIP("needs an X screen");
    if (DesktopLayer::windowManagerName().isEmpty())
        QSKIP("no window manager runs; scripts/test runs this under scripts/with-wm");
    qInfo() << "window manager" << DesktopLayer::windowManagerName() << "compositor"
            << qEnvironmentVariable("ORVANE_TEST_COMPOSITOR");
    QLumiqDesk::setScreenAreaOverride(QSize(1920, 1040));
}

void TestDeskLayer::init()
{
    m_service.reset(new RefServiceProcess);
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    m_fixture.reset(new DeskFixture(*m_service));
    QVERIFY(m_fixture->signedIn());
    m_chosen.clear();
}

void TestDeskLayer::startDesk()
{
    m_desk.reset(new QLumiqDesk(m_fixture->session.userInfo, m_fixture->session.serviceLinks,
                                m_fixture->session.catalogue));
    m_desk->move(0, 0);
    m_desk->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_desk.data()));
    QTRY_VERIFY(level(m_desk->winId()) >= 0);
}

void TestDeskLayer::cleanup()
{
    for (QProcess *program : qAsConst(m_programs)) {
        program->kill();
        program->waitForFinished(3000);
        delete program;
    }
    m_programs.clear();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w != m_desk.data() && w->isVisible() && w->parent() == nullptr)
            w->close();
    }
    m_desk.reset();
    m_fixture.reset();
}

int TestDeskLayer::level(quintptr window)
{
    return DesktopLayer::clientStacking().indexOf(window);
}

QList<quintptr> TestDeskLayer::ours()
{
    QList<quintptr> ids;
    for (QWindow *w : QGuiApplication::allWindows()) {
        if (w->handle())
            ids << w->winId();
    }
    return ids;
}

void TestDeskLayer::clickScreen(const QPoint &at)
{
    QCOMPARE(QProcess::execute("xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y()),
                                           "click", "1"}),
             0);
}

void TestDeskLayer::pressKey(const char *key)
{
    QCOMPARE(QProcess::execute("xdotool", {"key", QString::fromLatin1(key)}), 0);
}

QPoint TestDeskLayer::emptySpot(const QList<QRect> &avoid) const
{
    // Left of the grids, below the top bar: nothing of the desktop's there.
    for (const QPoint p : {QPoint(900, 900), QPoint(300, 950), QPoint(1300, 600), QPoint(200, 200)}) {
        bool free = true;
        for (const QRect &r : avoid)
            free = free && !r.adjusted(-10, -10, 10, 10).contains(p);
        if (free)
            return p;
    }
    return QPoint(100, 1000);
}

void TestDeskLayer::firstGridLiesAboveDesktop()
{
    startDesk();
    DragWidget *grid = m_desk->popupGrid();
    QVERIFY(grid);
    QTRY_VERIFY(level(grid->winId()) >= 0);
    QVERIFY2(level(grid->winId()) > level(m_desk->winId()), "the first grid lies beneath the desktop");
    // And so does every later one.
    QTest::mouseClick(m_desk->categoryTabs().at(1), Qt::LeftButton);
    QTRY_VERIFY(m_desk->popupGrid() && level(m_desk->popupGrid()->winId()) >= 0);
    QVERIFY(level(m_desk->popupGrid()->winId()) > level(m_desk->winId()));
}

void TestDeskLayer::launchedProgramStaysAboveDesktop()
{
    startDesk();
    // Word starts an X program of this machine in place of the office one.
    const DesktopAppInfoPtr word = m_fixture->session.catalogue.apps("c1").first();
    QCOMPARE(word->id, QString("a101"));
    QVERIFY(m_fixture->session.catalogue.updateApp(
        word, [](desktopAppInfo &a) { a.execpath = QStringLiteral("/usr/bin/xclock"); }));
    QTRY_VERIFY(m_desk->popupGrid() && !m_desk->popupGrid()->buttons().isEmpty());
    DragButton *icon = m_desk->popupGrid()->buttons().first();
    QCOMPARE(icon->appInfo()->id, QString("a101"));

    const QList<quintptr> before = DesktopLayer::clientStacking();
    QTest::mouseDClick(icon, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    quintptr program = 0;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&]() {
            for (quintptr id : DesktopLayer::clientStacking()) {
                if (!before.contains(id) && !ours().contains(id))
                    program = id;
            }
            return program != 0;
        }(),
        15000);
    QVERIFY2(level(program) > level(m_desk->winId()), "the launched program lies beneath the desktop");

    // A click on the empty desktop, then typing there, leave it above.
    QProcess geometry;
    geometry.start("xdotool", {"getwindowgeometry", "--shell", QString::number(program)});
    QVERIFY(geometry.waitForFinished(5000));
    QMap<QString, int> g;
    for (const QByteArray &line : geometry.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> kv = line.split('=');
        if (kv.size() == 2)
            g[QString::fromLatin1(kv.at(0))] = kv.at(1).toInt();
    }
    const QRect programRect(g.value("X"), g.value("Y"), g.value("WIDTH"), g.value("HEIGHT"));
    int pressed = 0;
    struct Presses : QObject
    {
        QWidget *desk;
        int *count;
        bool eventFilter(QObject *o, QEvent *e) override
        {
            auto *w = qobject_cast<QWidget *>(o);
            if (e->type() == QEvent::MouseButtonPress && w && w->window() == desk)
                ++*count;
            return false;
        }
    } presses;
    presses.desk = m_desk.data();
    presses.count = &pressed;
    qApp->installEventFilter(&presses);
    clickScreen(emptySpot({programRect, m_desk->popupGrid()->geometry()}));
    QTRY_VERIFY2(pressed > 0, "the click did not reach the desktop");
    qApp->removeEventFilter(&presses);
    pressKey("x");
    QTRY_VERIFY(m_desk->isSearchOpen());
    QTest::qWait(300);
    QVERIFY2(level(program) > level(m_desk->winId()), "a click on the desktop covered the program");
    QVERIFY2(m_desk->popupGrid() && level(program) > level(m_desk->popupGrid()->winId()),
             "a click on the desktop lifted its grid over the program");
    QProcess::execute("xdotool", {"windowkill", QString::number(program)});
}

void TestDeskLayer::browserAndPopupLieAboveDesktop()
{
    startDesk();
    QPointer<QWidget> browser = openBrowserWindow(QStringLiteral("about:blank"), QStringLiteral("test"));
    if (!browser)
        QSKIP("a build without the web engine has no browser window");
    m_desk->NSVPush(pushedNotice());
    QWidget *popup = nullptr;
    QTRY_VERIFY((popup = shownPopup()) != nullptr);
    QTRY_VERIFY(level(browser->winId()) >= 0 && level(popup->winId()) >= 0);
    QVERIFY2(level(browser->winId()) > level(m_desk->winId()), "the browser lies beneath the desktop");
    QVERIFY2(level(popup->winId()) > level(m_desk->winId()), "the pop-up lies beneath the desktop");

    clickScreen(emptySpot({browser->frameGeometry(), popup->frameGeometry(), m_desk->popupGrid()->geometry()}));
    QTest::qWait(500);
    QVERIFY2(level(browser->winId()) > level(m_desk->winId()), "a click on the desktop covered the browser");
    QVERIFY2(level(popup->winId()) > level(m_desk->winId()), "a click on the desktop covered the pop-up");
}

void TestDeskLayer::emptyDesktopShowsWallpaper_data()
{
    QTest::addColumn<bool>("chooseOne");
    QTest::addColumn<bool>("whileShown");
    QTest::newRow("the wallpaper dialog's choice") << true << false;
    QTest::newRow("chosen while the desktop is shown") << true << true;
    QTest::newRow("nothing chosen: one of our own") << false << false;
}

void TestDeskLayer::emptyDesktopShowsWallpaper()
{
    QFETCH(bool, chooseOne);
    QFETCH(bool, whileShown);
    const QColor orange(230, 120, 20);
    // The client folder's own wallpapers.
    const QString own = qEnvironmentVariable("ORVANE_BIN_DIR") + "/BkImage";
    QVERIFY(QDir().mkpath(m_fixture->appDir() + "/BkImage"));
    for (const QString &file : QDir(own).entryList(QDir::Files))
        QVERIFY(QFile::copy(own + '/' + file, m_fixture->appDir() + "/BkImage/" + file));
    if (chooseOne) {
        // What the wallpaper dialog leaves behind.
        m_chosen = m_fixture->appDir() + "/chosen.png";
        QImage picture(64, 36, QImage::Format_RGB32);
        picture.fill(orange);
        QVERIFY(picture.save(m_chosen));
        if (!whileShown)
            QVERIFY(Settings::setDesktopWallpaper(m_chosen));
    }
    startDesk();
    QVERIFY(m_desk->backdrop()->opaque());
    QTest::qWait(500); // the fade-in
    if (whileShown) {
        // What the wallpaper dialog's choice leads to; this machine's desktop
        // may refuse it and say so in a box.
        BoxAnswerer boxes;
        m_desk->onModifyWindowBk(m_chosen);
        QCOMPARE(Settings::desktopWallpaper(), m_chosen);
        QTest::qWait(300);
    }
    const QRect empty(300, 400, 600, 300);
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, empty.x(), empty.y(), empty.width(),
                                                                     empty.height()).toImage();
    int dark = 0;
    int nearOrange = 0;
    for (int y = 0; y < shot.height(); y += 7) {
        for (int x = 0; x < shot.width(); x += 7) {
            const QColor c = shot.pixelColor(x, y);
            dark += c.lightness() < 24;
            nearOrange += qAbs(c.red() - orange.red()) < 40 && qAbs(c.green() - orange.green()) < 40
                && qAbs(c.blue() - orange.blue()) < 40;
        }
    }
    const int samples = ((shot.width() + 6) / 7) * ((shot.height() + 6) / 7);
    QVERIFY2(dark < samples / 10, qPrintable(QString("%1 of %2 samples black").arg(dark).arg(samples)));
    if (chooseOne)
        QVERIFY2(nearOrange > samples * 9 / 10, "the chosen picture is not what the desktop shows");
    else
        QVERIFY2(nearOrange < samples / 10, "the client's own wallpaper is not what the desktop shows");
}

void TestDeskLayer::followsCompositorAndRootPicture()
{
    if (qEnvironmentVariable("ORVANE_TEST_WM") != QLatin1String("openbox")
        || qEnvironmentVariable("ORVANE_TEST_COMPOSITOR") == QLatin1String("1"))
        QSKIP("starts a compositor of its own under openbox");
    startDesk();
    QVERIFY(m_desk->backdrop()->opaque());

    // What a desktop does with its picture: a pixmap named on the root.
    xcb_connection_t *c = QX11Info::connection();
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, 24, pixmap, QX11Info::appRootWindow(), 16, 16);
    const char name[] = "_XROOTPMAP_ID";
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    QVERIFY(atom);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, QX11Info::appRootWindow(), atom->atom, XCB_ATOM_PIXMAP, 32, 1,
                        &pixmap);
    xcb_flush(c);
    QTest::qWait(300);
    QVERIFY2(m_desk->backdrop()->opaque(), "a picture without a compositor shows nothing through");

    QProcess picom;
    picom.start("picom", {"--backend", "xrender"});
    QVERIFY(picom.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(!m_desk->backdrop()->opaque(), 10000);
    picom.terminate();
    QVERIFY(picom.waitForFinished(5000));
    QTRY_VERIFY_WITH_TIMEOUT(m_desk->backdrop()->opaque(), 10000);

    // The picture taken away again: opaque with a compositor too.
    picom.start("picom", {"--backend", "xrender"});
    QVERIFY(picom.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(!m_desk->backdrop()->opaque(), 10000);
    xcb_delete_property(c, QX11Info::appRootWindow(), atom->atom);
    xcb_free_pixmap(c, pixmap);
    xcb_flush(c);
    free(atom);
    QTRY_VERIFY(m_desk->backdrop()->opaque());
    picom.terminate();
    picom.waitForFinished(5000);
}

QTEST_MAIN(TestDeskLayer)
#include "tst_desklayer.moc"
