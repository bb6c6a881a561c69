#include "login/dialog/QLoginDialog.h"

#include "ui_QLoginDialog.h"

#include "catalogue/CatalogueFile.h"
#include "core/AppPaths.h"
#include "core/Settings.h"
#include "login/core/CatalogueFetch.h"
#include "login/core/LoginAttempt.h"
#include "login/core/LoginDeployment.h"
#include "login/core/LoginLog.h"
#include "login/core/LoginTexts.h"
#include "service/IconFetch.h"
#include "service/SrvInterface.h"
#include "ui/QMsgDlg.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHostInfo>
#include <QLabel>
#include <QMovie>
#include <QScreen>

QLoginDialog::QLoginDialog(Session &session, QWidget *parent)
    : FramelessWindow<QDialog>(parent)
    , ui(new Ui::QLoginDialog)
    , m_session(session)
{
    ui->setupUi(this);
    chrome().apply(this, FramelessChrome::Frame::Tool, false);
    setKeyPolicy(FramelessChrome::Keys::EscapeSwallowed);
    chrome().fadeIn();

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->virtualGeometry();
        move((desktop.width() - width()) / 2, (desktop.height() - height()) / 2);
    }

    chrome().setBackground(QStringLiteral(":/QOrvaneDesk/image/login_bk.png"));
    m_loadingMovie = new QMovie(QStringLiteral(":/QOrvaneDesk/image/loading.gif"), QByteArray(), this);
    m_loadingLabel = new QLabel(ui->loginButton);
    m_loadingLabel->setObjectName(QStringLiteral("loadingLabel"));
    m_loadingLabel->setMovie(m_loadingMovie);
    m_loadingLabel->setAccessibleName(QStringLiteral("正在登录"));
    m_loadingLabel->hide();

    m_autoLoginFlag = Settings::autoLoginFlag();

    ui->accountLineEdit->setTextMargins(30, 0, 0, 0);
    ui->pwdLineEdit->setTextMargins(30, 0, 0, 0);
    ui->accountLineEdit->setPlaceholderText(QStringLiteral("请输入账号/手机号"));
    ui->pwdLineEdit->setPlaceholderText(QStringLiteral("请输入密码"));
    ui->loginButton->setFocus();
    ui->loginButton->setDefault(true);
    ui->pwdLineEdit->setEchoMode(QLineEdit::Password);

    if (Settings::rememberCredentials()) {
        ui->accountLineEdit->setText(Settings::userName());
        ui->pwdLineEdit->setText(Settings::userPassword());
    }

    ui->registerLabel->installEventFilter(this);

    connect(ui->loginButton, &QPushButton::clicked, this, &QLoginDialog::login);
    connect(ui->closeButton, &QPushButton::clicked, this, &QLoginDialog::onClose);

    m_networkAvailable = true;
    const QString host = LoginDeployment::probeHost(AppPaths::serverAddress());
    qCDebug(lcLogin) << "probing" << host;
    QHostInfo::lookupHost(host, this, &QLoginDialog::onLookupHost);
}

QLoginDialog::~QLoginDialog() = default;

void QLoginDialog::onLookupHost(const QHostInfo &info)
{
    m_networkAvailable = info.error() == QHostInfo::NoError;
    qCDebug(lcLogin) << "service host" << info.hostName()
                           << (m_networkAvailable ? "reachable" : "not reachable");
}

void QLoginDialog::setBusy(bool busy)
{
    ui->loginButton->setEnabled(!busy);
    ui->accountLineEdit->setEnabled(!busy);
    ui->pwdLineEdit->setEnabled(!busy);
    if (busy) {
        m_loadingLabel->setGeometry(180, 10, 20, 20);
        m_loadingMovie->setScaledSize(QSize(20, 20));
        m_loadingMovie->start();
        m_loadingLabel->show();
    } else {
        m_loadingMovie->stop();
        m_loadingLabel->hide();
    }
}

void QLoginDialog::showMessage(const QString &text)
{
    // On the heap: the dialog may be destroyed while the box waits, and it
    // takes its child box with it.
    const QPointer<QMsgDlg> box = new QMsgDlg(LoginTexts::title(), text, this);
    box->exec();
    delete box.data();
}

bool QLoginDialog::login()
{
    // One attempt at a time, and none once a success is fading out.
    if (m_attempting || m_accepting)
        return false;
    m_attempting = true;
    setBusy(true);

    // The dialog can be closed, and then even destroyed (WA_DeleteOnClose),
    // while the attempt waits for the service: nothing of it is touched
    // after that, and a closed dialog neither comes back nor speaks.
    const QPointer<QLoginDialog> self(this);
    auto wanted = [self]() { return self && !self->m_closeRequested; };
    LoginAttempt::Hooks hooks;
    hooks.message = [self, wanted](const QString &text) {
        if (wanted())
            self->showMessage(text);
    };
    hooks.showDialog = [self, wanted]() {
        if (wanted() && !self->isVisible())
            self->show();
    };
    hooks.requestLogin = [](const QString &account, const QString &password, QString *answer) {
        SrvInterface service;
        return service.login(account, password, answer);
    };
    hooks.fetchCatalogue = [self](const QString &token, const QString &uid) {
        return self && self->fetchDesktopApps(token, uid, CatalogueFile::defaultPath());
    };
    hooks.loadCatalogueFile = [self]() {
        return self && self->loadDesktopAppsFile(CatalogueFile::defaultPath());
    };

    LoginUserInfo user = m_session.userInfo;
    LoginServiceLinks links = m_session.serviceLinks;
    LoginAttempt attempt(hooks);
    const bool ok = attempt.run(ui->accountLineEdit->text(), ui->pwdLineEdit->text(),
                                m_networkAvailable, &user, &links);
    if (!self)
        return false;
    m_attempting = false;
    m_session.userInfo = user;
    m_session.serviceLinks = links;
    if (m_closeRequested) {
        setBusy(false);
        return false;
    }
    if (ok) {
        qCDebug(lcLogin) << "signed in";
        // The automatic attempt at start-up runs hidden and stays so.
        if (m_autoLoginFlag == 1 && !isVisible())
            return true;
        m_accepting = true;
        chrome().fadeOut([this]() { accept(); });
    } else {
        emit loginDefeated();
    }
    setBusy(false);
    return ok;
}

bool QLoginDialog::fetchDesktopApps(const QString &token, const QString &uid,
                                    const QString &filePath)
{
    const QPointer<QLoginDialog> self(this);
    CatalogueFetch::Hooks hooks;
    hooks.requestApps = [](const QString &u, const QString &t, QString *answer) {
        SrvInterface service;
        return service.getCloudDesktopAppFullInfo(u, t, answer);
    };
    hooks.message = [self](const QString &text) {
        if (self && !self->m_closeRequested)
            self->showMessage(text);
    };
    hooks.fetchIcons = [self](const QStringList &addresses) {
        // The sign-in waits for one icon's time at most; icons still on
        // their way complete into the cache while the dialog lives.
        return IconFetch::concurrent(addresses, AppPaths::appDirPath(), IconFetch::kPerHost, -1,
                                     self.data());
    };
    // The fetch waits in nested event loops too; it fills a copy that the
    // session takes over only if the dialog is still there.
    DesktopAppCatalogue catalogue = m_session.catalogue.catalogue();
    const bool ok = CatalogueFetch::run(hooks, token, uid, filePath, &catalogue);
    if (!self)
        return false;
    m_session.catalogue.reset(catalogue);
    return ok;
}

bool QLoginDialog::loadDesktopAppsFile(const QString &filePath)
{
    DesktopAppCatalogue catalogue;
    const bool ok = CatalogueFile::read(filePath, &catalogue);
    m_session.catalogue.reset(catalogue);
    return ok;
}

void QLoginDialog::onClose()
{
    m_closeRequested = true;
    chrome().fadeOut([this]() { reject(); });
}

bool QLoginDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->registerLabel) {
        switch (event->type()) {
        case QEvent::MouseButtonRelease:
            QDesktopServices::openUrl(LoginDeployment::registerPageUrl());
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
            // The link is not a handle for dragging the dialog.
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void QLoginDialog::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

void QLoginDialog::showEvent(QShowEvent *event)
{
    qCDebug(lcLogin) << "login dialog shown";
    // Shown again (exec() after an earlier ending): a fresh start.
    if (!m_attempting) {
        m_accepting = false;
        m_closeRequested = false;
    }
    QDialog::showEvent(event);
}
