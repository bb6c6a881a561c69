#include "desktop/widgets/DragWidget.h"

#include "desktop/core/DeskLayout.h"
#include "desktop/widgets/DragButton.h"
#include "ui/KeyboardFocus.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>

DragWidget::DragWidget(QWidget *parent, int rows, int columns)
    : QWidget(parent)
    , m_rows(qMax(1, rows))
    , m_columns(qMax(1, columns))
{
    setObjectName(QStringLiteral("DragWidget"));
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setWindowOpacity(1);
    setAttribute(Qt::WA_TranslucentBackground);

    m_background = new QWidget(this);
    m_background->setObjectName(QStringLiteral("gridBackground"));
    m_background->setStyleSheet(QStringLiteral("border-image:url(:/QOrvaneDesk/image/class.png);"));
    m_arrow = new QLabel(this);
    m_arrow->setObjectName(QStringLiteral("gridArrow"));
    m_arrow->setFixedSize(10, 20);
    m_arrow->setPixmap(QPixmap(QStringLiteral(":/QOrvaneDesk/image/arrow.png")));
    m_arrow->hide();

    m_addButton = new DragButton;
    m_addButton->setObjectName(QStringLiteral("addButton"));
    m_addButton->setCaption(QStringLiteral("添加"));
    m_addButton->setAccessibleName(QStringLiteral("添加"));
    m_addButton->setAccessibleDescription(QStringLiteral("打开应用中心，向这个分类添加应用"));
    m_addButton->setPicture(QPixmap(QStringLiteral(":/QOrvaneDesk/image/add.png")));
    m_addButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_addButton->setStyleSheet(QStringLiteral("QToolButton{border-radius: 1px;color:rgb(240,240,240)}"));
    connect(m_addButton, &DragButton::doubleClicked, this, [this]() { emit openAccept(m_acceptText); });
}

DragWidget::~DragWidget()
{
    // An add button never taken into the grid has no parent to end it.
    if (m_addButton && !m_addButton->parent())
        delete m_addButton.data();
}

QList<DragButton *> DragWidget::buttons() const
{
    QList<DragButton *> list;
    for (const QPointer<DragButton> &b : m_buttons) {
        if (b)
            list.append(b);
    }
    return list;
}

void DragWidget::addButton(DragButton *button)
{
    if (!button)
        return;
    button->setParent(this);
    connect(button, &DragButton::drag_signal, this, &DragWidget::BtnMove_slots);
    connect(button, &DragButton::release_signal, this, &DragWidget::BtnRelease_slots);
    m_buttons.append(button);
    button->show();
    layoutGrid();
}

void DragWidget::finishGrid(bool withAddButton)
{
    if (!m_addButton)
        return;
    if (!withAddButton || m_buttons.size() > DeskLayout::kMaxIconsWithAddButton) {
        delete m_addButton.data();
        m_addButton = nullptr;
    } else {
        addButton(m_addButton);
    }
}

void DragWidget::setEmptyText(const QString &text)
{
    if (!m_emptyText) {
        m_emptyText = new QLabel(this);
        m_emptyText->setObjectName(QStringLiteral("gridEmptyText"));
        m_emptyText->setAlignment(Qt::AlignCenter);
        m_emptyText->setTextFormat(Qt::PlainText);
        m_emptyText->setWordWrap(true);
        m_emptyText->setStyleSheet(QStringLiteral("color:rgb(255,255,255);font:12px \"微软雅黑\";"));
    }
    m_emptyText->setText(text);
    m_emptyText->setAccessibleName(text);
    m_emptyText->setVisible(buttons().isEmpty());
    layoutGrid();
}

int DragWidget::focusedIndex() const
{
    const QList<DragButton *> list = buttons();
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i)->hasFocus())
            return i;
    }
    return -1;
}

bool DragWidget::focusIcon(int index, Qt::FocusReason reason)
{
    const QList<DragButton *> list = buttons();
    if (index < 0 || index >= list.size())
        return false;
    activateWindow();
    // The window may take the activation only later.
    KeyboardFocus::give(list.at(index), reason);
    return true;
}

void DragWidget::keyPressEvent(QKeyEvent *event)
{
    DeskLayout::GridMove move;
    switch (event->key()) {
    case Qt::Key_Left: move = DeskLayout::GridMove::Left; break;
    case Qt::Key_Right: move = DeskLayout::GridMove::Right; break;
    case Qt::Key_Up: move = DeskLayout::GridMove::Up; break;
    case Qt::Key_Down: move = DeskLayout::GridMove::Down; break;
    case Qt::Key_Home: move = DeskLayout::GridMove::Home; break;
    case Qt::Key_End: move = DeskLayout::GridMove::End; break;
    case Qt::Key_Escape:
        emit escapePressed();
        return;
    default: {
        const QString text = event->text();
        const bool printable = !text.isEmpty() && text.at(0).isPrint()
            && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (printable)
            emit typed(text);
        else
            QWidget::keyPressEvent(event);
        return;
    }
    }
    const int from = focusedIndex();
    const int to = DeskLayout::gridMove(from, buttons().size(), m_columns, move);
    focusIcon(to);
}

bool DragWidget::focusNextPrevChild(bool next)
{
    emit focusLeaves(next);
    return true;
}

void DragWidget::layoutGrid()
{
    const QSize size = this->size();
    if (m_emptyText)
        m_emptyText->setGeometry(DeskLayout::gridBackground(size).adjusted(8, 8, -8, -8));
    m_background->setGeometry(DeskLayout::gridBackground(size));
    m_arrow->setGeometry(DeskLayout::gridArrow(size));
    for (int i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons.at(i))
            m_buttons.at(i)->setGeometry(DeskLayout::gridCell(size, m_rows, m_columns, i));
    }
}

void DragWidget::BtnMove_slots()
{
    auto *sender = qobject_cast<DragButton *>(this->sender());
    if (!sender)
        return;
    if (sender == m_addButton) {
        layoutGrid();
        return;
    }
    const int i = m_buttons.indexOf(sender);
    if (i < 0)
        return;
    const QVector<int> cells = DeskLayout::dragPreview(m_buttons.size(), i, sender->pos(),
                                                       sender->size(), size(), m_rows, m_columns);
    for (int k = 0; k < cells.size(); ++k) {
        if (cells.at(k) >= 0 && m_buttons.at(k))
            m_buttons.at(k)->setGeometry(DeskLayout::gridCell(size(), m_rows, m_columns, cells.at(k)));
    }
}

void DragWidget::BtnRelease_slots()
{
    auto *sender = qobject_cast<DragButton *>(this->sender());
    const int i = sender ? m_buttons.indexOf(sender) : -1;
    if (i >= 0) {
        const QPoint clamped = DeskLayout::clampDropPosition(sender->pos(), sender->size(), size());
        sender->move(clamped);
        const int t = DeskLayout::dropTarget(clamped, sender->size(), size(), m_rows, m_columns,
                                             m_buttons.size());
        DeskLayout::moveItem(m_buttons, i, t);
    }
    if (m_addButton) {
        const int a = m_buttons.indexOf(m_addButton);
        if (a >= 0 && a != m_buttons.size() - 1)
            DeskLayout::moveItem(m_buttons, a, m_buttons.size() - 1);
    }
    layoutGrid();
}

void DragWidget::mousePressEvent(QMouseEvent *)
{
    // A press on the background goes nowhere.
}

void DragWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutGrid();
}
