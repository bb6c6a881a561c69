#include "desktop/browser/ZBrowser.h"

#include "desktop/browser/WebEngineView.h"
#include "ui_ZBrowser.h"

#include <QAction>
#include <QMouseEvent>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineSettings>

namespace {

QString buttonSheet(const QString &picture)
{
    const QString base = QStringLiteral(":/QOrvaneDesk/Browser/Image/");
    return QStringLiteral("QPushButton{border-image: url(%1%2.png);}"
                          "QPushButton:hover{border-image: url(%1%2_click.png);}"
                          "QPushButton:pressed{border-image: url(%1%2_click.png);};")
        .arg(base, picture);
}

} // namespace

ZBrowser::ZBrowser(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::ZBrowser)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    resize(1200, 740);
    setWindowFlags(Qt::FramelessWindowHint);

    m_view = new WebEngineView(this);
    m_view->setObjectName(QStringLiteral("webView"));
    m_view->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, true);

    auto *escape = new QAction(this);
    escape->setShortcut(Qt::Key_Escape);
    connect(escape, &QAction::triggered, this, &ZBrowser::onExitFullScreen);
    m_view->addAction(escape);

    auto *layout = new QVBoxLayout(ui->widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    connect(ui->closePushButton, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->miniPushButton, &QPushButton::clicked, this, &QWidget::showMinimized);
}

ZBrowser::~ZBrowser()
{
    delete ui;
}

void ZBrowser::openUrl(const QString &address, const QString &title)
{
    m_view->load(QUrl::fromUserInput(address));
    if (!title.isEmpty())
        ui->name_label->setText(title);
}

void ZBrowser::onExitFullScreen()
{
    showMaximized();
}

void ZBrowser::on_maxPushButton_clicked()
{
    if (isMaximized()) {
        showNormal();
        ui->maxPushButton->setStyleSheet(buttonSheet(QStringLiteral("max")));
    } else {
        showMaximized();
        ui->maxPushButton->setStyleSheet(buttonSheet(QStringLiteral("max2")));
    }
}

void ZBrowser::on_flushPushButton_clicked()
{
    m_view->reload();
}

void ZBrowser::on_backPushButton_clicked()
{
    m_view->back();
}

void ZBrowser::on_forwardPushButton_clicked()
{
    m_view->forward();
}

void ZBrowser::mousePressEvent(QMouseEvent *event)
{
    m_windowAtPress = pos();
    m_cursorAtPress = event->globalPos();
    m_offset = m_cursorAtPress - m_windowAtPress;
}

void ZBrowser::mouseMoveEvent(QMouseEvent *event)
{
    move(event->globalPos() - m_offset);
}
