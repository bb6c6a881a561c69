#pragma once

#include "login/core/LoginRecords.h"
#include "push/bridge/BridgeOrigins.h"
#include "ui/FramelessWindow.h"

#include <QDialog>
#include <QPointer>
#include <QScopedPointer>

class QWebEngineView;

namespace Ui {
class QUserInfoDlg;
}

// The user centre: the service's user-centre page of the signed-in user,
// which talks to the client through the shared page bridge. Its only way
// out is the close button (Escape is swallowed), so exec() returns 0.
class QUserInfoDlg : public FramelessWindow<QDialog>
{
    Q_OBJECT

public:
    // bridge: the process-wide page bridge, published as "QJsInterface" to
    // the documents the origins allow, as in every other bridged view. Its
    // sigOpenHtml(QString) and sigUpImage(QString) reach openHtml() and
    // upImage() for as long as the dialog lives.
    QUserInfoDlg(const LoginUserInfo &user, const BridgeOrigins &origins, QObject *bridge,
                 QWidget *parent = nullptr);
    ~QUserInfoDlg() override;

    QWebEngineView *view() const { return m_view; }

signals:
    // The page says the user's picture changed: the desktop fetches the
    // avatar anew.
    void avatarChanged();

public slots:
    void onClose();
    // strJson is a web address (not JSON): it goes to the user's default
    // browser when it is an http or https address, else it is ignored.
    void openHtml(const QString &strJson);
    void upImage(const QString &strJson);

private:
    QScopedPointer<Ui::QUserInfoDlg> ui;
    const LoginUserInfo &m_user;
    QWebEngineView *m_view = nullptr;
};
