#pragma once

#include "catalogue/CatalogueStore.h"
#include "desktop/core/DeskLayout.h"
#include "desktop/find/AppSearch.h"
#include "desktop/find/Favourites.h"
#include "desktop/widgets/DragButton.h"
#include "desktop/widgets/DragWidget.h"
#include "desktop/widgets/TabColumn.h"
#include "desktop/widgets/ZAppMenuButton.h"
#include "login/core/LoginRecords.h"
#include "sysinfo/FindRegedit.h"

#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QPixmap>
#include <QPointer>
#include <QSize>

#include <functional>
#include <memory>

class DeskBackdrop;
class PushPopups;
class PushView;
class QAction;
class QHostInfo;
class QLabel;
class QLineEdit;
class QMenu;

namespace Ui {
class QLumiqDeskClass;
}

// The client's desktop: a frameless, translucent window over the system
// desktop with the user's avatar and company name, the top-bar buttons,
// the "常用" tab, one vertical tab per category and, beside a tab, the
// popup icon grid of that category. Typing opens a search over all
// categories; every control can be reached from the keyboard.
//
// It reads the catalogue from the store and changes it only through it;
// whatever changes the store (this window, the app centre, a watcher), the
// open grid is rebuilt from the store, so no icon or menu keeps a record
// the catalogue no longer holds.
class QLumiqDesk : public QMainWindow
{
    Q_OBJECT

public:
    QLumiqDesk(const LoginUserInfo &user, const LoginServiceLinks &links, CatalogueStore &store);
    ~QLumiqDesk() override;

    // The available screen area the window lays itself out for. Tests and
    // the screenshot program fix it; otherwise the primary screen's.
    static void setScreenAreaOverride(const QSize &area);

    // Lays the top bar and tabs out for this available area (what a screen
    // change does).
    void applyScreenArea(const QSize &area);

    const DeskLayout::ScreenMetrics &metrics() const { return m_metrics; }
    QList<ZAppMenuButton *> categoryTabs() const;
    // The "常用" tab above the categories (none while the catalogue is empty).
    ZAppMenuButton *commonTab() const { return m_commonTab; }
    ZAppMenuButton *firstTab() const { return m_firstTab; }
    // Keeps the tabs within the screen, scrolling them when they do not fit.
    TabColumn *tabColumn() const { return m_tabColumn; }
    DragWidget *popupGrid() const { return m_popupGrid; }
    // What the open grid shows; popupCategory() is set for Category only.
    enum class GridKind { None, Category, Common, Search };
    GridKind popupKind() const { return m_popupGrid ? m_popupKind : GridKind::None; }
    QString popupCategory() const { return m_popupCategory; }
    QLineEdit *searchField() const { return m_searchField; }
    bool isSearchOpen() const;
    const Favourites &favourites() const { return m_favourites; }
    int popupPinned() const { return m_popupPinned; }
    QMenu *iconMenu() const { return m_iconMenu; }
    DragButton *menuTarget() const { return m_menuTarget; }
    FindRegedit *uninstallWatcher() const { return m_uninstallWatcher; }
    bool networkAvailable() const { return m_networkAvailable; }

    // The icon context menu normally runs modally at the cursor; tests
    // replace the run with a choice of their own.
    void setMenuRunner(std::function<void(QMenu *)> runner) { m_menuRunner = std::move(runner); }

    // The app centre is a window of a module above this one: start-up links
    // it in and then enables its button.
    void setAppCentreAvailable(bool available);

    // The hidden page that holds the push connection.
    PushView *pushView() const { return m_pushView.get(); }

    // What the window paints beneath its own pictures.
    DeskBackdrop *backdrop() const { return m_backdrop; }

signals:
    // The app centre is asked for (its button: -1; a grid's add button: the
    // index of the store category matching the grid's); the network check
    // has passed.
    void appCentreRequested(int categoryIndex);
    // A pop-up's "安装": the whole push message, for the app centre.
    void installOffer(const QString &strJson);

public slots:
    // Reports of the push page through the bridge.
    void connectPushServer(const QString &strJson);
    void disconnectPushServer(const QString &strJson);
    void connectFailed(const QString &strJson);
    void NSVPush(const QString &strJson);
    void upHeaderImage(const QString &strJson);
    void msgClicked(const QString &strJson);
    void clickbtn();
    // By value: the watcher that reports it may be gone before the service
    // call made here returns.
    void uninstallationCompleteSlot(DesktopAppInfoPtr info);
    void resizeAllCtrl();
    void onModifyWindowBk(const QString &strPicPath);
    void openAppCenterDlg(int categoryIndex = -1);
    // Opens the search with this text (what typing on the desktop does).
    void openSearch(const QString &typed);
    void closeSearch();

private slots:
    void onLookupHost(const QHostInfo &info);
    void onLoadFinished(bool ok);
    void remove();
    void uninstall();
    void showMenuUninstall(const QPoint &pos);
    void openUserCenterDlg();
    void openMsgCenterDlg();
    void openWallpaperDlg();
    void lockWindows();
    void clickBtnOp(int flag);
    void onCatalogueChanged(const CatalogueStore::Change &change);
    void togglePinned();
    void updateSearch();

protected:
    bool eventFilter(QObject *object, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void setupAvatar();
    // The avatar label shows the picture at path, round.
    void showAvatar(const QString &path);
    void updateScreenMetrics(const QSize &area);
    void createCategoryTabs();
    void clearCategoryTabs();
    // The lower edge the tab column ends above.
    int tabColumnBottom() const;
    // The open grid follows its tab when the column scrolls.
    void followTabOfGrid();
    // The category a tab stands for; empty for anything else.
    QString tabCategory(QObject *tab) const;
    ZAppMenuButton *tabOf(const QString &categoryId) const;
    ZAppMenuButton *makeTab(const QString &objectName, const QString &name, int slot);
    // Tabs in keyboard order: "常用", then the categories.
    QList<ZAppMenuButton *> allTabs() const;
    void openGrid(ZAppMenuButton *tab);
    // A grid window beside the desktop with these icons; wires keyboard,
    // menu and launching the same way for every kind of grid.
    DragWidget *makeGrid(const QList<DesktopAppInfoPtr> &apps, int rows, bool withAddButton);
    DragButton *makeIcon(const DesktopAppInfoPtr &app);
    void showGrid(DragWidget *grid, GridKind kind, const QString &categoryId);
    // After pinning, unpinning or a launch: an open "常用" grid follows.
    void refreshCommonGrid();
    void launchApp(const DesktopAppInfoPtr &app);
    // Keyboard focus to a widget, in whichever window it lies.
    void giveFocus(QWidget *widget, Qt::FocusReason reason);
    void onGridFocusLeaves(bool forward);
    ZAppMenuButton *tabOfOpenGrid() const;
    void rebuildSearchIndex();
    void nameControls();
    // Hides the grid at once; it is deleted once the event that led here
    // has been handled, since that may be one of its own icons' events.
    void dropGrid();
    // Pressing a tab: the grid is replaced and pinned.
    void pressTab(ZAppMenuButton *tab);
    // After a change made here: the category's grid shows, pinned.
    void reopenPinned(const QString &categoryId);
    QSize screenArea() const;
    // False (after telling the user) when the probe found no network.
    bool networkOrTell();

    Ui::QLumiqDeskClass *ui;
    const LoginUserInfo &m_user;
    const LoginServiceLinks &m_links;
    CatalogueStore &m_store;

    DeskLayout::ScreenMetrics m_metrics;
    QString m_userId;
    QString m_userToken;
    QMenu *m_iconMenu = nullptr;
    QAction *m_pinAction = nullptr;
    QPointer<ZAppMenuButton> m_commonTab;
    GridKind m_popupKind = GridKind::None;
    QLineEdit *m_searchField = nullptr;
    QLabel *m_searchEmpty = nullptr;
    // The tab whose grid comes back when the search closes.
    QPointer<ZAppMenuButton> m_beforeSearch;
    AppSearch m_search;
    Favourites m_favourites;
    QPixmap m_backgroundPixmap;
    QList<QPair<QPointer<ZAppMenuButton>, QString>> m_categoryTabs;
    QPointer<ZAppMenuButton> m_firstTab;
    TabColumn *m_tabColumn = nullptr;
    QPointer<DragButton> m_menuTarget;
    QPointer<FindRegedit> m_uninstallWatcher;
    QList<QPointer<FindRegedit>> m_watchers;
    int m_popupPinned = 0;
    QPointer<DragWidget> m_popupGrid;
    QString m_popupCategory;
    bool m_networkAvailable = true;
    std::function<void(QMenu *)> m_menuRunner;
    bool m_exposedLogged = false;
    DeskBackdrop *m_backdrop = nullptr;
    std::unique_ptr<PushView> m_pushView;
    QMetaObject::Connection m_avatarFollow;
    PushPopups *m_popups = nullptr;
};
