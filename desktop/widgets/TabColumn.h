#pragma once

#include "desktop/core/DeskLayout.h"

#include <QList>
#include <QObject>
#include <QPointer>

class QAbstractButton;
class QWidget;

// Keeps the desktop's column of tabs within the screen: while the tabs
// fit, each stays in its place; when they do not, the column scrolls by
// whole tabs under the mouse wheel and two small arrow buttons at its ends,
// and a tab that takes the keyboard focus scrolls into view. The tabs stay
// children of the host window (their sideways position is the host's);
// tabs out of view are moved out of the window, not hidden, so the
// keyboard still reaches them.
class TabColumn : public QObject
{
    Q_OBJECT

public:
    explicit TabColumn(QWidget *host);
    ~TabColumn() override;

    // The tabs in slot order, and the scale their places were made for.
    void setTabs(const QList<QWidget *> &tabs, float scaleX, float scaleY);
    // The lower edge the column must end above, in the host's coordinates.
    void setBottom(int bottom);
    // Places the tabs and arrows again (after the host moved the tabs
    // sideways).
    void relayout();

    bool scrolls() const { return m_view.scrolls; }
    int firstShown() const { return m_view.first; }
    int shownCount() const { return m_view.shown; }
    bool isShown(const QWidget *tab) const;
    // Scrolls as little as needed to show the tab.
    void ensureShown(const QWidget *tab);
    // Scrolls by this many tabs (negative: up); false when it did not move.
    bool scrollBy(int tabs);

    QAbstractButton *upArrow() const;
    QAbstractButton *downArrow() const;

signals:
    // The tabs in view changed.
    void scrolled();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply(int first);

    QPointer<QWidget> m_host;
    QList<QPointer<QWidget>> m_tabs;
    float m_scaleX = 1.0f;
    float m_scaleY = 1.0f;
    int m_bottom = DeskLayout::kDesignHeight;
    int m_wheel = 0; // wheel turn not yet worth a whole tab
    DeskLayout::TabColumnView m_view;
    QPointer<QAbstractButton> m_up;
    QPointer<QAbstractButton> m_down;
};
