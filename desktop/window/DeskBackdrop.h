#pragma once

#include "platform/DesktopLayer.h"

#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QStringList>

class QPainter;
class QWidget;

// What the desktop window paints beneath its own pictures.
//
// Where the screen shows the system's desktop through translucent windows
// (a compositing manager runs and the desktop has put its picture on the
// screen), nothing: the desktop stays translucent. Elsewhere translucent
// parts would come out black, so it paints a wallpaper of its own, opaque:
// the picture chosen in the wallpaper dialog, else the system's wallpaper,
// else one of the client's own. The icon grids, windows of their own over
// the desktop, get the part of it that lies beneath them. It follows a
// compositor starting or stopping.
class DeskBackdrop : public QObject
{
    Q_OBJECT

public:
    // overlay: the desktop's own picture, drawn over the wallpaper.
    DeskBackdrop(QWidget *desk, const QPixmap &overlay);

    // True while the desktop paints a wallpaper of its own.
    bool opaque() const { return !m_watch.showsSystemDesktop(); }
    // The wallpaper painted while opaque.
    QString picturePath();

    // The choice in the wallpaper dialog changed.
    void reload();

    // Paints what lies beneath target: the desktop itself, or a window of
    // the desktop's lying over it.
    void paint(QPainter &painter, QWidget *target);
    // A window of the desktop's lying over it gets the backdrop painted
    // beneath its own content.
    void lieUnder(QWidget *window);

    // The first candidate that is a picture this client can show; empty
    // when none is.
    static QString firstPicture(const QStringList &candidates);

    // The watch of the screen, for tests that start or stop a compositor.
    ScreenBackdropWatch &watch() { return m_watch; }

signals:
    void changed();

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    void load();
    const QPixmap &composed();
    void logState();

    QPointer<QWidget> m_desk;
    QPixmap m_overlay;
    ScreenBackdropWatch m_watch;
    bool m_loaded = false;
    QString m_path;
    QImage m_picture;
    QPixmap m_composed;
};
