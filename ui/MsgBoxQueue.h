#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>

#include "ui/QMsgDlg.h"

// Message boxes shown one after another, never from inside the call that
// asks for one: post() returns at once (a page's bridge call that ends in
// a message must not hold every web view while the user reads it), and
// each box comes after the one before it has been answered. A message
// already waiting is not queued a second time.
class MsgBoxQueue : public QObject
{
    Q_OBJECT
public:
    explicit MsgBoxQueue(QObject *parent = nullptr);
    ~MsgBoxQueue() override;

    void post(const QString &title, const QString &text);

    // The box on screen, if any.
    QMsgDlg *current() const { return m_current; }
    int waiting() const { return m_waiting.size(); }

signals:
    // Nothing on screen and nothing waiting any more.
    void idle();

private:
    void showNext();
    void schedule();

    QList<QPair<QString, QString>> m_waiting;
    QPointer<QMsgDlg> m_current;
    bool m_scheduled = false;
};
