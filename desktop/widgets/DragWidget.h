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
    void finishGrid();

    QList<DragButton *> buttons() const;
    DragButton *addButtonWidget() const { return m_addButton; }
    int rows() const { return m_rows; }
    int columns() const { return m_columns; }

    // Places every button in its cell.
    void layoutGrid();

signals:
    void openAccept(const QString &text);
    void hindSignal();

public slots:
    void BtnMove_slots();
    void BtnRelease_slots();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QList<QPointer<DragButton>> m_buttons;
    QWidget *m_background = nullptr;
    QLabel *m_arrow = nullptr;
    int m_rows = 1;
    int m_columns = 1;
    QPointer<DragButton> m_addButton;
    QString m_acceptText;
};
