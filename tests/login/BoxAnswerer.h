#pragma once

#include "ui/QMsgDlg.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

// Confirms every message box as it comes up and remembers what it said and
// whether the window named watch was visible at that moment.
class BoxAnswerer : public QObject
{
public:
    struct Seen
    {
        QString title;
        QString text;
        bool watchVisible;
    };

    explicit BoxAnswerer(QWidget *watch = nullptr)
        : m_watch(watch)
    {
        connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::poll);
        m_timer.start(20);
    }

    QList<Seen> seen;
    QStringList texts() const
    {
        QStringList list;
        for (const Seen &s : seen)
            list << s.text;
        return list;
    }

private:
    void poll()
    {
        const auto widgets = QApplication::topLevelWidgets();
        for (QWidget *widget : widgets) {
            auto *box = qobject_cast<QMsgDlg *>(widget);
            if (!box || !box->isVisible() || m_done.contains(box))
                continue;
            m_done.append(box);
            seen.append({box->title(), box->text(), m_watch && m_watch->isVisible()});
            if (auto *yes = box->findChild<QPushButton *>(QStringLiteral("yesButton")))
                yes->click();
        }
    }

    QPointer<QWidget> m_watch;
    QList<QPointer<QMsgDlg>> m_done;
    QTimer m_timer;
};
