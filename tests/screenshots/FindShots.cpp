#include "tests/screenshots/FindShots.h"
#include "tests/screenshots/Scene.h"

#include "core/Settings.h"
#include "desktop/find/Favourites.h"
#include "desktop/window/QLumiqDesk.h"
#include "tests/desktop/DeskFixture.h"
#include "tests/support/RefServiceProcess.h"

#include <QLineEdit>
#include <QtTest>

namespace {

// The right-hand part of the desktop, where the tabs, the search and the
// grids are, at full size.
QImage rightSide(const QImage &screen)
{
    const int r = qRound(screen.devicePixelRatio());
    return screen.copy(QRect(screen.width() - 620 * r, 0, 620 * r, 760 * r));
}

} // namespace

void desktopFindShots(const ShotSink &sink)
{
    RefServiceProcess service;
    if (!service.isRunning())
        return sink.fail(QStringLiteral("reference service: %1").arg(service.errorText()));
    DeskFixture fixture(service);
    if (!fixture.signedIn())
        return sink.fail(QStringLiteral("the demo account did not sign in"));

    // Two pinned and two launched before, as a user's "常用" would be.
    {
        Favourites favourites(Favourites::defaultPath(), Settings::uid());
        favourites.load();
        favourites.pin(QStringLiteral("a103"));
        favourites.pin(QStringLiteral("a202"));
        favourites.noteLaunched(QStringLiteral("a101"));
        favourites.noteLaunched(QStringLiteral("a401"));
    }

    Settings::setDesktopWallpaper(Scene::wallpaperPath());
    QLumiqDesk::setScreenAreaOverride(QSize(1920, 1040));
    QLumiqDesk desk(fixture.session.userInfo, fixture.session.serviceLinks, fixture.session.catalogue);
    desk.move(0, 0);
    desk.show();
    if (!QTest::qWaitForWindowExposed(&desk) || !desk.popupGrid())
        return sink.fail(QStringLiteral("the desktop was never shown"));
    QTest::qWait(300);

    auto shot = [&](const QString &name) {
        QList<QWidget *> windows{&desk};
        if (desk.popupGrid())
            windows << desk.popupGrid();
        sink.save(name, rightSide(sink.onDesktop(windows)));
    };

    // Typed on the desktop: part of a name, then pinyin initials.
    const QList<QPair<QString, QString>> searches{
        {QStringLiteral("d"), QStringLiteral("QLumiqDesk-search")},
        {QStringLiteral("wd"), QStringLiteral("QLumiqDesk-search-pinyin")},
    };
    for (const auto &search : searches) {
        desk.openSearch(search.first);
        QTest::qWait(150);
        if (desk.popupKind() != QLumiqDesk::GridKind::Search || desk.popupGrid()->buttons().isEmpty())
            sink.fail(QStringLiteral("the search for \"%1\" found nothing").arg(search.first));
        shot(search.second);
    }
    desk.closeSearch();

    if (!desk.commonTab())
        return sink.fail(QStringLiteral("the desktop has no \"常用\" tab"));
    emit desk.commonTab()->ELCSignal(1);
    QTest::qWait(150);
    if (desk.popupKind() != QLumiqDesk::GridKind::Common || desk.popupGrid()->buttons().size() != 4)
        sink.fail(QStringLiteral("the \"常用\" tab does not show its four applications"));
    shot(QStringLiteral("QLumiqDesk-common"));

    // The keyboard on the second icon of the first category.
    emit desk.firstTab()->ELCSignal(1);
    QTest::qWait(100);
    DragWidget *grid = desk.popupGrid();
    if (!grid || !grid->focusIcon(1)
        || !QTest::qWaitFor([grid]() { return grid->focusedIndex() == 1; }, 3000))
        return sink.fail(QStringLiteral("no icon took the keyboard focus"));
    QTest::qWait(100);
    shot(QStringLiteral("QLumiqDesk-focus"));

    // More categories than the screen holds: the tab column scrolls.
    DesktopAppCatalogue many = fixture.session.catalogue.catalogue();
    const QStringList extra{QStringLiteral("财务"), QStringLiteral("人事"), QStringLiteral("销售"),
                            QStringLiteral("客服"), QStringLiteral("学习"), QStringLiteral("工具"),
                            QStringLiteral("安全"), QStringLiteral("娱乐")};
    for (int i = 0; i < extra.size(); ++i) {
        auto category = QSharedPointer<DesktopAppCategory>::create();
        category->id = QStringLiteral("x%1").arg(i + 1);
        category->name = extra.at(i);
        DesktopAppList apps;
        const DesktopAppList &from = many.at(i % 4).second;
        for (int k = 0; k < from.size() && k < 2; ++k) {
            auto copy = DesktopAppInfoPtr::create(*from.at(k));
            copy->id = QStringLiteral("x%1_%2").arg(i + 1).arg(k);
            copy->cateid = category->id;
            apps << copy;
        }
        many << qMakePair(category, apps);
    }
    fixture.session.catalogue.reset(many);
    QTest::qWait(200);
    TabColumn *column = desk.tabColumn();
    if (!column->scrolls())
        return sink.fail(QStringLiteral("twelve categories did not make the tab column scroll"));
    auto tallShot = [&](const QString &name) {
        QList<QWidget *> windows{&desk};
        if (desk.popupGrid())
            windows << desk.popupGrid();
        const QImage screen = sink.onDesktop(windows);
        sink.save(name, screen.copy(QRect(screen.width() - 620, 0, 620, 1040)));
    };
    tallShot(QStringLiteral("QLumiqDesk-tabs-overflow"));
    for (int i = 0; i < 12 && column->downArrow()->isEnabled(); ++i)
        QTest::mouseClick(column->downArrow(), Qt::LeftButton);
    const QList<ZAppMenuButton *> tabs = desk.categoryTabs();
    QTest::mouseClick(tabs.last(), Qt::LeftButton);
    QTest::qWait(200);
    if (desk.popupCategory() != QStringLiteral("x8"))
        sink.fail(QStringLiteral("the last category did not open after scrolling"));
    tallShot(QStringLiteral("QLumiqDesk-tabs-scrolled"));

    // Reached with Shift+Tab: the tab shows the keyboard's mark.
    desk.activateWindow();
    // Under a window manager activation may be refused; the mark is set by
    // the focus reason below either way.
    (void)QTest::qWaitFor([&desk]() { return desk.isActiveWindow(); }, 2000);
    tabs.at(tabs.size() - 2)->setFocus(Qt::BacktabFocusReason);
    QTest::qWait(200);
    tallShot(QStringLiteral("QLumiqDesk-tabs-keyboard"));
}
