#pragma once

#include "ui/FramelessWindow.h"

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class QMsgDlg;
}

// The client's own message box. exec() returns 1 after the confirm button's
// fade-out and 0 after the close button's; Escape does nothing and Enter
// presses the confirm button.
class QMsgDlg : public FramelessWindow<QDialog>
{
    Q_OBJECT

public:
    QMsgDlg(const QString &title, const QString &text, QWidget *parent = nullptr);
    ~QMsgDlg() override;

    QString title() const { return m_title; }
    QString text() const { return m_text; }

private slots:
    void onClose();
    void onOK();

private:
    void fitMessage();

    QScopedPointer<Ui::QMsgDlg> ui;
    QString m_title;
    QString m_text;
};
