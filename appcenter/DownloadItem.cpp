#include "appcenter/DownloadItem.h"

#include "appcenter/core/DownloadFormat.h"
#include "core/AppPaths.h"

#include "ui_DownloadItem.h"

namespace {

QString buttonStyle(const char *normal, const char *hover)
{
    return QStringLiteral("QToolButton{border-image: url(:/QOrvaneDesk/image/downloadManagement/%1);}"
                          "QToolButton:hover{border-image: url(:/QOrvaneDesk/image/downloadManagement/%2);}")
        .arg(QLatin1String(normal), QLatin1String(hover));
}

} // namespace

DownloadItem::DownloadItem(QWidget *parent, const DesktopAppInfoPtr &app, unsigned long listItem,
                           DownloadJob *job)
    : QWidget(parent)
    , ui(new Ui::DownloadItem)
    , m_listItem(listItem)
    , m_app(app)
    , m_job(job ? job : new DownloadJob(app, AppPaths::appDirPath(), this))
{
    registerDesktopAppTypes();
    ui->setupUi(this);
    m_job->setParent(this);
    if (app) {
        ui->photo_label->setStyleSheet(pictureStyle(app->icon));
        ui->name_label->setText(app->name);
    }
    ui->progressBar->setRange(0, 1);
    ui->progressBar->setValue(0);
    connect(ui->stop_start_toolButton, &QToolButton::clicked, this, &DownloadItem::onStartStopFlag);
    connect(ui->delete_toolButton, &QToolButton::clicked, this, &DownloadItem::onCloseDownload);
    connect(m_job, &DownloadJob::changed, this, &DownloadItem::render);
    connect(m_job, &DownloadJob::stateChanged, this, &DownloadItem::showState);
    connect(m_job, &DownloadJob::finished, this, [this](int outcome) {
        // The window may delete this row in its answer: nothing after it.
        emit signalFinish(m_listItem, m_app, outcome);
    });
    ui->reloadButton->hide();
    onStartDownload();
}

DownloadItem::~DownloadItem()
{
    delete ui;
}

void DownloadItem::onStartDownload()
{
    m_job->start();
}

void DownloadItem::onStopDownload()
{
    m_job->pause();
}

void DownloadItem::onCloseDownload()
{
    m_job->cancel();
}

void DownloadItem::onStartStopFlag()
{
    m_job->toggle();
}

void DownloadItem::on_reloadButton_clicked()
{
    ui->labelStatus->setGeometry(470, 13, 62, 21);
    ui->reloadButton->hide();
    ui->stop_start_toolButton->show();
    ui->progressBar->show();
    m_job->retry();
}

void DownloadItem::render()
{
    const DownloadJob::View &view = m_job->view();
    ui->progressBar->setRange(0, view.progress.maximum);
    ui->progressBar->setValue(view.progress.value);
    ui->labelStatus->setText(view.status);
    ui->labelSpeed->setText(view.speed);
    ui->labelRemainTime->setText(view.remaining);
    ui->labelCurrentDownload->setText(view.current);
    ui->labelFileSize->setText(view.fileSize);
}

void DownloadItem::showState(DownloadJob::State state)
{
    switch (state) {
    case DownloadJob::State::Downloading:
        ui->stop_start_toolButton->setStyleSheet(buttonStyle("icon_zt_nor.png", "icon_zt_sel.png"));
        break;
    case DownloadJob::State::Paused:
        ui->stop_start_toolButton->setStyleSheet(buttonStyle("icon_ks_nor.png", "icon_ks_sel.png"));
        break;
    case DownloadJob::State::Failed:
        // The failure in red where the bar was, retry where pause was.
        ui->progressBar->hide();
        ui->labelStatus->setGeometry(270, 13, 62, 21);
        ui->labelStatus->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0);"));
        ui->stop_start_toolButton->hide();
        ui->reloadButton->setGeometry(ui->stop_start_toolButton->geometry());
        ui->reloadButton->show();
        break;
    case DownloadJob::State::Idle:
    case DownloadJob::State::Downloaded:
    case DownloadJob::State::Cancelled:
        break;
    }
    render();
}
