#include "appcenter/window/QAppRenewDlg.h"

#include "ui_QAppRenewDlg.h"

#include "push/bridge/BridgedPage.h"
#include "push/bridge/SessionOrigins.h"

#include <QUrl>
#include <QWebEngineView>

QAppRenewDlg::QAppRenewDlg(const QString &url, const Session &session, QWidget *parent)
    : FramelessWindow<QDialog>(parent)
    , ui(new Ui::QAppRenewDlg)
    , m_address(url)
{
    chrome().fadeIn();
    ui->setupUi(this);
    chrome().apply(this, FramelessChrome::Frame::Tool, false);
    chrome().setBackground(QStringLiteral(":/QOrvaneDesk/image/appRenew.png"));

    m_view = new QWebEngineView(ui->widget);
    m_view->setGeometry(0, 0, ui->widget->width(), ui->widget->height());
    m_view->setPage(new BridgedPage(sessionBridgeOrigins(session.userInfo, session.serviceLinks), m_view));
    m_view->load(QUrl::fromUserInput(m_address));

    connect(ui->pushButton, &QPushButton::clicked, this, &QAppRenewDlg::onClose);
}

QAppRenewDlg::~QAppRenewDlg() = default;

void QAppRenewDlg::onClose()
{
    // A second press during the fade does nothing more.
    if (m_closing)
        return;
    m_closing = true;
    chrome().fadeOut([this]() { close(); });
}
