#pragma once

#include <QPushButton>

class ZDot;

// A push button that reports the pointer entering it (0), a press (1) and
// the pointer leaving it (2) as one signal, each before the button itself
// handles the event. It carries a badge, invisible at badge size 0.
class ZAppMenuButton : public QPushButton
{
    Q_OBJECT

public:
    ZAppMenuButton(int badgeSize, const QString &text, QWidget *parent, bool numberBadge);
    ~ZAppMenuButton() override;

    ZDot *badge() const { return m_badge; }

signals:
    void ELCSignal(int flag);

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    int m_badgeSize = 0;
    ZDot *m_badge = nullptr;
};
