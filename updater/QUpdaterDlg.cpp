#include "updater/QUpdaterDlg.h"

#include "appcenter/core/DownloadFormat.h"
#include "updater/UpdaterView.h"
#include "ui_QUpdaterDlg.h"

QUpdaterDlg::QUpdaterDlg(UpdateFlow *flow, QWidget *parent)
    : FramelessWindow<QDialog>(parent)
    , ui(new Ui::QUpdaterDlg)
    , m_flow(flow)
{
    ui->setupUi(this);
    setWindowTitle(UpdaterView::title());
    chrome().apply(this, FramelessChrome::Frame::Dialog, true);
    setKeyPolicy(FramelessChrome::Keys::EscapeSwallowed);
    chrome().setBackground(QStringLiteral(":/QOrvaneDesk/image/msg/box.png"));
    chrome().fadeIn();

    ui->versionLabel->setText(UpdaterView::versionText(flow->options().version));
    showState(flow->state());
    connect(flow, &UpdateFlow::stateChanged, this, &QUpdaterDlg::showState);
    connect(flow, &UpdateFlow::progress, this, &QUpdaterDlg::onProgress);
    connect(ui->closeButton, &QPushButton::clicked, flow, &UpdateFlow::cancel);
}

QUpdaterDlg::~QUpdaterDlg() = default;

void QUpdaterDlg::showState(UpdateFlow::State state)
{
    ui->statusLabel->setText(UpdaterView::stateText(state));
    // From the swap on there is nothing left to cancel.
    const bool cancellable = state == UpdateFlow::State::Idle || state == UpdateFlow::State::WaitingForClient
        || state == UpdateFlow::State::Downloading || state == UpdateFlow::State::Verifying
        || state == UpdateFlow::State::Unpacking;
    ui->closeButton->setEnabled(cancellable);
    if (state != UpdateFlow::State::Downloading) {
        ui->remainingLabel->clear();
        ui->amountLabel->clear();
        if (state != UpdateFlow::State::WaitingForClient && state != UpdateFlow::State::Idle) {
            // The download is done; later steps show a busy bar.
            const bool busy = state != UpdateFlow::State::Done && state != UpdateFlow::State::Failed;
            ui->progressBar->setRange(0, busy ? 0 : 1);
            ui->progressBar->setValue(busy ? 0 : 1);
        }
    }
}

void QUpdaterDlg::onProgress(qint64 received, qint64 total)
{
    if (m_flow && m_flow->state() == UpdateFlow::State::Downloading)
        showDownload(received, total, m_flow->bytesPerSecond(), m_flow->secondsLeft());
}

void QUpdaterDlg::showDownload(qint64 received, qint64 total, qint64 bytesPerSecond, qint64 secondsLeft)
{
    const ProgressScale scale = progressScale(received, total);
    ui->progressBar->setRange(0, scale.maximum);
    ui->progressBar->setValue(scale.value);
    ui->amountLabel->setText(UpdaterView::amountText(received, total, bytesPerSecond));
    ui->remainingLabel->setText(UpdaterView::remainingText(secondsLeft));
}
