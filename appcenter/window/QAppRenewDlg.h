#pragma once

#include "login/core/Session.h"
#include "ui/FramelessWindow.h"

#include <QDialog>
#include <QScopedPointer>

class QWebEngineView;

namespace Ui {
class QAppRenewDlg;
}

// The service's renewal page for the signed-in user, next to the app
// centre, with the same bridge as the other pages (its "续费" buttons hand
// payment pages to the user's browser).
class QAppRenewDlg : public FramelessWindow<QDialog>
{
    Q_OBJECT

public:
    // The session names the pages that may reach the bridge.
    QAppRenewDlg(const QString &url, const Session &session, QWidget *parent = nullptr);
    ~QAppRenewDlg() override;

    QString address() const { return m_address; }
    QWebEngineView *view() const { return m_view; }

private slots:
    void onClose();

private:
    QScopedPointer<Ui::QAppRenewDlg> ui;
    QString m_address;
    QWebEngineView *m_view = nullptr;
    bool m_closing = false;
};
