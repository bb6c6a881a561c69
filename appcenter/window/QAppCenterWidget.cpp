#include "appcenter/window/QAppCenterWidget.h"

#include "ui_QAppCenterWidget.h"

#include "appcenter/core/AppcenterLog.h"
#include "appcenter/DownloadFinishItem.h"
#include "appcenter/DownloadItem.h"
#include "appcenter/window/QAppRenewDlg.h"
#include "core/Settings.h"
#include "desktop/launch/AppLaunch.h"
#include "desktop/widgets/MyToolButton.h"
#include "desktop/widgets/ZAppMenuButton.h"
#include "platform/Platform.h"
#include "push/bridge/BridgedPage.h"
#include "push/bridge/QJsInterface.h"
#include "push/bridge/SessionOrigins.h"
#include "appcenter/flows/AppRequest.h"
#include "sysinfo/FindRegedit.h"
#include "ui/MsgBoxQueue.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QListWidget>
#include <QScreen>
#include <QUrl>
#include <QWebEngineView>

namespace {

const QString kListStyle = QStringLiteral(
    "QPushButton{border-image: url(:/QOrvaneDesk/image/img_bg_nor.png); font: 16px \"Microsoft YaHei\";"
    " color: rgb(51, 51, 51);}"
    "QPushButton:hover{border-image: url(:/QOrvaneDesk/image/img_bg_sel.png); color: rgb(255, 255, 255);}"
    "QPushButton:pressed{border-image: url(:/QOrvaneDesk/image/img_bg_sel.png); color: rgb(255, 255, 255);}");
const QString kListSelectedStyle = QStringLiteral(
    "QPushButton{border-image: url(:/QOrvaneDesk/image/img_bg_sel.png); font: 16px \"Microsoft YaHei\";"
    " color: rgb(255, 255, 255);}");
const QString kTopStyle = QStringLiteral(
    "QPushButton{background: transparent; border: none; font: 16px \"Microsoft YaHei\"; color: rgb(255, 255, 255);}"
    "QPushButton:hover{border-image: url(:/QOrvaneDesk/image/img_xz1.png);}"
    "QPushButton:pressed{border-image: url(:/QOrvaneDesk/image/img_xz1.png);}");
const QString kTopSelectedStyle = QStringLiteral(
    "QPushButton{border-image: url(:/QOrvaneDesk/image/img_xz1.png); font: 16px \"Microsoft YaHei\";"
    " color: rgb(255, 255, 255);}");

} // namespace

QAppCenterWidget::QAppCenterWidget(Session &session, QWidget *parent)
    : FramelessWindow<QWidget>(parent)
    , ui(new Ui::QAppCenterWidget)
    , m_session(session)
{
    ui->setupUi(this);
    chrome().apply(this, FramelessChrome::Frame::Dialog, true);
    chrome().setBackground(QStringLiteral(":/QOrvaneDesk/image/appcenter_bg.png"));
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move((area.width() - width()) / 2, (area.height() - height()) / 2);
    }
    m_selectedCategory = 0;
    m_keyword.clear();

    m_messages = new MsgBoxQueue(this);
    m_flows = new AppFlows(&m_session.catalogue, AppFlows::Service::real(), this);
    m_flows->setCompanyId(m_session.serviceLinks.companyId);
    connect(m_flows, &AppFlows::pageCall, this, [this](const QString &function, const QStringList &args) {
        runPageScript(m_page, function, args);
    });
    connect(m_flows, &AppFlows::message, this, &QAppCenterWidget::showMessage);
    connect(m_flows, &AppFlows::downloadRequested, this, &QAppCenterWidget::startDownLoadApp);
    connect(m_flows, &AppFlows::uninstallRequested, this, &QAppCenterWidget::runUninstaller);
    connect(m_flows, &AppFlows::uninstallationComplete, this,
            &QAppCenterWidget::uninstallationCompleteSlot);
    connect(m_flows, &AppFlows::openRequested, this, [this](const DesktopAppInfoPtr &app) {
        // Asked for by a page: its message waits its turn like the others.
        AppLaunch::launch(*app, m_session.userInfo.app_auth, this,
                          [this](const QString &title, const QString &text) { m_messages->post(title, text); });
    });
    connect(m_flows, &AppFlows::reopenRequested, this, &QAppCenterWidget::reopen);

    // A page's call returns at once: the flow (its service calls, its
    // message) runs after it from the event loop, never inside the web
    // engine's delivery of the call, where any wait would hold every web
    // view of the client.
    QJsInterface *bridge = QJsInterface::instance();
    connect(bridge, &QJsInterface::sigInstall, this, &QAppCenterWidget::install, Qt::QueuedConnection);
    connect(bridge, &QJsInterface::sigUninstall, this, &QAppCenterWidget::uninstall, Qt::QueuedConnection);
    connect(bridge, &QJsInterface::sigAdd, this, &QAppCenterWidget::add, Qt::QueuedConnection);
    connect(bridge, &QJsInterface::sigRemove, this, &QAppCenterWidget::remove, Qt::QueuedConnection);
    connect(bridge, &QJsInterface::sigOpen, this, &QAppCenterWidget::open, Qt::QueuedConnection);
    connect(bridge, &QJsInterface::sigOpenPayHtml, this, &QAppCenterWidget::openPayHtml, Qt::QueuedConnection);

    ui->widget_2->hide();
    m_view = new QWebEngineView(this);
    m_view->setGeometry(ui->widget_2->geometry());
    m_page = new BridgedPage(sessionBridgeOrigins(m_session.userInfo, m_session.serviceLinks), m_view);
    m_view->setPage(m_page);

    init();

    m_renewButton = new MyToolButton(this);
    m_renewButton->setGeometry(781, 36, 24, 24);
    m_renewButton->setToolTip(QStringLiteral("应用续费"));
    m_renewButton->setAccessibleName(QStringLiteral("应用续费"));
    m_renewButton->setAccessibleDescription(QStringLiteral("打开应用续费页面"));
    connect(m_renewButton, &QToolButton::clicked, this, &QAppCenterWidget::onToolButtonClicked);
    ui->lineEdit->setTextMargins(10, 0, 0, 0);
    connect(ui->lineEdit, &QLineEdit::editingFinished, this,
            &QAppCenterWidget::on_toolButton_find_clicked);
    m_pageMode = 1;
}

QAppCenterWidget::~QAppCenterWidget()
{
    // The search box loses the focus while the window goes, and its
    // editingFinished() would reach a half-destroyed window.
    ui->lineEdit->disconnect(this);
    // Watchers end (and are waited for) with their parent; rows with their lists.
}

void QAppCenterWidget::init()
{
    auto make = [this](const QString &text, const QRect &geometry, const QString &style,
                       void (QAppCenterWidget::*slot)()) {
        auto *button = new ZAppMenuButton(0, text, this, false);
        button->setAccessibleDescription(QStringLiteral("切换到“%1”").arg(text));
        button->setGeometry(geometry);
        button->setStyleSheet(style);
        button->setCursor(Qt::PointingHandCursor);
        connect(button, &QPushButton::clicked, this, slot);
        return button;
    };
    m_beingButton = make(QStringLiteral("正在下载"), {6, 69, 138, 40}, kListStyle,
                         &QAppCenterWidget::onBeing_pushButton);
    m_finishButton = make(QStringLiteral("下载完成"), {6, 112, 138, 40}, kListStyle,
                          &QAppCenterWidget::onFinish_pushButton);
    m_appButton = make(QStringLiteral("应用宝库"), {170, 8, 96, 60}, kTopStyle,
                       &QAppCenterWidget::onPushButton_app);
    m_unloadButton = make(QStringLiteral("卸载管理"), {267, 8, 96, 60}, kTopStyle,
                          &QAppCenterWidget::onPushButton_unload);
    m_downloadButton = make(QStringLiteral("下载管理"), {364, 8, 96, 60}, kTopStyle,
                            &QAppCenterWidget::onDownload_pushButton);
    connect(ui->pushButton_3, &QPushButton::clicked, this, &QAppCenterWidget::onClose);

    m_beingButton->hide();
    m_finishButton->hide();
    ui->label->hide();
    ui->label_15->hide();

    const auto &links = m_session.serviceLinks.appCategoryLinks;
    for (int i = 0; i < links.size(); ++i) {
        auto *button = new ZAppMenuButton(0, links[i].first, this, false);
        button->setAccessibleDescription(QStringLiteral("应用分类“%1”").arg(links[i].first));
        button->setGeometry(6, 69 + 43 * i, 138, 40);
        button->setStyleSheet(kListStyle);
        button->setCursor(Qt::PointingHandCursor);
        connect(button, &QPushButton::clicked, this, &QAppCenterWidget::showHidApp);
        button->show();
        m_categoryButtons.append(button);
        if (i == 0)
            onPushButton_app();
    }
}

void QAppCenterWidget::loadPage(const QString &address)
{
    qCDebug(lcAppcenter) << "loading" << address;
    m_view->load(QUrl(address, QUrl::TolerantMode));
}

void QAppCenterWidget::onPushButton_app()
{
    m_pageMode = 1;
    m_beingButton->hide();
    m_finishButton->hide();
    ui->widget->hide();
    for (ZAppMenuButton *button : qAsConst(m_categoryButtons))
        button->show();
    if (!m_categoryButtons.isEmpty())
        emit m_categoryButtons.first()->clicked();
    m_appButton->setStyleSheet(kTopSelectedStyle);
    m_unloadButton->setStyleSheet(kTopStyle);
    m_downloadButton->setStyleSheet(kTopStyle);
    m_view->show();
}

void QAppCenterWidget::onPushButton_unload()
{
    m_pageMode = 2;
    const auto &links = m_session.serviceLinks.appCategoryLinks;
    // Without categories there is no page to show.
    if (!links.isEmpty())
        loadPage(m_session.serviceLinks.myAppSearchBase + links.first().second);
    m_beingButton->hide();
    m_finishButton->hide();
    ui->widget->hide();
    m_unloadButton->setStyleSheet(kTopSelectedStyle);
    m_appButton->setStyleSheet(kTopStyle);
    m_downloadButton->setStyleSheet(kTopStyle);
    for (ZAppMenuButton *button : qAsConst(m_categoryButtons))
        button->show();
    if (!m_categoryButtons.isEmpty())
        emit m_categoryButtons.first()->clicked();
    m_view->show();
}

void QAppCenterWidget::onDownload_pushButton()
{
    m_view->hide();
    for (ZAppMenuButton *button : qAsConst(m_categoryButtons))
        button->hide();
    m_downloadButton->setStyleSheet(kTopSelectedStyle);
    m_appButton->setStyleSheet(kTopStyle);
    m_unloadButton->setStyleSheet(kTopStyle);
    m_beingButton->show();
    m_finishButton->show();
    ui->widget->setGeometry(146, 69, 667, 453);
    ui->widget->show();
    m_selectedCategory = -1;
}

void QAppCenterWidget::showList(QListWidget *list, const QString &emptyText)
{
    list->setGeometry(0, 40, 667, 413);
    if (list->count() > 0) {
        ui->label->hide();
        ui->label_15->hide();
        list->show();
    } else {
        list->hide();
        ui->label_15->setText(emptyText);
        ui->label->show();
        ui->label_15->show();
    }
}

void QAppCenterWidget::onBeing_pushButton()
{
    m_beingButton->setStyleSheet(kListSelectedStyle);
    m_finishButton->setStyleSheet(kListStyle);
    ui->finishListWidget->hide();
    showList(ui->listWidget, QStringLiteral("暂无正在下载的应用..."));
}

void QAppCenterWidget::onFinish_pushButton()
{
    m_finishButton->setStyleSheet(kListSelectedStyle);
    m_beingButton->setStyleSheet(kListStyle);
    ui->listWidget->hide();
    showList(ui->finishListWidget, QStringLiteral("暂无下载完成的应用..."));
}

void QAppCenterWidget::showHidApp()
{
    const auto &links = m_session.serviceLinks.appCategoryLinks;
    for (int i = 0; i < m_categoryButtons.size(); ++i) {
        ZAppMenuButton *button = m_categoryButtons[i];
        if (button != sender()) {
            button->setStyleSheet(kListStyle);
            continue;
        }
        button->setStyleSheet(kListSelectedStyle);
        const QString url = i < links.size() ? links[i].second : QString();
        QString address;
        if (!m_keyword.isEmpty()) {
            address = QStringLiteral("%1%2&keywords=%3")
                          .arg(m_session.serviceLinks.appStoreSearchBase, url,
                               QString::fromUtf8(QUrl::toPercentEncoding(m_keyword)));
            // A keyword is good for one page load.
            m_keyword.clear();
        } else if (m_pageMode == 1) {
            address = m_session.serviceLinks.appStoreSearchBase + url;
        } else if (m_pageMode == 2) {
            address = m_session.serviceLinks.myAppSearchBase + url;
        }
        loadPage(address);
        m_selectedCategory = i;
    }
}

void QAppCenterWidget::on_toolButton_find_clicked()
{
    if (!ui->lineEdit->hasFocus())
        return;
    m_keyword = ui->lineEdit->text();
    qCDebug(lcAppcenter) << "search" << m_keyword;
    onPushButton_app();
}

void QAppCenterWidget::openPayHtml(const QString &strJson)
{
    // The page's address, handed to the user's own browser; only web
    // addresses go there.
    if (!Platform::openInBrowser(strJson))
        qCWarning(lcAppcenter) << "payment page not opened:" << strJson.left(200);
}

void QAppCenterWidget::onToolButtonClicked()
{
    const QString uid = Settings::uid();
    m_renewButton->repaint();
    const QString address = m_session.serviceLinks.appRenewals + QStringLiteral("?uid=%1").arg(uid);
    auto *dialog = new QAppRenewDlg(address, m_session);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->move(geometry().right() + 5, geometry().top());
    dialog->exec();
}

void QAppCenterWidget::onClose()
{
    chrome().fadeOut([this]() { hide(); });
}

void QAppCenterWidget::reopen()
{
    setWindowModality(Qt::WindowModal);
    raise();
    activateWindow();
    if (m_selectedCategory >= 0 && m_selectedCategory < m_categoryButtons.size())
        emit m_categoryButtons[m_selectedCategory]->clicked();
    setWindowOpacity(1.0);
    if (isHidden())
        show();
}

void QAppCenterWidget::install(const QString &strJson)
{
    onDownload_pushButton();
    // An application already downloading (a reloaded store page, a push
    // offer of it) keeps its one row: it is brought forward, not begun
    // again beside itself.
    const AppRequest request = AppRequest::parse(strJson);
    if (request.valid && !request.appId.isEmpty()) {
        if (DownloadItem *row = rowOf(request.appId)) {
            onBeing_pushButton();
            for (int i = 0; i < ui->listWidget->count(); ++i) {
                QListWidgetItem *item = ui->listWidget->item(i);
                if (ui->listWidget->itemWidget(item) == row) {
                    ui->listWidget->setCurrentItem(item);
                    ui->listWidget->scrollToItem(item);
                }
            }
            return;
        }
    }
    m_flows->install(strJson);
}

DownloadItem *QAppCenterWidget::rowOf(const QString &appId) const
{
    for (int i = 0; i < ui->listWidget->count(); ++i) {
        auto *row = qobject_cast<DownloadItem *>(ui->listWidget->itemWidget(ui->listWidget->item(i)));
        if (!row || !row->job()->app() || row->job()->app()->id != appId)
            continue;
        const DownloadJob::State state = row->job()->state();
        if (state != DownloadJob::State::Downloaded && state != DownloadJob::State::Cancelled)
            return row;
    }
    return nullptr;
}

void QAppCenterWidget::pushInstall(const QString &strJson)
{
    install(strJson);
}

void QAppCenterWidget::uninstall(const QString &strJson)
{
    m_flows->uninstall(strJson);
}

void QAppCenterWidget::add(const QString &strJson)
{
    m_flows->add(strJson);
}

void QAppCenterWidget::remove(const QString &strJson)
{
    m_flows->remove(strJson);
}

void QAppCenterWidget::open(const QString &strJson)
{
    m_flows->open(strJson);
}

unsigned long QAppCenterWidget::newKey(QListWidgetItem *item)
{
    m_items.insert(++m_lastKey, item);
    return m_lastKey;
}

QListWidgetItem *QAppCenterWidget::takeItem(unsigned long key)
{
    return m_items.take(key);
}

void QAppCenterWidget::startDownLoadApp(const DesktopAppInfoPtr &app)
{
    if (!app)
        return;
    if (app->type != QLatin1String("2")) {
        // Nothing to install on this computer: registered at once.
        addFinishedRow(app);
        installationCompleteSlot(QString(), app);
        onFinish_pushButton();
        return;
    }
    auto *item = new QListWidgetItem;
    item->setSizeHint(QSize(620, 60));
    auto *row = new DownloadItem(ui->listWidget, app, newKey(item));
    ui->listWidget->addItem(item);
    ui->listWidget->setItemWidget(item, row);
    connect(row, &DownloadItem::signalFinish, this, &QAppCenterWidget::addFinishListWidget);
    onBeing_pushButton();
}

void QAppCenterWidget::addFinishedRow(const DesktopAppInfoPtr &app)
{
    auto *item = new QListWidgetItem;
    item->setSizeHint(QSize(620, 60));
    auto *row = new DownloadFinishItem(app->icon, app->name, newKey(item), ui->finishListWidget);
    ui->finishListWidget->addItem(item);
    ui->finishListWidget->setItemWidget(item, row);
    connect(row, &DownloadFinishItem::removeFinishItem, this, &QAppCenterWidget::removeFinishItemSlot);
}

void QAppCenterWidget::addFinishListWidget(unsigned long listItem, const DesktopAppInfoPtr &app,
                                           int flag)
{
    if (flag == 0) {
        delete takeItem(listItem);
    } else if (flag == 2 && app) {
        addFinishedRow(app);
        auto *watcher = new FindRegedit(this, app, FindRegedit::WaitForInstallation);
        connect(watcher, &FindRegedit::installationCompleteSiganl, this,
                &QAppCenterWidget::installationCompleteSlot);
        watch(watcher);
        onFinish_pushButton();
        // The row goes once its last signal has been handled.
        if (QListWidgetItem *item = takeItem(listItem)) {
            QWidget *row = ui->listWidget->itemWidget(item);
            ui->listWidget->removeItemWidget(item);
            if (row)
                row->deleteLater();
            delete item;
        }
    }
}

void QAppCenterWidget::removeFinishItemSlot(unsigned long listItem)
{
    if (QListWidgetItem *item = takeItem(listItem)) {
        QWidget *row = ui->finishListWidget->itemWidget(item);
        ui->finishListWidget->removeItemWidget(item);
        if (row)
            row->deleteLater();
        delete item;
    }
    if (!ui->finishListWidget->isHidden() || ui->label_15->isVisible())
        onFinish_pushButton();
}

void QAppCenterWidget::installationCompleteSlot(const QString &location, DesktopAppInfoPtr app)
{
    Q_UNUSED(location);
    m_flows->installationComplete(app);
}

void QAppCenterWidget::watch(FindRegedit *watcher)
{
    watcher->setCatalogueStore(&m_session.catalogue);
    connect(watcher, &QThread::finished, watcher, &QObject::deleteLater);
    m_watchers.append(watcher);
    watcher->start();
}

void QAppCenterWidget::runUninstaller(const DesktopAppInfoPtr &app, const QString &program,
                                      const QStringList &arguments)
{
    if (!Platform::startProgram(program, arguments))
        qCWarning(lcAppcenter) << "uninstaller did not start:" << program;
    auto *watcher = new FindRegedit(this, app, FindRegedit::WaitForUninstallation);
    connect(watcher, &FindRegedit::uninstallationCompleteSiganl, m_flows, &AppFlows::uninstalled);
    watch(watcher);
}

void QAppCenterWidget::showMessage(const AppFlows::Message &message)
{
    m_messages->post(message.title, message.text);
}
