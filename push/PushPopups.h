#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include "push/QAcceptMsgWidget.h"

// The pop-ups of pushed messages, bounded: a few are on screen at a time;
// what comes while they are is summed up in one more pop-up ("还有 N 条新
// 消息") whose "查看更多" opens the message centre. A flood of messages
// therefore costs a handful of windows, however long it lasts. Pop-ups
// delete themselves when closed.
class PushPopups : public QObject
{
    Q_OBJECT
public:
    // Pop-ups of single messages on screen at most.
    static constexpr int kShown = 3;

    explicit PushPopups(QObject *parent = nullptr);
    ~PushPopups() override;

    // A pop-up for the message, or one more in the summary.
    void show(const QString &strJson);

    QList<QAcceptMsgWidget *> shown() const;
    QAcceptMsgWidget *summary() const { return m_summary; }
    // Messages summed up in the summary on screen.
    int summed() const { return m_summed; }

    static QString summaryText(int count);

signals:
    // An offer's "安装": the whole message text.
    void install(const QString &strJson);
    // "查看更多" of a notice or of the summary.
    void openMsgList();

private:
    void prune();

    QList<QPointer<QAcceptMsgWidget>> m_shown;
    QPointer<QAcceptMsgWidget> m_summary;
    int m_summed = 0;
};
