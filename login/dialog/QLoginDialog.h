#pragma once

#include "catalogue/DesktopAppInfo.h"
#include "login/core/Session.h"
#include "ui/FramelessWindow.h"

#include <QDialog>
#include <QPointer>
#include <QScopedPointer>

class QHostInfo;
class QLabel;
class QMovie;

namespace Ui {
class QLoginDialog;
}

// Signs the user in, online against the service or, when the service could
// not be reached at start-up, offline against the last successful sign-in
// and its cached catalogue. It fills the session it is given, which must
// outlive the dialog; the dialog itself may go once the sign-in is done.
class QLoginDialog : public FramelessWindow<QDialog>
{
    Q_OBJECT

public:
    explicit QLoginDialog(Session &session, QWidget *parent = nullptr);
    ~QLoginDialog() override;

    const LoginUserInfo &loginUserInfo() const { return m_session.userInfo; }
    const LoginServiceLinks &loginServiceLinks() const { return m_session.serviceLinks; }
    const DesktopAppCatalogue &desktopAppCatalogue() const { return m_session.catalogue.catalogue(); }

    int autoLoginFlag() const { return m_autoLoginFlag; }
    bool networkAvailable() const { return m_networkAvailable; }

    // Fills the catalogue from the service, caches the icons and writes the
    // catalogue file; shows "获取桌面应用失败！" when the service fails.
    // Waits for the icons at most one icon's time-out; the ones still on
    // their way arrive in the cache while the dialog lives.
    bool fetchDesktopApps(const QString &token, const QString &uid, const QString &filePath);
    // Fills the catalogue from the file; silent on failure.
    bool loadDesktopAppsFile(const QString &filePath);

signals:
    void loginDefeated();

public slots:
    bool login();
    void onLookupHost(const QHostInfo &info);
    void onClose();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void showMessage(const QString &text);
    void setBusy(bool busy);

    QScopedPointer<Ui::QLoginDialog> ui;
    QPointer<QMovie> m_loadingMovie;
    QPointer<QLabel> m_loadingLabel;

    Session &m_session;
    int m_autoLoginFlag = -1;
    bool m_networkAvailable = true;
    // An attempt waits in nested event loops, where the user and timers
    // still reach the dialog: these keep a second attempt from starting and
    // an attempt the user walked away from from speaking up again.
    bool m_attempting = false;
    bool m_accepting = false;
    bool m_closeRequested = false;
};
