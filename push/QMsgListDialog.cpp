#include "push/QMsgListDialog.h"

#include "core/AppPaths.h"
#include "core/Settings.h"
#include "push/core/NoticeFetch.h"
#include "ui_QMsgListDialog.h"

#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

QMsgListDialog::QMsgListDialog(QWidget *parent)
    : FramelessWindow<QDialog>(parent)
    , ui(new Ui::QMsgListDialog)
    , m_fetch(new NoticeFetch(this))
{
    ui->setupUi(this);
    // Opaque like the other dialogs; no key closes it (Escape above all).
    chrome().apply(this, FramelessChrome::Frame::Tool, false);
    setKeyPolicy(FramelessChrome::Keys::AllSwallowed);
    chrome().setBackground(QStringLiteral(":/QOrvaneDesk/image/msgListDlg.png"));
    chrome().fadeIn();

    connect(ui->closeButton, &QPushButton::clicked, this, &QMsgListDialog::onClose);
    connect(ui->webView, &QWebEngineView::loadFinished, this, &QMsgListDialog::loadFinished);
    connect(m_fetch, &NoticeFetch::finished, this, [this](bool ok, const QString &script) {
        if (ok)
            ui->webView->page()->runJavaScript(script);
        emit noticesShown(ok);
    });
    ui->webView->load(QUrl::fromLocalFile(AppPaths::appFilePath(QStringLiteral("cloudNew/index.html"))));
}

QMsgListDialog::~QMsgListDialog() = default;

QWebEngineView *QMsgListDialog::view() const
{
    return ui->webView;
}

void QMsgListDialog::loadFinished(bool)
{
    // Every load, reloads included, gets the notices afresh.
    m_fetch->start(Settings::uid(), Settings::token());
}

void QMsgListDialog::onClose()
{
    if (m_closing)
        return;
    m_closing = true;
    chrome().fadeOut([this] { close(); });
}
