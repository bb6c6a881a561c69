#include "tests/screenshots/Scene.h"

#include <QGuiApplication>
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
    : m_screen(screen)
{
    // In the screen's own pixels: a high-density screen is pictured at its
    // full resolution.
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    m_canvas = QImage(screen.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    m_canvas.setDevicePixelRatio(ratio);
    m_canvas.fill(Qt::black);
    if (wallpaper.isNull())
        return;
    QImage scaled = wallpaper.scaled(screen.size() * ratio, Qt::KeepAspectRatioByExpanding,
                                     Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(ratio);
    QPainter painter(&m_canvas);
    painter.drawImage(QPointF((screen.width() - scaled.width() / ratio) / 2,
                              (screen.height() - scaled.height() / ratio) / 2),
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
    m_used |= QRect(local, (QSizeF(image.size()) / image.devicePixelRatio()).toSize());
}

QImage Scene::crop(int margin) const
{
    if (m_used.isEmpty())
        return m_canvas;
    const qreal ratio = m_canvas.devicePixelRatio();
    const QRect part = m_used.adjusted(-margin, -margin, margin, margin) & QRect(QPoint(0, 0), m_screen.size());
    return m_canvas.copy(QRect(part.topLeft() * ratio, part.size() * ratio));
}
