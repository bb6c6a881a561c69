#pragma once

#include "ui/FramelessChrome.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

// A client window with the shared chrome already wired: derive from
// FramelessWindow<QDialog> (or <QWidget>) instead of forwarding the mouse,
// key and paint events to a FramelessChrome by hand in every window.
//
// The window still chooses its own frame, translucency, background, key
// policy and final actions in its constructor through chrome().
template <class Base>
class FramelessWindow : public Base
{
public:
    using Base::Base;

protected:
    FramelessChrome &chrome() { return m_chrome; }
    const FramelessChrome &chrome() const { return m_chrome; }

    void setKeyPolicy(FramelessChrome::Keys policy) { m_keys = policy; }
    // The desktop window covers the screen and is never dragged.
    void setDraggable(bool draggable) { m_draggable = draggable; }

    void mousePressEvent(QMouseEvent *event) override
    {
        if (m_draggable)
            m_chrome.mousePress(event);
        else
            Base::mousePressEvent(event);
    }

    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (m_draggable)
            m_chrome.mouseMove(event);
        else
            Base::mouseMoveEvent(event);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        if (FramelessChrome::swallowKey(m_keys, event))
            return;
        Base::keyPressEvent(event);
    }

    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        m_chrome.paintBackground(painter);
    }

private:
    FramelessChrome m_chrome;
    FramelessChrome::Keys m_keys = FramelessChrome::Keys::Default;
    bool m_draggable = true;
};
