#pragma once

#include <Qt>

class QWidget;

// Focus marks are for keyboard users: a control shows one only while its
// focus came from the keyboard (Tab, Shift+Tab, a shortcut, or a move the
// program makes for a key such as an arrow), never from a mouse click.
//
// track() keeps the widget's property "keyboardFocus" up to date, so a
// style sheet can say QPushButton[keyboardFocus="true"]{...}; a widget
// that paints its own mark asks shows().
namespace KeyboardFocus {

void track(QWidget *widget);
bool shows(const QWidget *widget);
// Gives the widget the focus for this reason. Use it where the focus may
// arrive later (a window not active yet): the mark follows the reason
// given here, not the window's activation.
void give(QWidget *widget, Qt::FocusReason reason);

} // namespace KeyboardFocus
