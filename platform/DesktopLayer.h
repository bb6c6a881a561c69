#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <Qt>

class QWindow;

// Where the client's desktop lies among the windows on the screen, and
// what the screen shows through its translucent parts.
//
// The desktop covers the system's own desktop but never the user's
// programs: the window manager is told it is the desktop, so it stays
// below every program and a click on it raises nothing above them. Windows
// of its own that lie on it (the icon grids) stay between it and the
// programs; dialogs, menus and pop-ups are ordinary windows above it.
namespace DesktopLayer {

// Flags of the desktop window itself: no frame, no taskbar entry.
Qt::WindowFlags desktopFlags();

// Flags added to a window that belongs on the desktop (an icon grid): it
// lies above the desktop and below the programs.
Qt::WindowFlags onDesktopFlags();

// Tells the window manager that this window is the desktop. Call before
// the window is first shown; a window system without the notion keeps the
// window as it is.
void markAsDesktop(QWindow *window);

// The running window manager's name ("Openbox", "Metacity"); empty when
// none runs or the window system has no such thing.
QString windowManagerName();

// The window manager's stacking of the programs' windows, bottom first,
// as native window ids. Empty without a window manager that says.
QList<quintptr> clientStacking();

} // namespace DesktopLayer

// Whether translucent windows show what lies beneath them: a compositing
// manager runs and the screen carries a picture of the system's desktop.
// Follows compositors starting and stopping and the picture being set.
class ScreenBackdropWatch : public QObject
{
    Q_OBJECT

public:
    explicit ScreenBackdropWatch(QObject *parent = nullptr);
    ~ScreenBackdropWatch() override;

    // A compositing manager blends translucent windows over what lies
    // beneath them. Always true on a window system that composes itself.
    bool compositing() const { return m_compositing; }
    // The screen's root carries the system desktop's picture. True where
    // the window system draws the desktop's background itself.
    bool rootPicture() const { return m_rootPicture; }
    // Both: a translucent window shows the system's desktop.
    bool showsSystemDesktop() const { return m_compositing && m_rootPicture; }

    // Asks the window system again (what an event of interest does).
    void recheck();

signals:
    void changed();

private:
    class Filter;
    // Coalesced: many events may ask before the event loop runs again.
    void queueCheck(bool rootToo);

    Filter *m_filter = nullptr;
    bool m_compositing = true;
    bool m_rootPicture = true;
    bool m_checkQueued = false;
    bool m_rootCheckQueued = false;
};
