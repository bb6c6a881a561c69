#include "desktop/window/QLumiqDesk.h"

#include "core/AppPaths.h"
#include "core/Settings.h"
#include "desktop/DesktopLog.h"
#include "desktop/browser/BrowserOpen.h"
#include "desktop/core/LaunchPlan.h"
#include "desktop/launch/AppLaunch.h"
#include "desktop/settings/QSettingDlg.h"
#include "desktop/settings/SystemActions.h"
#include "desktop/usercenter/UserCenterOpen.h"
#include "desktop/widgets/DragButton.h"
#include "desktop/widgets/DragWidget.h"
#include "desktop/widgets/ZAppMenuButton.h"
#include "login/core/LoginDeployment.h"
#include "platform/Platform.h"
#include "push/QAcceptMsgWidget.h"
#include "push/bridge/QJsInterface.h"
#include "push/bridge/SessionOrigins.h"
#include "push/core/PushConnection.h"
#include "push/desk/DeskPush.h"
#include "service/ImageCache.h"
#include "service/ServiceEnvelope.h"
#include "service/SrvInterface.h"
#include "sysinfo/FindRegedit.h"
#include "ui/QMsgDlg.h"
#include "ui_QLumiqDesk.h"

#include <QCursor>
#include <QDir>
#include <QGraphicsDropShadowEffect>
#include <QGuiApplication>
#include <QHostInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace {

QSize g_screenAreaOverride;

const char kTabStyle[] =
    "QPushButton{text-align: center center;border-image: url(:/QOrvaneDesk/image/classinfo.png);"
    "color:rgb(255,255,255);border-radius: 2px;font: 12px \"微软雅黑\" 75;}";

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
{
    registerDesktopAppTypes();

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

    Platform::adjustShellDesktopIcons();

    connect(ui->wallpaperButton, &QPushButton::clicked, this, &QLumiqDesk::openWallpaperDlg);
    connect(ui->lockButton, &QPushButton::clicked, this, &QLumiqDesk::lockWindows);
    // The app centre is linked in by start-up (a build without the web
    // engine has none); until then its button does not take a click rather
    // than pretend to open something.
    ui->appCenterButton->setEnabled(false);
    connect(ui->appCenterButton, &QPushButton::clicked, this, [this]() { openAppCenterDlg(-1); });

    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);

    // The push connection lives in a hidden page of the client's own; it
    // reports through the bridge. The message centre opens from its button
    // and from a notice's pop-up.
    QJsInterface *bridge = QJsInterface::instance();
    connect(bridge, SIGNAL(sigConnectPushServer(const QString&)), this, SLOT(connectPushServer(const QString&)));
    connect(bridge, SIGNAL(sigDisconnectPushServer(const QString&)), this, SLOT(disconnectPushServer(const QString&)));
    connect(bridge, SIGNAL(sigConnectFailed(const QString&)), this, SLOT(connectFailed(const QString&)));
    connect(bridge, SIGNAL(sigNSVPush(const QString&)), this, SLOT(NSVPush(const QString&)));
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

    updateScreenMetrics(screenArea());
    createCategoryTabs();
    resizeAllCtrl();
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

void QLumiqDesk::createCategoryTabs()
{
    const DesktopAppCatalogue &catalogue = m_store.catalogue();
    for (int i = 0; i < catalogue.size(); ++i) {
        const DesktopAppCategoryPtr &category = catalogue.at(i).first;
        if (!category)
            continue;
        auto *tab = new ZAppMenuButton(0, QString(), this, false);
        tab->setObjectName(QStringLiteral("categoryTab_%1").arg(category->id));
        tab->installEventFilter(this);
        connect(tab, &ZAppMenuButton::ELCSignal, this, &QLumiqDesk::clickBtnOp);
        tab->setText(DeskLayout::verticalTabText(category->name));
        tab->setStyleSheet(QString::fromUtf8(kTabStyle));
        tab->setGeometry(DeskLayout::categoryTabGeometry(i, m_metrics.scaleX, m_metrics.scaleY));
        tab->show();
        m_categoryTabs.append(qMakePair(QPointer<ZAppMenuButton>(tab), category->id));
        if (i == 0)
            m_firstTab = tab;
    }
}

void QLumiqDesk::clearCategoryTabs()
{
    for (const auto &entry : m_categoryTabs)
        delete entry.first.data();
    m_categoryTabs.clear();
    m_firstTab = nullptr;
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
    if (m_popupPinned == 1 || m_popupGrid)
        dropGrid();
    m_popupPinned = 1;
    openGrid(tab);
}

void QLumiqDesk::reopenPinned(const QString &categoryId)
{
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
    m_popupCategory.clear();
}

void QLumiqDesk::openGrid(ZAppMenuButton *tab)
{
    const QString categoryId = tabCategory(tab);
    if (categoryId.isEmpty())
        return;
    // An unpinned grid opened by the pointer replaces the one shown.
    if (m_popupGrid)
        dropGrid();

    const QList<DesktopAppInfoPtr> shown = DeskLayout::shownApps(m_store.apps(categoryId));
    const int rows = DeskLayout::gridRows(shown.size());
    auto *grid = new DragWidget(this, rows, DeskLayout::kGridColumns);
    grid->setObjectName(QStringLiteral("popupGrid"));
    connect(grid, &DragWidget::hindSignal, this, [this]() { m_popupPinned = 0; });
    // The add button opens the app centre at this grid's category.
    const int categoryIndex = m_store.categoryIndex(categoryId);
    connect(grid, &DragWidget::openAccept, this,
            [this, categoryIndex]() { openAppCenterDlg(categoryIndex); });
    // Tabs lie in this window; the grid is a window of its own.
    QRect geometry = DeskLayout::gridGeometry(tab->geometry(), rows);
    geometry.translate(pos());
    grid->setGeometry(geometry);

    for (const DesktopAppInfoPtr &app : shown) {
        auto *button = new DragButton;
        button->setObjectName(QStringLiteral("app_%1").arg(app->id));
        button->setAppInfo(app);
        button->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(button, &QWidget::customContextMenuRequested, this, &QLumiqDesk::showMenuUninstall);
        button->setToolTip(app->name);
        button->setCaption(DeskLayout::iconCaption(app->name));
        button->setPicturePath(app->icon);
        auto *shadow = new QGraphicsDropShadowEffect(button);
        shadow->setOffset(0, 0);
        shadow->setColor(Qt::gray);
        shadow->setBlurRadius(5);
        button->setGraphicsEffect(shadow);
        button->setStyleSheet(QStringLiteral("QToolButton{border-radius: 1px;color:rgb(255,255,255);}"));
        connect(button, &DragButton::doubleClicked, this, &QLumiqDesk::clickbtn);
        grid->addButton(button);
    }
    grid->finishGrid();
    grid->show();
    m_popupGrid = grid;
    m_popupCategory = categoryId;
    qCDebug(lcDesktop) << "grid of category" << categoryId << "open with" << shown.size()
                       << "icons, pinned" << m_popupPinned;
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
    QPixmap avatar;
    if (!m_user.avatar.isEmpty())
        avatar.load(fetchImageToCache(m_user.avatar));
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
    ui->label->installEventFilter(this);

    ui->userNamelabel->setText(m_user.company_name);
    ui->userNamelabel->adjustSize();
    const QRect a = ui->appCenterButton->geometry();
    ui->userNamelabel->move(a.left() - ui->userNamelabel->width() - 20, ui->userNamelabel->y());
    ui->label->move(a.left() - ui->userNamelabel->width() - ui->label->width() - 30, ui->label->y());
    ui->userNamelabel->installEventFilter(this);
}

void QLumiqDesk::upHeaderImage(const QString &)
{
    setupAvatar();
}

void QLumiqDesk::showEvent(QShowEvent *event)
{
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
        qCInfo(lcDesktop) << "desktop window exposed with"
                          << (m_popupGrid ? m_popupGrid->buttons().size() : 0) << "cells in its grid";
    }
    if (event->type() == QEvent::MouseButtonRelease
        && (object == ui->label || object == ui->userNamelabel))
        openUserCenterDlg();
    return QMainWindow::eventFilter(object, event);
}

void QLumiqDesk::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(rect(), m_backgroundPixmap);
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
    for (ZAppMenuButton *tab : categoryTabs()) {
        tab->move(tab->x() + dx, tab->y());
        tab->show();
    }
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
    if (execUserCenter(m_user, QJsInterface::instance(), this) == 1) {
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
    auto *popup = new QAcceptMsgWidget(strJson);
    popup->setAttribute(Qt::WA_DeleteOnClose);
    connect(popup, &QAcceptMsgWidget::install, this, &QLumiqDesk::msgClicked);
    connect(popup, &QAcceptMsgWidget::openMsgList, this, &QLumiqDesk::openMsgCenterDlg);
    popup->moveToCorner();
    popup->show();
    PushConnection::appendLog(m_userId, PushConnection::pushedText());
}

void QLumiqDesk::msgClicked(const QString &strJson)
{
    // As the app centre's own button: no service, no app centre.
    if (!networkOrTell())
        return;
    emit installOffer(strJson);
}

void QLumiqDesk::showMenuUninstall(const QPoint &)
{
    m_menuTarget = qobject_cast<DragButton *>(sender());
    if (m_menuRunner)
        m_menuRunner(m_iconMenu);
    else
        m_iconMenu->exec(QCursor::pos());
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

    if (change.kind == CatalogueStore::Change::Reset) {
        dropGrid();
        clearCategoryTabs();
        createCategoryTabs();
        if (m_firstTab)
            pressTab(m_firstTab);
        return;
    }
    if (m_popupGrid && change.categoryId == m_popupCategory) {
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
    AppLaunch::launch(*button->appInfo(), m_user.app_auth, this);
}
