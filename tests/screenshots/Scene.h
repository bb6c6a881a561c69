#pragma once

#include <QImage>
#include <QList>
#include <QRect>

class QWidget;

// A piece of a desktop: the wallpaper as the screen shows it, with windows
// painted where they stand, so translucent edges and shadows are seen
// against a real background.
class Scene
{
public:
    // The wallpaper is scaled to cover the screen and centred, as a
    // wallpaper is shown.
    Scene(const QImage &wallpaper, const QRect &screen);

    // Paints the window's own rendering (alpha included) at its position.
    void add(QWidget *window);
    // Paints an image with its top-left corner at pos (screen coordinates).
    void add(const QImage &image, const QPoint &pos);

    // The part of the screen covered by the windows added so far, with a
    // margin of wallpaper around it; the whole screen when none was added.
    QImage crop(int margin) const;

private:
    QImage m_canvas;
    QRect m_screen;
    QRect m_used;
};
