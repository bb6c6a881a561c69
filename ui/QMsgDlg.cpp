#include "ui/QMsgDlg.h"

#include "ui/DialogAutoAnswer.h"
#include "ui_QMsgDlg.h"

#include <QLabel>

QMsgDlg::QMsgDlg(const QString &title, const QString &text, QWidget *parent)
    : FramelessWindow<QDialog>(parent)
    , ui(new Ui::QMsgDlg)
    , m_title(title)
    , m_text(text)
{
    ui->setupUi(this);
    chrome().apply(this, FramelessChrome::Frame::Tool, true);
    setKeyPolicy(FramelessChrome::Keys::EscapeSwallowed);
    chrome().fadeIn();

    // Long texts wrap at the label's width and grow downwards rather than
    // running past the box.
    ui->labelMsg->setWordWrap(true);
    // Texts may carry what the service said: shown as they are.
    ui->labelMsg->setTextFormat(Qt::PlainText);
    ui->labelMsg->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    ui->labelMsg->setText(text);
    fitMessage();

    chrome().setBackground(QStringLiteral(":/QOrvaneDesk/image/msg/box.png"));

    connect(ui->closeButton, &QPushButton::clicked, this, &QMsgDlg::onClose);
    connect(ui->yesButton, &QPushButton::clicked, this, &QMsgDlg::onOK);

    DialogAutoAnswer::arm(this, m_title, m_text);
}

QMsgDlg::~QMsgDlg() = default;

void QMsgDlg::fitMessage()
{
    // Measure with the label's own 16 px font, not the default one.
    QLabel *label = ui->labelMsg;
    label->ensurePolished();
    const int needed = label->heightForWidth(label->width());
    if (needed <= label->height())
        return;
    // Grow downwards to just above the confirm button, then upwards, so
    // that no line is ever cut off.
    const int bottom = ui->yesButton->y() - 8;
    const int top = qMax(30, qMin(label->y(), bottom - needed));
    label->setGeometry(label->x(), top, label->width(), bottom - top);
}

void QMsgDlg::onClose()
{
    chrome().fadeOut([this]() { reject(); });
}

void QMsgDlg::onOK()
{
    chrome().fadeOut([this]() { accept(); });
}
