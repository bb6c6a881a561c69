#include "appcenter/DownloadFinishItem.h"

#include "appcenter/core/DownloadFormat.h"

#include "ui_DownloadFinishItem.h"

#include <QDateTime>

DownloadFinishItem::DownloadFinishItem(const QString &iconPath, const QString &name,
                                       unsigned long listItem, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::DownloadFinishItem)
    , m_listItem(listItem)
{
    ui->setupUi(this);
    ui->timeLabel->setText(finishedText(QDateTime::currentDateTime()));
    ui->photo_label->setStyleSheet(pictureStyle(iconPath));
    ui->name_label->setText(name);
    connect(ui->delete_toolButton, &QToolButton::clicked, this, &DownloadFinishItem::removItem);
}

DownloadFinishItem::~DownloadFinishItem()
{
    delete ui;
}

void DownloadFinishItem::removItem()
{
    emit removeFinishItem(m_listItem);
}
