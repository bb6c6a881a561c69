#include "ui/KeyboardFocus.h"

#include <QEvent>
#include <QFocusEvent>
#include <QStyle>
#include <QVariant>
#include <QWidget>

namespace {

const char kProperty[] = "keyboardFocus";
// How the focus came, kept while the window is put aside.
const char kOrigin[] = "keyboardFocusOrigin";

class FocusWatch : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::FocusIn && event->type() != QEvent::FocusOut)
            return false;
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget)
            return false;
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        // A window put aside or brought back, or a menu over it, hides the
        // mark for the while and brings back the one the focus came with.
        const bool aside = reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
        if (event->type() == QEvent::FocusOut) {
            if (!aside)
                widget->setProperty(kOrigin, false);
            set(widget, false);
        } else {
            if (!aside)
                widget->setProperty(kOrigin, fromKeyboard(reason));
            set(widget, widget->property(kOrigin).toBool());
        }
        return false;
    }

    // Tab, Backtab, shortcuts, and moves the program makes for keys (the
    // arrows in a grid) with the other reasons; not the mouse.
    static bool fromKeyboard(Qt::FocusReason reason) { return reason != Qt::MouseFocusReason; }

    static void set(QWidget *widget, bool shown)
    {
        if (widget->property(kProperty).toBool() == shown)
            return;
        widget->setProperty(kProperty, shown);
        if (!widget->styleSheet().isEmpty()) {
            widget->style()->unpolish(widget);
            widget->style()->polish(widget);
        }
        widget->update();
    }
};

FocusWatch *watch()
{
    static FocusWatch *shared = new FocusWatch;
    return shared;
}

} // namespace

namespace KeyboardFocus {

void track(QWidget *widget)
{
    if (!widget)
        return;
    widget->setProperty(kProperty, false);
    widget->setProperty(kOrigin, false);
    widget->installEventFilter(watch());
}

bool shows(const QWidget *widget)
{
    return widget && widget->hasFocus() && widget->property(kProperty).toBool();
}

void give(QWidget *widget, Qt::FocusReason reason)
{
    if (!widget)
        return;
    // Focus given back to where it already is changes nothing. In a window
    // not active yet the focus arrives with the window's activation, which
    // brings back what is noted here.
    if (!widget->hasFocus() && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
        widget->setProperty(kOrigin, FocusWatch::fromKeyboard(reason));
    widget->setFocus(reason);
}

} // namespace KeyboardFocus
