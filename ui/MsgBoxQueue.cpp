#include "ui/MsgBoxQueue.h"

#include "ui/QMsgDlg.h"

#include <QTimer>

MsgBoxQueue::MsgBoxQueue(QObject *parent)
    : QObject(parent)
{
}

MsgBoxQueue::~MsgBoxQueue()
{
    delete m_current.data();
}

void MsgBoxQueue::post(const QString &title, const QString &text)
{
    const QPair<QString, QString> message(title, text);
    if (!m_waiting.contains(message))
        m_waiting.append(message);
    schedule();
}

void MsgBoxQueue::schedule()
{
    if (m_scheduled || m_current)
        return;
    m_scheduled = true;
    // From the event loop, after whatever asked for the box has returned.
    QTimer::singleShot(0, this, [this] {
        m_scheduled = false;
        showNext();
    });
}

void MsgBoxQueue::showNext()
{
    if (m_current)
        return;
    if (m_waiting.isEmpty()) {
        emit idle();
        return;
    }
    const QPair<QString, QString> message = m_waiting.takeFirst();
    auto *box = new QMsgDlg(message.first, message.second);
    // As modal as a box run by exec(), without a loop of its own.
    box->setWindowModality(Qt::ApplicationModal);
    m_current = box;
    connect(box, &QDialog::finished, this, [this, box] {
        box->deleteLater();
        if (m_current == box)
            m_current = nullptr;
        schedule();
    });
    box->show();
}
