#include "desktop/widgets/MyToolButton.h"

#include "desktop/widgets/ZDot.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

MyToolButton::MyToolButton(QWidget *parent)
    : QToolButton(parent)
{
    setFixedSize(28, 28);
}

MyToolButton::~MyToolButton() = default;

void MyToolButton::setCount(int count)
{
    m_count = count;
    update();
}

void MyToolButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRect(2, 2, 24, 24), QPixmap(QStringLiteral(":/QOrvaneDesk/image/icon_xf.png")));
    if (m_count <= 0)
        return;
    painter.translate(14, 14);
    QRadialGradient gradient(7, -7, 7);
    gradient.setColorAt(1, QColor(250, 0, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawEllipse(QRect(0, -14, 14, 14));
    painter.resetTransform();
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setPointSize(6);
    const QPoint base = m_count < 10 ? QPoint(19, 10) : m_count < 100 ? QPoint(16, 10) : QPoint(14, 10);
    QPainterPath path;
    path.addText(base, font, ZDot::countText(m_count));
    painter.setPen(Qt::white);
    painter.setBrush(Qt::white);
    painter.drawPath(path);
}
