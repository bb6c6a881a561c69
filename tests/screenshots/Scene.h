#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

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

    // The wallpaper's file. A desktop window paints it itself where no
    // compositing manager shows what lies beneath it (the virtual screen),
    // so it is told the same picture as its choice.
    static void setWallpaperPath(const QString &path);
    static QString wallpaperPath();

private:
    QImage m_canvas;
    QRect m_screen;
    QRect m_used;
};
