#include "QMsgDlg.h"

#include "DialogAutoAnswer.h"
#include "ui_QMsgDlg.h"

#include <QKeyEvent>
#include <QPainter>

QMsgDlg::QMsgDlg(const QString &title, const QString &text, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::QMsgDlg)
    , m_title(title)
    , m_text(text)
{
    m_chrome.apply(this, FramelessChrome::Frame::Tool, true);
    m_chrome.fadeIn();
    ui->setupUi(this);
    // The form's sheet styles the box; the chrome's rule is added to it.
    setStyleSheet(styleSheet() + QStringLiteral("\noutline: none"));

    // Long texts wrap at the label's width and grow downwards rather than
    // running past the box.
    ui->labelMsg->setWordWrap(true);
    ui->labelMsg->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    ui->labelMsg->setText(text);
    const int width = ui->labelMsg->width();
    const int needed = ui->labelMsg->heightForWidth(width);
    if (needed > ui->labelMsg->height())
        ui->labelMsg->resize(width, qMin(needed, height() - ui->labelMsg->y() - 60));

    m_chrome.setBackground(QStringLiteral(":/QOrvaneDesk/image/msg/box.png"));

    connect(ui->closeButton, &QPushButton::clicked, this, &QMsgDlg::onClose);
    connect(ui->yesButton, &QPushButton::clicked, this, &QMsgDlg::onOK);

    DialogAutoAnswer::arm(this, m_title, m_text);
}

QMsgDlg::~QMsgDlg() = default;

void QMsgDlg::mousePressEvent(QMouseEvent *event)
{
    m_chrome.mousePress(event);
}

void QMsgDlg::mouseMoveEvent(QMouseEvent *event)
{
    m_chrome.mouseMove(event);
}

void QMsgDlg::keyPressEvent(QKeyEvent *event)
{
    if (FramelessChrome::swallowKey(FramelessChrome::Keys::EscapeSwallowed, event))
        return;
    QDialog::keyPressEvent(event);
}

void QMsgDlg::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    m_chrome.paintBackground(painter);
}

void QMsgDlg::onClose()
{
    m_chrome.fadeOut([this]() { reject(); });
}

void QMsgDlg::onOK()
{
    m_chrome.fadeOut([this]() { accept(); });
}
