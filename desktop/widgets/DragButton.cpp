#include "desktop/widgets/DragButton.h"

#include "service/ImageCache.h"
#include "ui/KeyboardFocus.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

DragButton::DragButton(QWidget *parent)
    : QToolButton(parent)
    , m_zoomTimer(new QTimer(this))
    , m_holdTimer(new QTimer(this))
{
    m_zoomTimer->setInterval(kZoomIntervalMs);
    m_holdTimer->setInterval(kHoldMs);
    m_holdTimer->setSingleShot(true);
    connect(m_holdTimer, &QTimer::timeout, this, &DragButton::hold_slot);
    setFocusPolicy(Qt::StrongFocus);
    KeyboardFocus::track(this);
}

DragButton::~DragButton() = default;

void DragButton::setCaption(const QString &text)
{
    m_caption = text;
    update();
}

void DragButton::setPicturePath(const QString &path)
{
    disconnect(m_pictureFollow);
    QPixmap pixmap;
    if (!path.isEmpty())
        pixmap.load(path);
    showPicture(pixmap);
    // A picture still on its way when the icon was made shows once it lands.
    m_pictureFollow = PictureLanding::follow(this, path, [this, path] {
        QPixmap landed;
        if (landed.load(path))
            showPicture(landed);
    });
}

void DragButton::setPicture(const QPixmap &pixmap)
{
    disconnect(m_pictureFollow);
    showPicture(pixmap);
}

void DragButton::showPicture(const QPixmap &pixmap)
{
    m_picture = pixmap;
    update();
}

void DragButton::setAppInfo(const DesktopAppInfoPtr &app)
{
    if (app)
        m_app = app;
}

void DragButton::zoomIn()
{
    m_scale += 0.01;
    if (m_scale >= 1.0) {
        m_scale = 1.0;
        m_zoomTimer->stop();
    }
    update();
}

void DragButton::zoomOut()
{
    m_scale -= 0.01;
    if (m_baseScale >= m_scale) {
        m_scale = m_baseScale;
        m_zoomTimer->stop();
    }
    update();
}

void DragButton::hold_slot()
{
    m_dragging = 1;
    m_pressed = 0;
    m_zoomTimer->stop();
    m_scale = m_baseScale;
    update();
}

bool DragButton::event(QEvent *event)
{
    if (event->type() == QEvent::ContextMenu && m_menuKeyAnswered
        && static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard) {
        m_menuKeyAnswered = false;
        event->accept();
        return true;
    }
    return QToolButton::event(event);
}

void DragButton::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!event->isAutoRepeat())
            emit doubleClicked();
        return;
    case Qt::Key_Menu:
        if (contextMenuPolicy() == Qt::CustomContextMenu) {
            m_menuKeyAnswered = true;
            emit customContextMenuRequested(rect().center());
        }
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
        // The grid knows where the neighbours are.
        event->ignore();
        return;
    default:
        QToolButton::keyPressEvent(event);
    }
}

void DragButton::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Menu)
        m_menuKeyAnswered = false;
    QToolButton::keyReleaseEvent(event);
}

void DragButton::mousePressEvent(QMouseEvent *event)
{
    // The base class never sees the press: the icon is dragged, not pushed.
    if (!m_dragging) {
        m_pressed = 1;
        m_dragging = 1;
        m_holdTimer->start();
        m_pressX = event->pos().x();
        m_pressY = event->pos().y();
        update();
    }
}

void DragButton::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging) {
        move(pos() + event->pos() - QPoint(m_pressX, m_pressY));
        emit drag_signal();
    } else {
        m_pressX = event->pos().x();
        m_pressY = event->pos().y();
    }
}

void DragButton::mouseReleaseEvent(QMouseEvent *event)
{
    m_holdTimer->stop();
    m_pressed = 0;
    m_dragging = 0;
    const bool inside = rect().contains(event->pos());
    if (inside)
        emit clicked();
    emit release_signal();
    update();
}

void DragButton::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (rect().contains(event->pos()))
        emit doubleClicked();
}

void DragButton::enterEvent(QEvent *event)
{
    disconnect(m_zoomTimer, &QTimer::timeout, this, &DragButton::zoomOut);
    connect(m_zoomTimer, &QTimer::timeout, this, &DragButton::zoomIn, Qt::UniqueConnection);
    m_zoomTimer->start();
    QToolButton::enterEvent(event);
}

void DragButton::leaveEvent(QEvent *event)
{
    disconnect(m_zoomTimer, &QTimer::timeout, this, &DragButton::zoomIn);
    connect(m_zoomTimer, &QTimer::timeout, this, &DragButton::zoomOut, Qt::UniqueConnection);
    m_zoomTimer->start();
    QToolButton::leaveEvent(event);
}

void DragButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (KeyboardFocus::shows(this)) {
        // Seen on a light or a dark wallpaper alike: white over a dark edge.
        const QRectF frame = QRectF(rect()).adjusted(2, 2, -2, -2);
        painter.setPen(QPen(QColor(0, 0, 0, 110), 4));
        painter.drawRoundedRect(frame, 6, 6);
        painter.setPen(QPen(QColor(255, 255, 255), 2));
        painter.drawRoundedRect(frame, 6, 6);
    }
    if (m_picture.isNull())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const int w = width();
    const int h = height();
    const int dw = int(w * 0.15);
    const int dh = int(h * 0.15);
    const QSize fit(w - dw, h - dh - dw);
    // Shrunk to the button once; later paints scale the smaller copy.
    if (fit.isValid() && m_picture.size() != m_picture.size().scaled(fit, Qt::KeepAspectRatio))
        m_picture = m_picture.scaled(fit, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const int pw = int(m_scale * m_picture.width());
    const int ph = int(m_scale * m_picture.height());
    painter.drawPixmap(QRect((w - pw) / 2, (h - ph) / 2 - dh, pw, ph), m_picture);
    painter.setPen(QColor(255, 255, 255, 255));
    painter.drawText(QRect(0, h - 2 * dh, w, 2 * dh), Qt::AlignCenter, m_caption);
}
