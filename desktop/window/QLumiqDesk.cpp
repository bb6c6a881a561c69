#include "desktop/window/QLumiqDesk.h"

#include "core/AppPaths.h"
#include "core/Settings.h"
#include "desktop/DesktopLog.h"
#include "desktop/browser/BrowserOpen.h"
#include "desktop/core/LaunchPlan.h"
#include "desktop/core/StoreCategory.h"
#include "desktop/launch/AppLaunch.h"
#include "desktop/settings/QSettingDlg.h"
#include "desktop/settings/SystemActions.h"
#include "desktop/usercenter/UserCenterOpen.h"
#include "desktop/widgets/DragButton.h"
#include "desktop/widgets/DragWidget.h"
#include "desktop/widgets/ZAppMenuButton.h"
#include "desktop/window/DeskBackdrop.h"
#include "login/core/LoginDeployment.h"
#include "platform/DesktopLayer.h"
#include "platform/Platform.h"
#include "push/PushPopups.h"
#include "push/bridge/QJsInterface.h"
#include "push/bridge/SessionOrigins.h"
#include "push/core/PushConnection.h"
#include "push/desk/DeskPush.h"
#include "service/IconFetch.h"
#include "service/ImageCache.h"
#include "service/ServiceEnvelope.h"
#include "service/SrvInterface.h"
#include "sysinfo/FindRegedit.h"
#include "ui/KeyboardFocus.h"
#include "ui/PlainText.h"
#include "ui/QMsgDlg.h"
#include "ui_QLumiqDesk.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QGraphicsDropShadowEffect>
#include <QGuiApplication>
#include <QHostInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QWindow>

namespace {

QSize g_screenAreaOverride;

const char kTabStyle[] =
    "QPushButton{text-align: center center;border-image: url(:/QOrvaneDesk/image/classinfo.png);"
    "color:rgb(255,255,255);border-radius: 2px;font: 12px \"微软雅黑\" 75;}"
    // The keyboard's tab stands out (the window draws no focus outline); a
    // clicked one does not.
    "QPushButton[keyboardFocus=\"true\"]{color:rgb(255,214,0);text-decoration: underline;}";

} // namespace

void QLumiqDesk::setScreenAreaOverride(const QSize &area)
{
    g_screenAreaOverride = area;
}

QLumiqDesk::QLumiqDesk(const LoginUserInfo &user, const LoginServiceLinks &links,
                       CatalogueStore &store)
    : QMainWindow(nullptr)
    , ui(new Ui::QLumiqDeskClass)
    , m_user(user)
    , m_links(links)
    , m_store(store)
    , m_favourites(Favourites::defaultPath(), Settings::uid())
{
    registerDesktopAppTypes();
    // Before anything that waits (and so lets events in) may reach the tabs.
    m_tabColumn = new TabColumn(this);
    connect(m_tabColumn, &TabColumn::scrolled, this, &QLumiqDesk::followTabOfGrid);

    auto *fade = new QPropertyAnimation(this, "windowOpacity", this);
    fade->setDuration(200);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->start(QAbstractAnimation::DeleteWhenStopped);

    ui->setupUi(this);
    m_backgroundPixmap = QPixmap(QStringLiteral(":/QOrvaneDesk/image/main.png"));
    setStyleSheet(QStringLiteral("outline: none"));

    setupAvatar();

    // The user centre's page reports a new picture through the bridge.
    connect(QJsInterface::instance(), SIGNAL(sigUpImage(const QString&)), this,
            SLOT(upHeaderImage(const QString&)));

    m_userId = Settings::uid();
    m_userToken = Settings::token();

    m_iconMenu = new QMenu(this);
    m_iconMenu->setObjectName(QStringLiteral("iconMenu"));
    m_iconMenu->setStyleSheet(QStringLiteral(
        "QMenu{background-color:#ffffff;border:1px solid #d5dce6;padding:4px 0px;}"
        "QMenu::item{padding:6px 28px;color:#2b3445;font:12px \"微软雅黑\";}"
        "QMenu::item:selected{background-color:#2f74e6;color:#ffffff;}"));
    QAction *removeAction = m_iconMenu->addAction(QStringLiteral("移除"));
    QAction *uninstallAction = m_iconMenu->addAction(QStringLiteral("卸载"));
    removeAction->setObjectName(QStringLiteral("removeAction"));
    uninstallAction->setObjectName(QStringLiteral("uninstallAction"));
    connect(removeAction, &QAction::triggered, this, &QLumiqDesk::remove);
    connect(uninstallAction, &QAction::triggered, this, &QLumiqDesk::uninstall);
    m_pinAction = m_iconMenu->addAction(QStringLiteral("固定到常用"));
    m_pinAction->setObjectName(QStringLiteral("pinAction"));
    connect(m_pinAction, &QAction::triggered, this, &QLumiqDesk::togglePinned);

    // Typing anywhere on the desktop opens the search here.
    m_searchField = new QLineEdit(this);
    m_searchField->setObjectName(QStringLiteral("searchField"));
    m_searchField->setPlaceholderText(QStringLiteral("搜索应用（名称或拼音首字母）"));
    m_searchField->setStyleSheet(QStringLiteral(
        "QLineEdit{background-color:rgba(255,255,255,230);border:1px solid #2f74e6;border-radius:3px;"
        "padding:0px 6px;color:#2b3445;font:13px \"微软雅黑\";}"));
    m_searchField->hide();
    m_searchField->installEventFilter(this);
    connect(m_searchField, &QLineEdit::textChanged, this, &QLumiqDesk::updateSearch);
    m_searchEmpty = new QLabel(QStringLiteral("没有找到相关应用"), this);
    m_searchEmpty->setObjectName(QStringLiteral("searchEmptyLabel"));
    m_searchEmpty->setStyleSheet(QStringLiteral("color:rgb(255,255,255);font:12px \"微软雅黑\";"));
    m_searchEmpty->hide();

    m_favourites.load();
    // A catalogue with nothing in it is a sign-in that brought nothing, not
    // the user's whole list gone: the lists wait for the next one.
    if (!m_store.isEmpty())
        m_favourites.keepOnly(m_store.catalogue());
    rebuildSearchIndex();

    Platform::adjustShellDesktopIcons();

    connect(ui->wallpaperButton, &QPushButton::clicked, this, &QLumiqDesk::openWallpaperDlg);
    connect(ui->lockButton, &QPushButton::clicked, this, &QLumiqDesk::lockWindows);
    // The app centre is linked in by start-up (a build without the web
    // engine has none); until then its button does not take a click rather
    // than pretend to open something.
    ui->appCenterButton->setEnabled(false);
    connect(ui->appCenterButton, &QPushButton::clicked, this, [this]() { openAppCenterDlg(-1); });

    // Frameless, no taskbar entry, and below every program's window.
    setWindowFlags(DesktopLayer::desktopFlags());
    setAttribute(Qt::WA_TranslucentBackground);
    m_backdrop = new DeskBackdrop(this, m_backgroundPixmap);

    // The push connection lives in a hidden page of the client's own; it
    // reports through the bridge. The message centre opens from its button
    // and from a notice's pop-up.
    QJsInterface *bridge = QJsInterface::instance();
    connect(bridge, SIGNAL(sigConnectPushServer(const QString&)), this, SLOT(connectPushServer(const QString&)));
    connect(bridge, SIGNAL(sigDisconnectPushServer(const QString&)), this, SLOT(disconnectPushServer(const QString&)));
    connect(bridge, SIGNAL(sigConnectFailed(const QString&)), this, SLOT(connectFailed(const QString&)));
    connect(bridge, SIGNAL(sigNSVPush(const QString&)), this, SLOT(NSVPush(const QString&)));
    m_popups = new PushPopups(this);
    connect(m_popups, &PushPopups::install, this, &QLumiqDesk::msgClicked);
    connect(m_popups, &PushPopups::openMsgList, this, &QLumiqDesk::openMsgCenterDlg);
    m_pushView.reset(new PushView(sessionBridgeOrigins(m_user, m_links)));
    connect(m_pushView.get(), &PushView::loadFinished, this, &QLumiqDesk::onLoadFinished);
    m_pushView->load(QUrl::fromLocalFile(QDir(AppPaths::appDirPath()).filePath(QStringLiteral("cil.html"))));
    ui->msgCenterButton->setEnabled(true);
    connect(ui->msgCenterButton, &QPushButton::clicked, this, &QLumiqDesk::openMsgCenterDlg);

    const QString host = LoginDeployment::probeHost(AppPaths::serverAddress());
    if (!host.isEmpty())
        QHostInfo::lookupHost(host, this, &QLumiqDesk::onLookupHost);

    if (QScreen *screen = QGuiApplication::primaryScreen())
        connect(screen, &QScreen::availableGeometryChanged, this, &QLumiqDesk::resizeAllCtrl);

    connect(&m_store, &CatalogueStore::changed, this, &QLumiqDesk::onCatalogueChanged);

    // The avatar opens the user centre from the keyboard too.
    ui->label->setFocusPolicy(Qt::StrongFocus);
    nameControls();

    updateScreenMetrics(screenArea());
    createCategoryTabs();
    resizeAllCtrl();
}

void QLumiqDesk::nameControls()
{
    struct Name
    {
        QWidget *widget;
        const char *name;
        const char *description;
    };
    const Name names[] = {
        {ui->appCenterButton, "应用中心", "打开应用中心，安装或添加应用"},
        {ui->msgCenterButton, "消息中心", "查看收到的消息"},
        {ui->wallpaperButton, "壁纸设置", "选择桌面壁纸"},
        {ui->lockButton, "锁定", "锁定计算机"},
        {ui->label, "用户头像", "打开用户中心"},
        {m_searchField, "搜索应用", "输入应用名称或拼音首字母；回车启动第一个结果，Esc 关闭搜索"},
        {m_searchEmpty, "没有找到相关应用", "搜索没有结果"},
    };
    for (const Name &n : names) {
        n.widget->setAccessibleName(QString::fromUtf8(n.name));
        n.widget->setAccessibleDescription(QString::fromUtf8(n.description));
    }
    setAccessibleName(QStringLiteral("桌面"));
    setAccessibleDescription(QStringLiteral("分类标签和应用图标；直接输入文字即可搜索应用"));
    m_iconMenu->setAccessibleName(QStringLiteral("图标菜单"));
    m_iconMenu->setAccessibleDescription(QStringLiteral("移除、卸载或固定这个应用"));
}

QLumiqDesk::~QLumiqDesk()
{
    // Watchers are children; each one's destructor ends its thread.
    delete m_popupGrid.data();
    delete ui;
}

QSize QLumiqDesk::screenArea() const
{
    if (g_screenAreaOverride.isValid())
        return g_screenAreaOverride;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        return screen->availableGeometry().size();
    return QSize(DeskLayout::kDesignWidth, DeskLayout::kDesignHeight);
}

void QLumiqDesk::updateScreenMetrics(const QSize &area)
{
    m_metrics.update(area);
}

QList<ZAppMenuButton *> QLumiqDesk::categoryTabs() const
{
    QList<ZAppMenuButton *> tabs;
    for (const auto &entry : m_categoryTabs) {
        if (entry.first)
            tabs.append(entry.first);
    }
    return tabs;
}

QString QLumiqDesk::tabCategory(QObject *tab) const
{
    for (const auto &entry : m_categoryTabs) {
        if (entry.first && entry.first == tab)
            return entry.second;
    }
    return QString();
}

ZAppMenuButton *QLumiqDesk::tabOf(const QString &categoryId) const
{
    for (const auto &entry : m_categoryTabs) {
        if (entry.second == categoryId)
            return entry.first;
    }
    return nullptr;
}

ZAppMenuButton *QLumiqDesk::makeTab(const QString &objectName, const QString &name, int slot)
{
    auto *tab = new ZAppMenuButton(0, QString(), this, false);
    tab->setObjectName(objectName);
    tab->installEventFilter(this);
    connect(tab, &ZAppMenuButton::ELCSignal, this, &QLumiqDesk::clickBtnOp);
    tab->setText(DeskLayout::verticalTabText(name));
    tab->setAccessibleName(name);
    KeyboardFocus::track(tab);
    tab->setStyleSheet(QString::fromUtf8(kTabStyle));
    tab->setGeometry(DeskLayout::categoryTabGeometry(slot, m_metrics.scaleX, m_metrics.scaleY));
    tab->show();
    return tab;
}

void QLumiqDesk::createCategoryTabs()
{
    const DesktopAppCatalogue &catalogue = m_store.catalogue();
    if (catalogue.isEmpty())
        return;
    m_commonTab = makeTab(QStringLiteral("commonTab"), QStringLiteral("常用"), DeskLayout::kCommonTabIndex);
    m_commonTab->setAccessibleDescription(
        QStringLiteral("固定的应用和最近启动的应用；回车或空格打开，Tab 进入图标"));
    for (int i = 0; i < catalogue.size(); ++i) {
        const DesktopAppCategoryPtr &category = catalogue.at(i).first;
        if (!category)
            continue;
        ZAppMenuButton *tab = makeTab(QStringLiteral("categoryTab_%1").arg(category->id), category->name,
                                      DeskLayout::categoryTabSlot(i));
        tab->setAccessibleDescription(QStringLiteral("分类“%1”的应用；回车或空格打开，Tab 进入图标")
                                          .arg(category->name));
        m_categoryTabs.append(qMakePair(QPointer<ZAppMenuButton>(tab), category->id));
        if (i == 0)
            m_firstTab = tab;
    }
    QList<QWidget *> column;
    for (ZAppMenuButton *tab : allTabs())
        column.append(tab);
    m_tabColumn->setBottom(tabColumnBottom());
    m_tabColumn->setTabs(column, m_metrics.scaleX, m_metrics.scaleY);
}

int QLumiqDesk::tabColumnBottom() const
{
    // What the screen shows of the window.
    return qMin(height(), m_metrics.screenHeight);
}

void QLumiqDesk::followTabOfGrid()
{
    ZAppMenuButton *tab = tabOfOpenGrid();
    if (!m_popupGrid || !tab || !m_tabColumn->isShown(tab))
        return;
    m_popupGrid->move(DeskLayout::gridGeometry(tab->geometry(), m_popupGrid->rows()).translated(pos()).topLeft());
}

void QLumiqDesk::clearCategoryTabs()
{
    for (const auto &entry : m_categoryTabs)
        delete entry.first.data();
    m_categoryTabs.clear();
    delete m_commonTab.data();
    m_commonTab = nullptr;
    m_firstTab = nullptr;
    m_tabColumn->setTabs({}, m_metrics.scaleX, m_metrics.scaleY);
}

QList<ZAppMenuButton *> QLumiqDesk::allTabs() const
{
    QList<ZAppMenuButton *> tabs;
    if (m_commonTab)
        tabs.append(m_commonTab);
    return tabs + categoryTabs();
}

ZAppMenuButton *QLumiqDesk::tabOfOpenGrid() const
{
    if (!m_popupGrid)
        return nullptr;
    if (m_popupKind == GridKind::Common)
        return m_commonTab;
    if (m_popupKind == GridKind::Category)
        return tabOf(m_popupCategory);
    return nullptr;
}

void QLumiqDesk::clickBtnOp(int flag)
{
    auto *tab = qobject_cast<ZAppMenuButton *>(sender());
    switch (flag) {
    case 0:
        if (m_popupPinned != 1)
            openGrid(tab);
        break;
    case 1:
        pressTab(tab);
        break;
    case 2:
        if (m_popupPinned != 1)
            dropGrid();
        break;
    default:
        openGrid(tab);
        break;
    }
}

void QLumiqDesk::pressTab(ZAppMenuButton *tab)
{
    if (isSearchOpen()) {
        m_searchField->hide();
        m_searchEmpty->hide();
        m_beforeSearch = nullptr;
    }
    if (m_popupPinned == 1 || m_popupGrid)
        dropGrid();
    m_popupPinned = 1;
    m_tabColumn->ensureShown(tab);
    openGrid(tab);
}

void QLumiqDesk::reopenPinned(const QString &categoryId)
{
    // The search shows the change itself; its grid stays.
    if (isSearchOpen())
        return;
    // The change signal has rebuilt an open grid of this category already.
    if (m_popupGrid && m_popupPinned == 1 && m_popupCategory == categoryId)
        return;
    if (ZAppMenuButton *tab = tabOf(categoryId))
        pressTab(tab);
}

void QLumiqDesk::dropGrid()
{
    if (m_popupGrid) {
        m_popupGrid->hide();
        m_popupGrid->deleteLater();
    }
    m_popupGrid = nullptr;
    m_popupKind = GridKind::None;
    m_popupCategory.clear();
}

void QLumiqDesk::openGrid(ZAppMenuButton *tab)
{
    if (tab && tab == m_commonTab) {
        if (m_popupGrid)
            dropGrid();
        const QList<DesktopAppInfoPtr> shown =
            DeskLayout::shownApps(m_favourites.commonApps(m_store.catalogue()));
        const int rows = DeskLayout::plainGridRows(shown.size());
        DragWidget *grid = makeGrid(shown, rows, false);
        grid->setObjectName(QStringLiteral("commonGrid"));
        grid->setAccessibleName(QStringLiteral("常用应用"));
        grid->setEmptyText(QStringLiteral("在图标的右键菜单中选择“固定到常用”，应用就会出现在这里"));
        QRect geometry = DeskLayout::gridGeometry(tab->geometry(), rows);
        geometry.translate(pos());
        grid->setGeometry(geometry);
        showGrid(grid, GridKind::Common, QString());
        return;
    }
    const QString categoryId = tabCategory(tab);
    if (categoryId.isEmpty())
        return;
    // An unpinned grid opened by the pointer replaces the one shown.
    if (m_popupGrid)
        dropGrid();

    const QList<DesktopAppInfoPtr> shown = DeskLayout::shownApps(m_store.apps(categoryId));
    const int rows = DeskLayout::gridRows(shown.size());
    DragWidget *grid = makeGrid(shown, rows, true);
    grid->setObjectName(QStringLiteral("popupGrid"));
    grid->setAccessibleName(tab->accessibleName());
    // The add button opens the app centre at the store's category that
    // matches this one (the store lists its categories in its own order).
    const int categoryIndex = m_store.categoryIndex(categoryId);
    const QString categoryName =
        categoryIndex >= 0 ? m_store.catalogue().at(categoryIndex).first->name : QString();
    connect(grid, &DragWidget::openAccept, this, [this, categoryId, categoryName]() {
        openAppCenterDlg(StoreCategory::indexFor(m_links.appCategoryLinks, categoryId, categoryName));
    });
    // Tabs lie in this window; the grid is a window of its own.
    QRect geometry = DeskLayout::gridGeometry(tab->geometry(), rows);
    geometry.translate(pos());
    grid->setGeometry(geometry);
    showGrid(grid, GridKind::Category, categoryId);
}

DragButton *QLumiqDesk::makeIcon(const DesktopAppInfoPtr &app)
{
    auto *button = new DragButton;
    button->setObjectName(QStringLiteral("app_%1").arg(app->id));
    button->setAppInfo(app);
    button->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(button, &QWidget::customContextMenuRequested, this, &QLumiqDesk::showMenuUninstall);
    button->setToolTip(plainToolTip(app->name));
    button->setAccessibleName(app->name);
    button->setAccessibleDescription(
        app->desc.isEmpty() ? QStringLiteral("应用；双击或回车启动，菜单键打开更多操作")
                            : app->desc + QStringLiteral("；双击或回车启动，菜单键打开更多操作"));
    button->setCaption(DeskLayout::iconCaption(app->name));
    button->setPicturePath(app->icon);
    auto *shadow = new QGraphicsDropShadowEffect(button);
    shadow->setOffset(0, 0);
    shadow->setColor(Qt::gray);
    shadow->setBlurRadius(5);
    button->setGraphicsEffect(shadow);
    button->setStyleSheet(QStringLiteral("QToolButton{border-radius: 1px;color:rgb(255,255,255);}"));
    connect(button, &DragButton::doubleClicked, this, &QLumiqDesk::clickbtn);
    return button;
}

DragWidget *QLumiqDesk::makeGrid(const QList<DesktopAppInfoPtr> &apps, int rows, bool withAddButton)
{
    auto *grid = new DragWidget(this, rows, DeskLayout::kGridColumns);
    // Above the desktop, below the programs.
    grid->setWindowFlags(grid->windowFlags() | DesktopLayer::onDesktopFlags());
    m_backdrop->lieUnder(grid);
    // Showing a grid does not take the keyboard from where it is.
    grid->setAttribute(Qt::WA_ShowWithoutActivating);
    grid->setAccessibleDescription(QStringLiteral("方向键在图标间移动，回车启动，Tab 回到分类标签"));
    connect(grid, &DragWidget::hindSignal, this, [this]() { m_popupPinned = 0; });
    connect(grid, &DragWidget::focusLeaves, this, &QLumiqDesk::onGridFocusLeaves);
    connect(grid, &DragWidget::typed, this, [this](const QString &text) {
        openSearch(isSearchOpen() ? m_searchField->text() + text : text);
    });
    connect(grid, &DragWidget::escapePressed, this, [this]() {
        if (isSearchOpen())
            closeSearch();
        else if (ZAppMenuButton *tab = tabOfOpenGrid())
            giveFocus(tab, Qt::OtherFocusReason);
    });
    for (const DesktopAppInfoPtr &app : apps)
        grid->addButton(makeIcon(app));
    grid->finishGrid(withAddButton);
    return grid;
}

void QLumiqDesk::showGrid(DragWidget *grid, GridKind kind, const QString &categoryId)
{
    // Whoever had the keyboard keeps it: the window system may hand it to
    // the new window.
    QWidget *keyboard = QApplication::focusWidget();
    grid->show();
    m_popupGrid = grid;
    m_popupKind = kind;
    m_popupCategory = categoryId;
    if (keyboard && keyboard->window() == this)
        giveFocus(keyboard, Qt::OtherFocusReason);
    qCDebug(lcDesktop) << "grid" << grid->objectName() << categoryId << "open with"
                       << grid->buttons().size() << "icons, pinned" << m_popupPinned;
}

void QLumiqDesk::giveFocus(QWidget *widget, Qt::FocusReason reason)
{
    if (!widget)
        return;
    // Activated even when it seems active: a window just shown may still be
    // on its way to taking the activation.
    if (QWidget *window = widget->window())
        window->activateWindow();
    KeyboardFocus::give(widget, reason);
}

bool QLumiqDesk::focusNextPrevChild(bool next)
{
    // From a tab whose grid is open, Tab goes into the grid.
    auto *tab = qobject_cast<ZAppMenuButton *>(focusWidget());
    if (next && tab && tab == tabOfOpenGrid() && m_popupGrid && !m_popupGrid->buttons().isEmpty()) {
        m_popupGrid->focusIcon(0);
        return true;
    }
    return QMainWindow::focusNextPrevChild(next);
}

void QLumiqDesk::onGridFocusLeaves(bool forward)
{
    if (isSearchOpen()) {
        giveFocus(m_searchField, forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return;
    }
    ZAppMenuButton *own = tabOfOpenGrid();
    const QList<ZAppMenuButton *> tabs = allTabs();
    ZAppMenuButton *target = own;
    if (forward && own) {
        const int i = tabs.indexOf(own);
        target = i + 1 < tabs.size() ? tabs.at(i + 1) : tabs.first();
        pressTab(target);
    }
    if (target)
        giveFocus(target, forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

void QLumiqDesk::setAppCentreAvailable(bool available)
{
    ui->appCenterButton->setEnabled(available);
}

void QLumiqDesk::openAppCenterDlg(int categoryIndex)
{
    if (!networkOrTell())
        return;
    emit appCentreRequested(categoryIndex);
}

void QLumiqDesk::setupAvatar()
{
    disconnect(m_avatarFollow);
    QString path;
    if (!m_user.avatar.isEmpty()) {
        // Waits as long as one picture may take; a slower one goes on into
        // the cache and is shown when it lands.
        path = IconFetch::concurrent({m_user.avatar}, AppPaths::appDirPath(), IconFetch::kPerHost, -1, this)
                   .value(0);
        m_avatarFollow = PictureLanding::follow(this, path, [this, path] { showAvatar(path); });
    }
    showAvatar(path);
    ui->label->installEventFilter(this);

    ui->userNamelabel->setText(m_user.company_name);
    ui->userNamelabel->setAccessibleName(m_user.company_name.isEmpty() ? QStringLiteral("公司名称")
                                                                       : m_user.company_name);
    ui->userNamelabel->adjustSize();
    const QRect a = ui->appCenterButton->geometry();
    ui->userNamelabel->move(a.left() - ui->userNamelabel->width() - 20, ui->userNamelabel->y());
    ui->label->move(a.left() - ui->userNamelabel->width() - ui->label->width() - 30, ui->label->y());
    ui->userNamelabel->installEventFilter(this);
}

void QLumiqDesk::showAvatar(const QString &path)
{
    QPixmap avatar;
    if (!path.isEmpty())
        avatar.load(path);
    const QSize size = ui->label->size();
    QPixmap round(size);
    round.fill(Qt::transparent);
    if (!avatar.isNull()) {
        QPainter painter(&round);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        QPainterPath clip;
        clip.addEllipse(QRectF(0, 0, size.width(), size.height()));
        painter.setClipPath(clip);
        painter.drawPixmap(QRect(QPoint(0, 0), size), avatar);
    }
    ui->label->setPixmap(round);
}

void QLumiqDesk::upHeaderImage(const QString &)
{
    setupAvatar();
}

void QLumiqDesk::showEvent(QShowEvent *event)
{
    // The window manager keeps it as the desktop from its first mapping on.
    if (!m_exposedLogged)
        DesktopLayer::markAsDesktop(windowHandle());
    QMainWindow::showEvent(event);
    // The first time the window system puts the desktop on screen is
    // reported once (start-up timing reads it).
    if (!m_exposedLogged && windowHandle())
        windowHandle()->installEventFilter(this);
}

bool QLumiqDesk::eventFilter(QObject *object, QEvent *event)
{
    if (!m_exposedLogged && object == windowHandle() && event->type() == QEvent::Expose
        && windowHandle()->isExposed()) {
        m_exposedLogged = true;
        windowHandle()->removeEventFilter(this);
        // The first grid was mapped before the desktop, which then came over
        // it (or, to a window manager, had no desktop to lie above): mapped
        // again, it lies above the desktop.
        if (m_popupGrid && m_popupGrid->isVisible()) {
            QWidget *keyboard = QApplication::focusWidget();
            m_popupGrid->hide();
            m_popupGrid->show();
            if (keyboard && keyboard->window() == this)
                giveFocus(keyboard, Qt::OtherFocusReason);
        }
        qCInfo(lcDesktop) << "desktop window exposed with"
                          << (m_popupGrid ? m_popupGrid->buttons().size() : 0) << "cells in its grid"
                          << "under window manager" << DesktopLayer::windowManagerName();
    }
    if (event->type() == QEvent::MouseButtonRelease
        && (object == ui->label || object == ui->userNamelabel))
        openUserCenterDlg();

    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        if (object == m_searchField) {
            if (key == Qt::Key_Escape) {
                closeSearch();
                return true;
            }
            if (enter) {
                const DesktopAppList first = m_search.find(m_searchField->text(), 1);
                if (!first.isEmpty()) {
                    closeSearch();
                    launchApp(first.first());
                }
                return true;
            }
            if ((key == Qt::Key_Down || key == Qt::Key_Tab) && m_popupGrid
                && m_popupKind == GridKind::Search) {
                m_popupGrid->focusIcon(0);
                return true;
            }
        } else if (object == ui->label && (enter || key == Qt::Key_Space)) {
            openUserCenterDlg();
            return true;
        } else if (auto *tab = qobject_cast<ZAppMenuButton *>(object)) {
            if (enter || key == Qt::Key_Space) {
                pressTab(tab);
                if (m_popupGrid && !m_popupGrid->focusIcon(0))
                    giveFocus(tab, Qt::OtherFocusReason);
                return true;
            }
        }
    }
    if (event->type() == QEvent::FocusIn) {
        // The keyboard arriving on a tab opens its grid, so that Tab goes on
        // into it.
        auto *tab = qobject_cast<ZAppMenuButton *>(object);
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (tab && (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
            && !(tab == tabOfOpenGrid() && m_popupPinned == 1))
            pressTab(tab);
    }
    return QMainWindow::eventFilter(object, event);
}

void QLumiqDesk::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    m_backdrop->paint(painter, this);
}

void QLumiqDesk::resizeAllCtrl()
{
    applyScreenArea(screenArea());
}

void QLumiqDesk::applyScreenArea(const QSize &area)
{
    updateScreenMetrics(area);
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setPointSize(qMax(1, int(m_metrics.scaleX * 10)));
    font.setWeight(75);

    const int dx = m_metrics.deltaX;
    for (QObject *child : children()) {
        auto *central = qobject_cast<QWidget *>(child);
        if (!central || qstrcmp(central->metaObject()->className(), "QWidget") != 0)
            continue;
        for (QObject *grandChild : central->children()) {
            auto *widget = qobject_cast<QWidget *>(grandChild);
            if (!widget)
                continue;
            widget->setFont(font);
            widget->move(widget->x() + dx, widget->y());
            widget->show();
        }
    }
    for (ZAppMenuButton *tab : allTabs()) {
        tab->move(tab->x() + dx, tab->y());
        tab->show();
    }
    m_tabColumn->setBottom(tabColumnBottom());
    if (isSearchOpen())
        m_searchField->setGeometry(DeskLayout::searchFieldGeometry(m_metrics.scaleX, m_metrics.scaleY));
    if (m_popupGrid)
        m_popupGrid->setGeometry(
            DeskLayout::scaledGeometry(m_popupGrid->geometry(), m_metrics.scaleX, m_metrics.scaleY));
    if (m_firstTab)
        emit m_firstTab->ELCSignal(1);
}

void QLumiqDesk::openWallpaperDlg()
{
    auto *dialog = new QSettingDlg(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QSettingDlg::modifyWindowsBk, this, &QLumiqDesk::onModifyWindowBk);
    dialog->exec();
}

void QLumiqDesk::onModifyWindowBk(const QString &strPicPath)
{
    // Shown on this desktop whatever the system does with it: where nothing
    // shows through, the desktop's own wallpaper is what the user sees.
    if (!Settings::setDesktopWallpaper(strPicPath))
        qCWarning(lcDesktop) << "the chosen wallpaper could not be remembered";
    m_backdrop->reload();
    setWallpaperOrTell(strPicPath);
}

void QLumiqDesk::lockWindows()
{
    lockSessionOrTell();
}

void QLumiqDesk::onLookupHost(const QHostInfo &info)
{
    m_networkAvailable = info.error() == QHostInfo::NoError;
    qCDebug(lcDesktop) << "network" << (m_networkAvailable ? "available" : "not available");
}

bool QLumiqDesk::networkOrTell()
{
    if (m_networkAvailable)
        return true;
    QMsgDlg box(QStringLiteral("提示"), QStringLiteral("\r\n打开失败，请连接互联网，重启主程序！"), this);
    box.exec();
    return false;
}

void QLumiqDesk::openUserCenterDlg()
{
    if (!networkOrTell())
        return;
    // The dialog hears the bridge's page calls itself; a new picture reaches
    // upHeaderImage through the bridge already.
    if (execUserCenter(m_user, sessionBridgeOrigins(m_user, m_links), QJsInterface::instance(), this) == 1) {
        QMsgDlg box(QStringLiteral("保存提示"), QStringLiteral("\r\n保存成功！"), this);
        box.exec();
    }
}

void QLumiqDesk::openMsgCenterDlg()
{
    if (!networkOrTell())
        return;
    execMessageCentre();
}

void QLumiqDesk::onLoadFinished(bool ok)
{
    // Every load asks anew where the push server is; a failed lookup still
    // tells the page, with an empty address.
    QPointer<QLumiqDesk> alive(this);
    QString answer;
    SrvInterface srv;
    const bool answered = srv.getPushSvrIPAddressByTime33Hash(m_userId, m_userToken, &answer);
    if (!alive || !m_pushView)
        return;
    const PushConnection::ServerAddress server = PushConnection::parseLookup(answered, answer);
    qCDebug(lcDesktop) << "push page loaded" << ok << "push server"
                       << (server.address.isEmpty() ? QStringLiteral("unknown") : server.address + ':' + server.port);
    m_pushView->runScript(PushConnection::connectScript(server));
}

void QLumiqDesk::connectPushServer(const QString &)
{
    if (m_pushView)
        m_pushView->runScript(PushConnection::identifyScript(m_userId));
    PushConnection::appendLog(m_userId, PushConnection::connectedText());
}

void QLumiqDesk::disconnectPushServer(const QString &)
{
    PushConnection::appendLog(m_userId, PushConnection::reconnectingText());
}

void QLumiqDesk::connectFailed(const QString &)
{
    PushConnection::appendLog(m_userId, PushConnection::failedText());
}

void QLumiqDesk::NSVPush(const QString &strJson)
{
    // A few pop-ups at a time, the rest summed up in one.
    m_popups->show(strJson);
    PushConnection::appendLog(m_userId, PushConnection::pushedText());
}

void QLumiqDesk::msgClicked(const QString &strJson)
{
    // As the app centre's own button: no service, no app centre.
    if (!networkOrTell())
        return;
    emit installOffer(strJson);
}

void QLumiqDesk::showMenuUninstall(const QPoint &pos)
{
    m_menuTarget = qobject_cast<DragButton *>(sender());
    const DesktopAppInfoPtr app = m_menuTarget ? m_menuTarget->appInfo() : DesktopAppInfoPtr();
    m_pinAction->setText(app && m_favourites.isPinned(app->id) ? QStringLiteral("取消固定")
                                                               : QStringLiteral("固定到常用"));
    if (m_menuRunner)
        m_menuRunner(m_iconMenu);
    else
        // The menu key asks at the icon, the pointer where it is.
        m_iconMenu->exec(m_menuTarget ? m_menuTarget->mapToGlobal(pos) : QCursor::pos());
}

void QLumiqDesk::togglePinned()
{
    const DesktopAppInfoPtr app = m_menuTarget ? m_menuTarget->appInfo() : DesktopAppInfoPtr();
    if (!app || !m_store.contains(app))
        return;
    const bool saved = m_favourites.isPinned(app->id) ? m_favourites.unpin(app->id)
                                                      : m_favourites.pin(app->id);
    if (!saved)
        qCWarning(lcDesktop) << "the favourites file could not be written:" << Favourites::defaultPath();
    refreshCommonGrid();
}

void QLumiqDesk::refreshCommonGrid()
{
    if (!m_popupGrid || m_popupKind != GridKind::Common || !m_commonTab)
        return;
    const int focused = m_popupGrid->focusedIndex();
    // The new icon in its place is framed only if the old one was.
    const bool keyboard = focused >= 0 && KeyboardFocus::shows(m_popupGrid->buttons().at(focused));
    const int pinned = m_popupPinned;
    dropGrid();
    m_popupPinned = pinned;
    openGrid(m_commonTab);
    if (focused >= 0 && m_popupGrid)
        m_popupGrid->focusIcon(qMin(focused, m_popupGrid->buttons().size() - 1),
                               keyboard ? Qt::OtherFocusReason : Qt::MouseFocusReason);
}

void QLumiqDesk::launchApp(const DesktopAppInfoPtr &app)
{
    if (!app)
        return;
    AppLaunch::launch(*app, m_user.app_auth, this);
    if (!m_favourites.noteLaunched(app->id))
        qCWarning(lcDesktop) << "the favourites file could not be written:" << Favourites::defaultPath();
    refreshCommonGrid();
}

bool QLumiqDesk::isSearchOpen() const
{
    return m_searchField && !m_searchField->isHidden();
}

void QLumiqDesk::openSearch(const QString &typed)
{
    if (!isSearchOpen()) {
        if (m_popupKind == GridKind::Category || m_popupKind == GridKind::Common)
            m_beforeSearch = tabOfOpenGrid();
        m_searchField->setGeometry(DeskLayout::searchFieldGeometry(m_metrics.scaleX, m_metrics.scaleY));
        m_searchField->show();
        m_searchField->raise();
        // Hovering over the tabs does not take the results away.
        m_popupPinned = 1;
    }
    if (m_searchField->text() != typed)
        m_searchField->setText(typed);
    else
        updateSearch();
    giveFocus(m_searchField, Qt::OtherFocusReason);
    m_searchField->end(false);
}

void QLumiqDesk::closeSearch()
{
    if (!isSearchOpen())
        return;
    m_searchField->hide();
    m_searchEmpty->hide();
    {
        const QSignalBlocker quiet(m_searchField);
        m_searchField->clear();
    }
    dropGrid();
    ZAppMenuButton *back = m_beforeSearch ? m_beforeSearch.data() : m_firstTab.data();
    m_beforeSearch = nullptr;
    if (back) {
        pressTab(back);
        giveFocus(back, Qt::OtherFocusReason);
    }
}

void QLumiqDesk::updateSearch()
{
    if (!isSearchOpen())
        return;
    const QString text = m_searchField->text();
    const DesktopAppList results = m_search.find(text, DeskLayout::kMaxSearchResults);
    dropGrid();
    const QRect field = m_searchField->geometry();
    m_searchEmpty->setGeometry(DeskLayout::searchGridGeometry(field, 1, m_metrics.scaleY)
                                   .adjusted(0, 0, 0, -int(m_metrics.scaleY * 60)));
    m_searchEmpty->setVisible(results.isEmpty() && !AppSearch::fold(text).isEmpty());
    if (results.isEmpty())
        return;
    const int rows = DeskLayout::plainGridRows(results.size());
    DragWidget *grid = makeGrid(results, rows, false);
    grid->setObjectName(QStringLiteral("searchGrid"));
    grid->setAccessibleName(QStringLiteral("搜索结果"));
    grid->setGeometry(DeskLayout::searchGridGeometry(field, rows, m_metrics.scaleY).translated(pos()));
    showGrid(grid, GridKind::Search, QString());
}

void QLumiqDesk::rebuildSearchIndex()
{
    m_search.rebuild(m_store.catalogue(),
                     [](const desktopAppInfo &app) { return DeskLayout::isShownOnDesktop(app); });
}

void QLumiqDesk::keyPressEvent(QKeyEvent *event)
{
    const QString text = event->text();
    const bool printable = !text.isEmpty() && text.at(0).isPrint() && !text.at(0).isSpace()
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (printable) {
        openSearch(isSearchOpen() ? m_searchField->text() + text : text);
        return;
    }
    if (event->key() == Qt::Key_Escape && isSearchOpen()) {
        closeSearch();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void QLumiqDesk::remove()
{
    const DesktopAppInfoPtr app = m_menuTarget ? m_menuTarget->appInfo() : DesktopAppInfoPtr();
    // The record may have left the catalogue while the menu was open.
    if (!app || !m_store.contains(app))
        return;
    QString answer;
    SrvInterface srv;
    const bool sent = srv.IsRemoveAppInCloudDesktop(m_userId, m_userToken, app->id, 0, &answer);
    // An answer with another code is a refusal, not a success.
    if (!sent || !ServiceEnvelope::parse(answer).isSuccess()) {
        qCDebug(lcDesktop) << "taking" << app->id << "off the desktop failed";
        return;
    }
    const QString categoryId = m_store.categoryOf(app);
    m_store.updateApp(app, [](desktopAppInfo &a) { a.isremove = QStringLiteral("0"); });
    reopenPinned(categoryId);
}

void QLumiqDesk::uninstall()
{
    const DesktopAppInfoPtr app = m_menuTarget ? m_menuTarget->appInfo() : DesktopAppInfoPtr();
    if (!app || !m_store.contains(app))
        return;
    if (app->uninstall.isEmpty()) {
        uninstallationCompleteSlot(app);
        return;
    }
    const CommandLine command = splitUninstallCommand(app->uninstall);
    if (!Platform::startProgram(command.program, command.arguments))
        qCWarning(lcDesktop) << "uninstaller of" << app->id << "did not start:" << command.program;
    auto *watcher = new FindRegedit(this, app, FindRegedit::WaitForUninstallation);
    watcher->setCatalogueStore(&m_store);
    connect(watcher, &FindRegedit::uninstallationCompleteSiganl, this,
            &QLumiqDesk::uninstallationCompleteSlot);
    m_uninstallWatcher = watcher;
    m_watchers.append(watcher);
    watcher->start(QThread::InheritPriority);
}

void QLumiqDesk::uninstallationCompleteSlot(DesktopAppInfoPtr info)
{
    if (!info || !m_store.contains(info))
        return;
    const QString categoryId = m_store.categoryOf(info);
    QString answer;
    SrvInterface srv;
    srv.deletelAppInCloudDesktop(m_userId, m_userToken, info->id, info->name, &answer);
    m_store.removeApp(info);
    reopenPinned(categoryId);
}

void QLumiqDesk::onCatalogueChanged(const CatalogueStore::Change &change)
{
    if (change.kind == CatalogueStore::Change::Removed) {
        // A watcher waiting for an application that left the catalogue by
        // another way has nothing left to report.
        for (const QPointer<FindRegedit> &watcher : qAsConst(m_watchers)) {
            if (watcher && watcher->application() == change.app)
                watcher->stop();
        }
    }
    m_watchers.removeAll(nullptr);

    rebuildSearchIndex();
    // A catalogue with nothing in it is a sign-in that brought nothing; the
    // lists wait for the next one.
    if ((change.kind == CatalogueStore::Change::Removed || change.kind == CatalogueStore::Change::Reset)
        && !m_store.isEmpty())
        m_favourites.keepOnly(m_store.catalogue());

    if (change.kind == CatalogueStore::Change::Reset) {
        m_searchField->hide();
        m_searchEmpty->hide();
        m_beforeSearch = nullptr;
        dropGrid();
        clearCategoryTabs();
        createCategoryTabs();
        if (m_firstTab)
            pressTab(m_firstTab);
        return;
    }
    if (isSearchOpen()) {
        updateSearch();
        return;
    }
    if (m_popupKind == GridKind::Common) {
        refreshCommonGrid();
        return;
    }
    if (m_popupGrid && m_popupKind == GridKind::Category && change.categoryId == m_popupCategory) {
        if (ZAppMenuButton *tab = tabOf(m_popupCategory)) {
            const int pinned = m_popupPinned;
            dropGrid();
            m_popupPinned = pinned;
            openGrid(tab);
        }
    }
}

void QLumiqDesk::clickbtn()
{
    auto *button = qobject_cast<DragButton *>(sender());
    if (!button || !button->appInfo())
        return;
    launchApp(button->appInfo());
}
