#pragma once

#include <QToolButton>

// A 28 × 28 tool button with a fixed picture and, above 0, a red count
// badge in its top-right quarter.
class MyToolButton : public QToolButton
{
public:
    explicit MyToolButton(QWidget *parent = nullptr);
    ~MyToolButton() override;

    void setCount(int count);
    int count() const { return m_count; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_count = 0;
};
