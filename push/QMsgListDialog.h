#pragma once

#include "ui/FramelessWindow.h"

#include <QDialog>
#include <QScopedPointer>

class NoticeFetch;
class QWebEngineView;

namespace Ui {
class QMsgListDialog;
}

// The message centre: the user's system notices, drawn by the local page
// "cloudNew/index.html". Every time the page has loaded, the first page of
// notices is fetched (uid and token from Config.ini) and handed to the
// page's addLi() in one call. Callers show it modally and let it delete
// itself on close.
class QMsgListDialog : public FramelessWindow<QDialog>
{
    Q_OBJECT

public:
    explicit QMsgListDialog(QWidget *parent = nullptr);
    ~QMsgListDialog() override;

    QWebEngineView *view() const;

signals:
    // The notices were handed to the page (ok) or there were none to hand.
    void noticesShown(bool ok);

public slots:
    void loadFinished(bool ok);
    void onClose();

private:
    QScopedPointer<Ui::QMsgListDialog> ui;
    NoticeFetch *m_fetch = nullptr;
    bool m_closing = false;
};
