#include "desktop/usercenter/QUserInfoDlg.h"

#include "platform/Platform.h"
#include "push/bridge/BridgedPage.h"
#include "ui_QUserInfoDlg.h"

#include <QUrl>
#include <QWebEngineView>

namespace {

// Connects a bridge signal by its signature when the bridge has it, so the
// dialog needs nothing of the bridge's class.
void connectBridge(QObject *bridge, const char *signal, QObject *receiver, const char *slot)
{
    // SIGNAL() and SLOT() put a code digit in front of the signature.
    if (bridge->metaObject()->indexOfSignal(QMetaObject::normalizedSignature(signal + 1)) < 0)
        return;
    QObject::connect(bridge, signal, receiver, slot);
}

} // namespace

QUserInfoDlg::QUserInfoDlg(const LoginUserInfo &user, const BridgeOrigins &origins, QObject *bridge,
                           QWidget *parent)
    : FramelessWindow<QDialog>(parent)
    , ui(new Ui::QUserInfoDlg)
    , m_user(user)
{
    ui->setupUi(this);
    chrome().apply(this, FramelessChrome::Frame::Tool, false);
    setKeyPolicy(FramelessChrome::Keys::EscapeSwallowed);
    chrome().fadeIn();
    chrome().setBackground(QStringLiteral(":/QOrvaneDesk/image/userCenterDlg.png"));

    m_view = new QWebEngineView(ui->widget);
    m_view->setGeometry(0, 0, ui->widget->width(), ui->widget->height());

    // A page the user centre leads to (a link, a redirect, a script) is
    // not the service's just because it shows here.
    m_view->setPage(new BridgedPage(origins, m_view, bridge));
    m_view->load(QUrl(m_user.user_center, QUrl::TolerantMode));

    if (bridge) {
        connectBridge(bridge, SIGNAL(sigOpenHtml(QString)), this, SLOT(openHtml(QString)));
        connectBridge(bridge, SIGNAL(sigUpImage(QString)), this, SLOT(upImage(QString)));
    }
    connect(ui->pushButton_3, &QPushButton::clicked, this, &QUserInfoDlg::onClose);
}

QUserInfoDlg::~QUserInfoDlg() = default;

void QUserInfoDlg::onClose()
{
    chrome().fadeOut([this]() { close(); });
}

void QUserInfoDlg::openHtml(const QString &strJson)
{
    // Refusals and failures are logged by the platform layer.
    Platform::openInBrowser(strJson);
}

void QUserInfoDlg::upImage(const QString &)
{
    emit avatarChanged();
}
