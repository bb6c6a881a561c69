#pragma once

#include "appcenter/flows/AppFlows.h"
#include "catalogue/DesktopAppInfo.h"
#include "login/core/Session.h"
#include "ui/FramelessWindow.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QScopedPointer>
#include <QWidget>

class BridgedPage;
class DownloadItem;
class FindRegedit;
class MsgBoxQueue;
class MyToolButton;
class QListWidget;
class QListWidgetItem;
class QWebEngineView;
class ZAppMenuButton;

namespace Ui {
class QAppCenterWidget;
}

// The app centre: the service's store and uninstall-management pages in a
// bridged web view, and the native download page with the rows of
// downloads in progress and finished. What a page asks for is done by
// AppFlows; this window shows pages and rows and carries out what the
// flows decide (page calls, messages, launches).
//
// Made once by the desktop window and kept: closing only hides it, and
// reopen() brings it back.
class QAppCenterWidget : public FramelessWindow<QWidget>
{
    Q_OBJECT

public:
    // The session outlives the window.
    explicit QAppCenterWidget(Session &session, QWidget *parent = nullptr);
    ~QAppCenterWidget() override;

    // Brings the window back; a category page that was shown is loaded again.
    void reopen();
    // The category page reopen() shows (the desktop's "add" button of a grid).
    void setSelectedCategory(int index) { m_selectedCategory = index; }
    int selectedCategory() const { return m_selectedCategory; }
    int pageMode() const { return m_pageMode; }

    AppFlows *flows() const { return m_flows; }
    // The flows' messages, shown one after another.
    MsgBoxQueue *messages() const { return m_messages; }
    QWebEngineView *view() const { return m_view; }

signals:
    // An application has been uninstalled; the desktop tells the service
    // and takes it off the catalogue.
    void uninstallationCompleteSlot(const DesktopAppInfoPtr &app);

public slots:
    void onClose();
    void onBeing_pushButton();
    void onFinish_pushButton();
    void onDownload_pushButton();
    void onPushButton_app();
    void onPushButton_unload();
    void showHidApp();
    void install(const QString &strJson);
    void pushInstall(const QString &strJson);
    void uninstall(const QString &strJson);
    void add(const QString &strJson);
    void remove(const QString &strJson);
    void open(const QString &strJson);
    void openPayHtml(const QString &strJson);
    void on_toolButton_find_clicked();
    void onToolButtonClicked();
    void startDownLoadApp(const DesktopAppInfoPtr &app);
    void addFinishListWidget(unsigned long listItem, const DesktopAppInfoPtr &app, int flag);
    void removeFinishItemSlot(unsigned long listItem);
    void installationCompleteSlot(const QString &location, DesktopAppInfoPtr app);
    void init();

private:
    void loadPage(const QString &address);
    void addFinishedRow(const DesktopAppInfoPtr &app);
    void showList(QListWidget *list, const QString &emptyText);
    void watch(FindRegedit *watcher);
    void runUninstaller(const DesktopAppInfoPtr &app, const QString &program,
                        const QStringList &arguments);
    void showMessage(const AppFlows::Message &message);
    // The in-progress row of the application, if it has one.
    DownloadItem *rowOf(const QString &appId) const;
    // Rows are known by a key of their own, never by an address: a row that
    // reports after its item went finds nothing.
    unsigned long newKey(QListWidgetItem *item);
    QListWidgetItem *takeItem(unsigned long key);

    QScopedPointer<Ui::QAppCenterWidget> ui;
    Session &m_session;
    AppFlows *m_flows = nullptr;
    MsgBoxQueue *m_messages = nullptr;
    QWebEngineView *m_view = nullptr;
    BridgedPage *m_page = nullptr;
    MyToolButton *m_renewButton = nullptr;
    ZAppMenuButton *m_beingButton = nullptr;
    ZAppMenuButton *m_finishButton = nullptr;
    ZAppMenuButton *m_appButton = nullptr;
    ZAppMenuButton *m_unloadButton = nullptr;
    ZAppMenuButton *m_downloadButton = nullptr;
    QList<ZAppMenuButton *> m_categoryButtons;
    QString m_keyword;
    int m_pageMode = 1;
    int m_selectedCategory = 0;
    unsigned long m_lastKey = 0;
    QHash<unsigned long, QListWidgetItem *> m_items;
    QList<QPointer<FindRegedit>> m_watchers;
};
