#include "tests/screenshots/Scene.h"

#include <QPainter>
#include <QWidget>

namespace {
QString g_wallpaperPath;
} // namespace

void Scene::setWallpaperPath(const QString &path)
{
    g_wallpaperPath = path;
}

QString Scene::wallpaperPath()
{
    return g_wallpaperPath;
}

Scene::Scene(const QImage &wallpaper, const QRect &screen)
    : m_canvas(screen.size(), QImage::Format_ARGB32_Premultiplied)
    , m_screen(screen)
{
    m_canvas.fill(Qt::black);
    if (wallpaper.isNull())
        return;
    const QImage scaled = wallpaper.scaled(screen.size(), Qt::KeepAspectRatioByExpanding,
                                           Qt::SmoothTransformation);
    QPainter painter(&m_canvas);
    painter.drawImage(QPoint((screen.width() - scaled.width()) / 2,
                             (screen.height() - scaled.height()) / 2),
                      scaled);
}

void Scene::add(QWidget *window)
{
    add(window->grab().toImage(), window->pos());
}

void Scene::add(const QImage &image, const QPoint &pos)
{
    const QPoint local = pos - m_screen.topLeft();
    QPainter painter(&m_canvas);
    painter.drawImage(local, image);
    m_used |= QRect(local, image.size());
}

QImage Scene::crop(int margin) const
{
    if (m_used.isEmpty())
        return m_canvas;
    return m_canvas.copy(m_used.adjusted(-margin, -margin, margin, margin) & m_canvas.rect());
}
