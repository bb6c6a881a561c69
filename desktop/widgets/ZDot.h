#pragma once

#include <QLabel>

// A round red badge with a number ("99+" from 100 on); nothing at all
// while the count is 0.
class ZDot : public QLabel
{
public:
    ZDot(int radius, bool showNumber, QWidget *parent = nullptr);
    ~ZDot() override;

    void setCount(int count);
    int count() const { return m_count; }
    bool showsNumber() const { return m_showNumber; }
    int radius() const { return m_radius; }

    // The text a count is shown as.
    static QString countText(int count);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_count = 0;
    bool m_showNumber = false;
    int m_radius = 0;
};
