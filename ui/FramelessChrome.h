#pragma once

#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <functional>

class QKeyEvent;
class QMouseEvent;
class QPainter;
class QWidget;

// The look and feel every client window shares: no system frame, a fade-in
// when built, a fade-out before the final action, dragging by the
// background and a background picture scaled to the window.
//
// A window keeps one FramelessChrome by value and forwards its mouse, key
// and paint events to it, so each behaviour is written once here.
class FramelessChrome
{
public:
    enum class Frame { Tool, Dialog };
    enum class Keys { Default, EscapeSwallowed, AllSwallowed };

    static constexpr int FadeMs = 200;

    FramelessChrome() = default;

    // Window flags, optional translucency and "outline: none" added to the
    // window's style sheet. Call it after the form's setupUi().
    void apply(QWidget *window, Frame frame, bool translucent);

    void setBackground(const QString &resource);
    const QPixmap &background() const { return m_background; }

    // Opacity 0 -> 1 over 200 ms; nothing waits for it. Asked for before
    // apply(), it starts there.
    void fadeIn();
    // Opacity 1 -> 0 over 200 ms, then finalAction (accept, reject, close,
    // hide) runs on the window. The animation belongs to the window, so it
    // cannot outlive it.
    void fadeOut(std::function<void()> finalAction);

    void mousePress(QMouseEvent *event);
    void mouseMove(QMouseEvent *event);
    void paintBackground(QPainter &painter) const;

    // True when the key was swallowed; false when the base class should
    // handle it.
    static bool swallowKey(Keys policy, QKeyEvent *event);

    QPoint dragOffset() const { return m_offset; }

private:
    QPointer<QWidget> m_window;
    bool m_fadeInPending = false;
    QPixmap m_background;
    QPoint m_windowAtPress;
    QPoint m_cursorAtPress;
    QPoint m_offset;
};
