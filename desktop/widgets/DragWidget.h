#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

class DragButton;
class QLabel;

// The popup grid of one category's icons: a tool window of equal cells in
// which icons can be dragged to another place. While an icon is dragged,
// the others make room live; a drop changes the order and lays the grid
// out again. A grid of at most five icons ends with the "添加" button.
// Arrow keys move the focus between the icons in grid order; Tab and
// Shift+Tab leave the grid (the desktop decides where to); typing is
// handed on to the desktop's search.
class DragWidget : public QWidget
{
    Q_OBJECT

public:
    DragWidget(QWidget *parent, int rows, int columns);
    ~DragWidget() override;

    // Takes the button into the grid and lays the grid out.
    void addButton(DragButton *button);
    // Once, after the last icon: the add button takes the last cell while
    // there are at most five icons, else it is dropped.
    void finishGrid(bool withAddButton = true);
    // Shown over an empty grid.
    void setEmptyText(const QString &text);

    // Index in grid order of the icon holding the focus, or -1.
    int focusedIndex() const;
    // Gives the focus to the icon at this index (the window is activated).
    // The reason tells whether the keyboard moved it (the frame shows).
    bool focusIcon(int index, Qt::FocusReason reason = Qt::OtherFocusReason);

    QList<DragButton *> buttons() const;
    DragButton *addButtonWidget() const { return m_addButton; }
    int rows() const { return m_rows; }
    int columns() const { return m_columns; }

    // Places every button in its cell.
    void layoutGrid();

signals:
    void openAccept(const QString &text);
    void hindSignal();
    // Tab (forward) or Shift+Tab out of the grid.
    void focusLeaves(bool forward);
    // Printable text typed while an icon had the focus.
    void typed(const QString &text);
    void escapePressed();

public slots:
    void BtnMove_slots();
    void BtnRelease_slots();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QList<QPointer<DragButton>> m_buttons;
    QWidget *m_background = nullptr;
    QLabel *m_arrow = nullptr;
    QLabel *m_emptyText = nullptr;
    int m_rows = 1;
    int m_columns = 1;
    QPointer<DragButton> m_addButton;
    QString m_acceptText;
};
