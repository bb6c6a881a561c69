#pragma once

#include <QString>
#include <QWidget>

namespace Ui {
class DownloadFinishItem;
}

// One row of the finished downloads: icon, name, finishing time and a
// delete button.
class DownloadFinishItem : public QWidget
{
    Q_OBJECT
public:
    DownloadFinishItem(const QString &iconPath, const QString &name, unsigned long listItem,
                       QWidget *parent = nullptr);
    ~DownloadFinishItem() override;

signals:
    // The window deletes the row's list item.
    void removeFinishItem(unsigned long listItem);

private slots:
    void removItem();

private:
    Ui::DownloadFinishItem *ui;
    unsigned long m_listItem;
};
