#include "push/QAcceptMsgWidget.h"

#include "core/AppPaths.h"
#include "push/PushLog.h"
#include "service/ImageCache.h"
#include "ui_QAcceptMsgWidget.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

QAcceptMsgWidget::QAcceptMsgWidget(const QString &strJson, QWidget *parent)
    : FramelessWindow<QWidget>(parent)
    , ui(new Ui::QAcceptMsgWidget)
    , m_strJson(strJson)
    , m_message(PushMessage::parse(strJson))
{
    ui->setupUi(this);
    chrome().apply(this, FramelessChrome::Frame::Tool, true);
    chrome().setBackground(QStringLiteral(":/QOrvaneDesk/image/dialogbk.png"));
    chrome().fadeIn();

    connect(ui->closeButton, &QPushButton::clicked, this, &QAcceptMsgWidget::onClose);
    switch (m_message.kind) {
    case PushMessage::Kind::Notice:
        showNotice();
        break;
    case PushMessage::Kind::App:
        showOffer();
        break;
    case PushMessage::Kind::Other:
    case PushMessage::Kind::Invalid:
        qCDebug(lcPush) << "push message of no known kind:" << m_message.alias;
        break;
    }
}

QAcceptMsgWidget::~QAcceptMsgWidget() = default;

void QAcceptMsgWidget::showNotice()
{
    ui->appWidget->hide();
    ui->titleLabel->setText(QStringLiteral("系统消息"));
    ui->noticeTitleLabel->setText(m_message.title);
    ui->noticeContentLabel->setText(m_message.content);
    connect(ui->moreButton, &QPushButton::clicked, this, &QAcceptMsgWidget::onOpenMsgList);
}

void QAcceptMsgWidget::showSummary(const QString &text)
{
    ui->appWidget->hide();
    ui->noticeWidget->show();
    ui->titleLabel->setText(QStringLiteral("系统消息"));
    ui->noticeTitleLabel->setText(text);
    ui->noticeContentLabel->setText(QStringLiteral("消息中心里有全部消息。"));
    if (!m_summary) {
        m_summary = true;
        connect(ui->moreButton, &QPushButton::clicked, this, &QAcceptMsgWidget::onOpenMsgList);
    }
}

void QAcceptMsgWidget::showOffer()
{
    ui->noticeWidget->hide();
    ui->appWidget->setGeometry(10, 40, 331, 181);
    ui->titleLabel->setText(QStringLiteral("应用推送"));
    ui->descLabel->setText(m_message.desc);
    ui->appNameLabel->setText(m_message.name);
    ui->priceLabel->setText(m_message.priceText());
    connect(ui->installButton, &QPushButton::clicked, this, &QAcceptMsgWidget::onDownLoadApp);
    fetchPicture();
}

void QAcceptMsgWidget::fetchPicture()
{
    // The shared picture download, without waiting for it: the pop-up shows
    // at once and the picture follows, also when another download of the
    // same picture is the one that brings it.
    auto *download = new CloudDownload(this);
    download->setDownloadInfo(AppPaths::appDirPath(), m_message.icon);
    m_download = download;
    const QString path = ImageCache::localPath(AppPaths::appDirPath(), m_message.icon);
    if (!m_message.icon.isEmpty()) {
        PictureLanding::follow(this, path, [this, path] {
            const QPixmap picture(path);
            if (!picture.isNull())
                ui->appIconLabel->setPixmap(picture);
        });
    }
    connect(download, &CloudDownload::finished_signal, this, [this, download] {
        const QPixmap picture(download->succeeded() ? download->localPath() : QString());
        download->deleteLater();
        emit pictureSettled(!picture.isNull());
    });
    if (!download->begin()) {
        download->deleteLater();
        // Reported later, so that whoever made the pop-up can hear it.
        QMetaObject::invokeMethod(this, [this] { emit pictureSettled(false); }, Qt::QueuedConnection);
    }
}

void QAcceptMsgWidget::moveToCorner()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (screen)
        move(PushPopup::topLeft(screen->availableGeometry(), size()));
}

void QAcceptMsgWidget::onClose()
{
    if (m_closing)
        return;
    m_closing = true;
    setProperty("closing", true);
    chrome().fadeOut([this] { close(); });
}

void QAcceptMsgWidget::onOpenMsgList()
{
    emit openMsgList();
}

void QAcceptMsgWidget::onDownLoadApp()
{
    emit install(m_strJson);
}
