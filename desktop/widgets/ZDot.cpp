#include "desktop/widgets/ZDot.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

ZDot::ZDot(int radius, bool showNumber, QWidget *parent)
    : QLabel(parent)
    , m_showNumber(showNumber)
    , m_radius(qMax(0, radius))
{
    setFixedSize(2 * m_radius, 2 * m_radius);
}

ZDot::~ZDot() = default;

void ZDot::setCount(int count)
{
    m_count = count;
    update();
}

QString ZDot::countText(int count)
{
    return count >= 100 ? QStringLiteral("99+") : QString::number(count);
}

void ZDot::paintEvent(QPaintEvent *)
{
    if (m_count <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2, height() / 2);
    const int r = m_radius;
    QRadialGradient gradient(0, 0, r);
    gradient.setColorAt(1, QColor(250, 0, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawPie(QRect(-r, -r, 2 * r, 2 * r), 0, 360 * 16);
    if (!m_showNumber)
        return;
    painter.resetTransform();
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setPointSize(5);
    QPoint base = m_count < 10 ? QPoint(r - 2, r + 2) : m_count < 100 ? QPoint(r - 4, r + 2) : QPoint(r, r - 4);
    QPainterPath path;
    path.addText(base, font, countText(m_count));
    painter.setPen(Qt::white);
    painter.setBrush(Qt::white);
    painter.drawPath(path);
}
