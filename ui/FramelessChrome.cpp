#include "ui/FramelessChrome.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QWidget>

void FramelessChrome::apply(QWidget *window, Frame frame, bool translucent)
{
    m_window = window;
    // Added to the sheet a form may already have set, so call this after
    // setupUi(); a sheet set later would drop the rule again.
    const QString sheet = window->styleSheet();
    window->setStyleSheet(sheet.isEmpty() ? QStringLiteral("outline: none")
                                          : sheet + QStringLiteral("\n* { outline: none; }"));
    const Qt::WindowFlags kind = frame == Frame::Tool ? Qt::Tool : Qt::Dialog;
    window->setWindowFlags(kind | Qt::FramelessWindowHint);
    if (translucent)
        window->setAttribute(Qt::WA_TranslucentBackground);
    // A fade-in asked for before the chrome knew its window starts now.
    if (m_fadeInPending) {
        m_fadeInPending = false;
        fadeIn();
    }
}

void FramelessChrome::setBackground(const QString &resource)
{
    m_background.load(resource);
}

void FramelessChrome::fadeIn()
{
    if (!m_window) {
        m_fadeInPending = true;
        return;
    }
    auto *animation = new QPropertyAnimation(m_window, "windowOpacity", m_window);
    animation->setDuration(FadeMs);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void FramelessChrome::fadeOut(std::function<void()> finalAction)
{
    if (!m_window)
        return;
    auto *animation = new QPropertyAnimation(m_window, "windowOpacity", m_window);
    animation->setDuration(FadeMs);
    animation->setStartValue(1.0);
    animation->setEndValue(0.0);
    QObject::connect(animation, &QPropertyAnimation::finished, m_window,
                     [action = std::move(finalAction)]() {
                         if (action)
                             action();
                     });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void FramelessChrome::mousePress(QMouseEvent *event)
{
    if (!m_window)
        return;
    m_windowAtPress = m_window->pos();
    m_cursorAtPress = event->globalPos();
    m_offset = m_cursorAtPress - m_windowAtPress;
}

void FramelessChrome::mouseMove(QMouseEvent *event)
{
    if (!m_window)
        return;
    m_window->move(event->globalPos() - m_offset);
}

void FramelessChrome::paintBackground(QPainter &painter) const
{
    if (!m_window || m_background.isNull())
        return;
    painter.drawPixmap(m_window->rect(), m_background);
}

bool FramelessChrome::swallowKey(Keys policy, QKeyEvent *event)
{
    switch (policy) {
    case Keys::AllSwallowed:
        return true;
    case Keys::EscapeSwallowed:
        return event->key() == Qt::Key_Escape;
    case Keys::Default:
        break;
    }
    return false;
}
