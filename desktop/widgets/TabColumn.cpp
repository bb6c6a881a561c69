#include "desktop/widgets/TabColumn.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QToolButton>
#include <QWheelEvent>
#include <QWidget>

namespace {

// Where tabs out of view wait: far outside the window, still "visible" to
// the focus chain.
constexpr int kParkedY = -100000;

// A small button with a chevron, in the tabs' colours.
class ArrowButton : public QToolButton
{
public:
    ArrowButton(bool up, QWidget *parent)
        : QToolButton(parent)
        , m_up(up)
    {
        setAutoRepeat(true);
        setAutoRepeatDelay(400);
        setAutoRepeatInterval(150);
        // The keyboard scrolls by reaching the tabs themselves.
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
        setAccessibleName(up ? QStringLiteral("向上滚动分类") : QStringLiteral("向下滚动分类"));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const bool active = isEnabled();
        painter.setOpacity(active ? (isDown() ? 0.75 : 1.0) : 0.45);
        if (!m_face.isNull()) {
            painter.drawPixmap(rect(), m_face);
        } else {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(40, 110, 200));
            painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
        }
        painter.setOpacity(active && underMouse() ? 1.0 : active ? 0.9 : 0.6);
        const qreal cx = width() / 2.0;
        const qreal cy = height() / 2.0;
        const qreal w = qMin(width(), height()) * 0.3;
        const qreal h = w * 0.6;
        QPainterPath chevron;
        chevron.moveTo(cx - w, m_up ? cy + h / 2 : cy - h / 2);
        chevron.lineTo(cx, m_up ? cy - h / 2 : cy + h / 2);
        chevron.lineTo(cx + w, m_up ? cy + h / 2 : cy - h / 2);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(255, 255, 255), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(chevron);
    }

private:
    bool m_up;
    // The tabs' own picture, so the arrows read as part of the column.
    const QPixmap m_face{QStringLiteral(":/QOrvaneDesk/image/classinfo.png")};
};

} // namespace

TabColumn::TabColumn(QWidget *host)
    : QObject(host)
    , m_host(host)
{
    m_up = new ArrowButton(true, host);
    m_up->setObjectName(QStringLiteral("tabScrollUp"));
    m_down = new ArrowButton(false, host);
    m_down->setObjectName(QStringLiteral("tabScrollDown"));
    m_up->hide();
    m_down->hide();
    connect(m_up.data(), &QAbstractButton::clicked, this, [this] { scrollBy(-1); });
    connect(m_down.data(), &QAbstractButton::clicked, this, [this] { scrollBy(1); });
    host->installEventFilter(this);
    m_up->installEventFilter(this);
    m_down->installEventFilter(this);
}

TabColumn::~TabColumn() = default;

QAbstractButton *TabColumn::upArrow() const
{
    return m_up;
}

QAbstractButton *TabColumn::downArrow() const
{
    return m_down;
}

void TabColumn::setTabs(const QList<QWidget *> &tabs, float scaleX, float scaleY)
{
    for (const QPointer<QWidget> &tab : qAsConst(m_tabs)) {
        if (tab)
            tab->removeEventFilter(this);
    }
    m_tabs.clear();
    for (QWidget *tab : tabs) {
        m_tabs.append(tab);
        tab->installEventFilter(this);
    }
    m_scaleX = scaleX;
    m_scaleY = scaleY;
    m_wheel = 0;
    apply(0);
}

void TabColumn::setBottom(int bottom)
{
    m_bottom = bottom;
    apply(m_view.first);
}

void TabColumn::relayout()
{
    apply(m_view.first);
}

bool TabColumn::isShown(const QWidget *tab) const
{
    for (int i = 0; i < m_tabs.size() && i < m_view.tabs.size(); ++i) {
        if (m_tabs.at(i) == tab)
            return !m_view.tabs.at(i).isNull();
    }
    return false;
}

void TabColumn::ensureShown(const QWidget *tab)
{
    if (!m_view.scrolls || !tab || isShown(tab))
        return;
    for (int i = 0; i < m_tabs.size(); ++i) {
        if (m_tabs.at(i) != tab)
            continue;
        apply(i < m_view.first ? i : i - m_view.shown + 1);
        emit scrolled();
        return;
    }
}

bool TabColumn::scrollBy(int tabs)
{
    if (!m_view.scrolls || tabs == 0)
        return false;
    const int before = m_view.first;
    apply(before + tabs);
    if (m_view.first == before)
        return false;
    emit scrolled();
    return true;
}

void TabColumn::apply(int first)
{
    m_view = DeskLayout::tabColumnView(m_tabs.size(), first, m_bottom, m_scaleX, m_scaleY);
    // The host moves the tabs sideways with the screen; the column keeps
    // their x and width and sets where they are up and down.
    QWidget *reference = nullptr;
    for (int i = 0; i < m_tabs.size(); ++i) {
        QWidget *tab = m_tabs.at(i);
        if (!tab)
            continue;
        if (!reference)
            reference = tab;
        const QRect place = m_view.tabs.at(i);
        if (place.isNull())
            tab->setGeometry(tab->x(), kParkedY, tab->width(), tab->height());
        else
            tab->setGeometry(tab->x(), place.y(), tab->width(), place.height());
    }
    if (!m_up || !m_down)
        return;
    if (!m_view.scrolls || !reference) {
        m_up->hide();
        m_down->hide();
        return;
    }
    m_up->setGeometry(reference->x(), m_view.up.y(), reference->width(), m_view.up.height());
    m_down->setGeometry(reference->x(), m_view.down.y(), reference->width(), m_view.down.height());
    m_up->setEnabled(m_view.canScrollUp());
    m_down->setEnabled(m_view.canScrollDown());
    m_up->show();
    m_down->show();
    m_up->raise();
    m_down->raise();
}

bool TabColumn::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn && watched != m_host) {
        // A tab the keyboard reaches comes into view before anyone opens it.
        ensureShown(qobject_cast<QWidget *>(watched));
    } else if (event->type() == QEvent::Wheel && m_view.scrolls && m_host) {
        // Over a tab, an arrow or the gaps between them (the window's own).
        auto *wheel = static_cast<QWheelEvent *>(event);
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || (widget != m_host && widget->parentWidget() != m_host))
            return QObject::eventFilter(watched, event);
        const QPoint at = widget == m_host ? wheel->position().toPoint()
                                           : widget->mapTo(m_host, wheel->position().toPoint());
        const QWidget *reference = m_up;
        const bool overColumn = reference && at.x() >= reference->x() && at.x() < reference->x() + reference->width()
            && at.y() >= m_view.up.y() && at.y() < m_view.down.y() + m_view.down.height();
        if (overColumn) {
            // One notch (120) is one tab; finer wheels add up to it.
            m_wheel += wheel->angleDelta().y();
            const int steps = m_wheel / 120;
            m_wheel -= steps * 120;
            if (steps != 0)
                scrollBy(-steps);
            wheel->accept();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
