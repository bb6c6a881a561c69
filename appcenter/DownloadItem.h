#pragma once

#include "appcenter/core/DownloadJob.h"
#include "catalogue/DesktopAppInfo.h"

#include <QPointer>
#include <QWidget>

namespace Ui {
class DownloadItem;
}

// One row of the downloads in progress: the application's icon and name,
// progress, speed and remaining time, pause/continue, cancel and, after a
// failure, retry. The work is its DownloadJob's; the row shows it.
class DownloadItem : public QWidget
{
    Q_OBJECT
public:
    // listItem: the window's key of the row's list item, handed back in
    // signalFinish. job: made for the application when none is given. The
    // download starts at once.
    DownloadItem(QWidget *parent, const DesktopAppInfoPtr &app, unsigned long listItem,
                 DownloadJob *job = nullptr);
    ~DownloadItem() override;

    DownloadJob *job() const { return m_job; }

signals:
    // outcome: 0 cancelled by the user, 1 failed, 2 downloaded.
    void signalFinish(unsigned long listItem, DesktopAppInfoPtr pData, int outcome);

private slots:
    void onStartDownload();
    void onStopDownload();
    void onCloseDownload();
    void onStartStopFlag();
    void on_reloadButton_clicked();

private:
    void render();
    void showState(DownloadJob::State state);

    Ui::DownloadItem *ui;
    unsigned long m_listItem;
    DesktopAppInfoPtr m_app;
    DownloadJob *m_job;
};
