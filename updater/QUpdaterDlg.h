#pragma once

#include "ui/FramelessWindow.h"
#include "updater/core/UpdateFlow.h"

#include <QDialog>
#include <QPointer>
#include <QScopedPointer>

namespace Ui {
class QUpdaterDlg;
}

// The updater's small window: the version being installed, what the flow
// is doing, the download's progress and the time left. Its close button
// cancels while nothing of the client folder has changed.
class QUpdaterDlg : public FramelessWindow<QDialog>
{
    Q_OBJECT
public:
    explicit QUpdaterDlg(UpdateFlow *flow, QWidget *parent = nullptr);
    ~QUpdaterDlg() override;

    // What the window shows; the flow's signals drive them, screenshots
    // call them directly.
    void showState(UpdateFlow::State state);
    void showDownload(qint64 received, qint64 total, qint64 bytesPerSecond, qint64 secondsLeft);

private:
    void onProgress(qint64 received, qint64 total);

    QScopedPointer<Ui::QUpdaterDlg> ui;
    QPointer<UpdateFlow> m_flow;
};
