#include "push/PushPopups.h"

#include "push/QAcceptMsgWidget.h"

PushPopups::PushPopups(QObject *parent)
    : QObject(parent)
{
}

// The pop-ups stay until the user closes them, as they always have.
PushPopups::~PushPopups() = default;

QString PushPopups::summaryText(int count)
{
    return QStringLiteral("还有 %1 条新消息").arg(count);
}

namespace {

// Gone, or on its way out (fading).
bool closed(const QPointer<QAcceptMsgWidget> &popup)
{
    return !popup || popup->property("closing").toBool();
}

} // namespace

void PushPopups::prune()
{
    for (int i = m_shown.size() - 1; i >= 0; --i) {
        if (closed(m_shown.at(i)))
            m_shown.removeAt(i);
    }
    if (closed(m_summary)) {
        m_summary = nullptr;
        m_summed = 0;
    }
}

QList<QAcceptMsgWidget *> PushPopups::shown() const
{
    QList<QAcceptMsgWidget *> list;
    for (const QPointer<QAcceptMsgWidget> &popup : m_shown)
        if (popup)
            list << popup.data();
    return list;
}

void PushPopups::show(const QString &strJson)
{
    prune();
    if (m_shown.size() < kShown) {
        auto *popup = new QAcceptMsgWidget(strJson);
        popup->setAttribute(Qt::WA_DeleteOnClose);
        connect(popup, &QAcceptMsgWidget::install, this, &PushPopups::install);
        connect(popup, &QAcceptMsgWidget::openMsgList, this, &PushPopups::openMsgList);
        popup->moveToCorner();
        popup->show();
        m_shown.append(popup);
        return;
    }
    // The rest are counted, not kept: the message centre and the push log
    // have every one of them.
    if (!m_summary) {
        auto *summary = new QAcceptMsgWidget(QString());
        summary->setAttribute(Qt::WA_DeleteOnClose);
        connect(summary, &QAcceptMsgWidget::openMsgList, this, [this] {
            if (m_summary)
                m_summary->onClose();
            emit openMsgList();
        });
        summary->moveToCorner();
        summary->show();
        m_summary = summary;
    }
    ++m_summed;
    m_summary->showSummary(summaryText(m_summed));
}
