#include "desktop/widgets/ZAppMenuButton.h"

#include "desktop/widgets/ZDot.h"

ZAppMenuButton::ZAppMenuButton(int badgeSize, const QString &text, QWidget *parent, bool numberBadge)
    : QPushButton(parent)
    , m_badgeSize(badgeSize)
    , m_badge(new ZDot(badgeSize, numberBadge, this))
{
    if (numberBadge) {
        m_badge->setGeometry(75, 16, badgeSize, badgeSize);
        m_badge->setCount(10);
    } else {
        m_badge->setGeometry(120, 8, badgeSize, badgeSize);
        m_badge->setCount(1);
    }
    m_badge->update();
    setText(text);
}

ZAppMenuButton::~ZAppMenuButton() = default;

void ZAppMenuButton::enterEvent(QEvent *event)
{
    emit ELCSignal(0);
    QPushButton::enterEvent(event);
}

void ZAppMenuButton::leaveEvent(QEvent *event)
{
    emit ELCSignal(2);
    QPushButton::leaveEvent(event);
}

void ZAppMenuButton::mousePressEvent(QMouseEvent *event)
{
    emit ELCSignal(1);
    QPushButton::mousePressEvent(event);
}
