#include "desktop/window/DeskBackdrop.h"

#include "core/Settings.h"
#include "desktop/DesktopLog.h"
#include "desktop/settings/WallpaperChoice.h"
#include "platform/Platform.h"

#include <QEvent>
#include <QImageReader>
#include <QPainter>
#include <QWidget>

DeskBackdrop::DeskBackdrop(QWidget *desk, const QPixmap &overlay)
    : QObject(desk)
    , m_desk(desk)
    , m_overlay(overlay)
{
    connect(&m_watch, &ScreenBackdropWatch::changed, this, [this]() {
        logState();
        if (m_desk)
            m_desk->update();
        emit changed();
    });
    logState();
}

QString DeskBackdrop::firstPicture(const QStringList &candidates)
{
    for (const QString &path : candidates) {
        if (path.isEmpty())
            continue;
        // A name alone says nothing: GNOME's setting may name a slide show.
        QImageReader reader(path);
        if (reader.canRead())
            return path;
    }
    return QString();
}

void DeskBackdrop::load()
{
    m_loaded = true;
    m_composed = QPixmap();
    const QString own = WallpaperChoice::pictureFolder() + QLatin1Char('/')
        + WallpaperChoice::pictures().first().file;
    // The system's picture costs a program run: asked only when the user's
    // own choice cannot be shown.
    m_path = firstPicture({Settings::desktopWallpaper()});
    if (m_path.isEmpty())
        m_path = firstPicture({Platform::systemWallpaper(), own});
    m_picture = m_path.isEmpty() ? QImage() : QImage(m_path);
    qCInfo(lcDesktop) << "desktop wallpaper" << (m_path.isEmpty() ? QStringLiteral("none found") : m_path);
}

QString DeskBackdrop::picturePath()
{
    if (!m_loaded)
        load();
    return m_path;
}

void DeskBackdrop::reload()
{
    m_loaded = false;
    if (opaque()) {
        load();
        if (m_desk)
            m_desk->update();
        emit changed();
    }
}

void DeskBackdrop::logState()
{
    if (opaque())
        qCInfo(lcDesktop) << "desktop painted opaque:"
                          << (m_watch.compositing() ? "nothing shows the system's desktop beneath it"
                                                    : "no compositing manager");
    else
        qCInfo(lcDesktop) << "desktop translucent over the system's desktop";
}

const QPixmap &DeskBackdrop::composed()
{
    if (!m_loaded)
        load();
    const qreal ratio = m_desk->devicePixelRatioF();
    const QSize size = m_desk->size() * ratio;
    if (m_composed.size() == size)
        return m_composed;
    m_composed = QPixmap(size);
    m_composed.fill(QColor(32, 58, 96));
    QPainter painter(&m_composed);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!m_picture.isNull()) {
        // Covers the whole window, cut evenly where the proportions differ.
        const QImage cover = m_picture.scaled(size, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        painter.drawImage(QPoint(0, 0), cover, QRect(QPoint((cover.width() - size.width()) / 2,
                                                            (cover.height() - size.height()) / 2),
                                                     size));
    }
    painter.drawPixmap(QRect(QPoint(0, 0), size), m_overlay);
    painter.end();
    m_composed.setDevicePixelRatio(ratio);
    return m_composed;
}

void DeskBackdrop::paint(QPainter &painter, QWidget *target)
{
    if (!m_desk || !target)
        return;
    if (!opaque()) {
        if (target == m_desk)
            painter.drawPixmap(m_desk->rect(), m_overlay);
        return;
    }
    const QPoint offset = target->mapToGlobal(QPoint(0, 0)) - m_desk->mapToGlobal(QPoint(0, 0));
    painter.drawPixmap(-offset, composed());
}

void DeskBackdrop::lieUnder(QWidget *window)
{
    window->installEventFilter(this);
    connect(this, &DeskBackdrop::changed, window, qOverload<>(&QWidget::update));
}

bool DeskBackdrop::eventFilter(QObject *object, QEvent *event)
{
    // Painted before the window's own paint event, beneath its content.
    if (event->type() == QEvent::Paint && opaque()) {
        auto *window = static_cast<QWidget *>(object);
        QPainter painter(window);
        paint(painter, window);
    }
    return QObject::eventFilter(object, event);
}
