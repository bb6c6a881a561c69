#include "desktop/core/DeskLayout.h"

#include <QtGlobal>

namespace DeskLayout {

void ScreenMetrics::update(const QSize &available)
{
    const int w = available.width();
    const int h = available.height();
    deltaX = w - screenWidth;
    // A zero previous size would divide by zero; such a screen keeps scale 1.
    scaleX = screenWidth > 0 ? float(w) / float(screenWidth) : 1.0f;
    scaleY = screenHeight > 0 ? float(h) / float(screenHeight) : 1.0f;
    screenWidth = w;
    screenHeight = h;
}

bool isShownOnDesktop(const desktopAppInfo &app)
{
    return app.isinstall != QLatin1String("0") && app.isremove != QLatin1String("0");
}

QList<DesktopAppInfoPtr> shownApps(const DesktopAppList &apps)
{
    QList<DesktopAppInfoPtr> shown;
    for (const DesktopAppInfoPtr &app : apps) {
        if (app && isShownOnDesktop(*app))
            shown.append(app);
    }
    return shown;
}

int gridRows(int visibleIcons)
{
    const int n = qMax(0, visibleIcons);
    return n <= kMaxIconsWithAddButton ? (n + 3) / 3 : (n + 2) / 3;
}

QString iconCaption(const QString &name)
{
    const QVector<uint> chars = name.toUcs4();
    if (chars.size() < 5)
        return name;
    return QString::fromUcs4(chars.constData(), 4) + QStringLiteral("...");
}

QString verticalTabText(const QString &name)
{
    QString text = QStringLiteral("\n");
    for (uint c : name.toUcs4()) {
        text += QString::fromUcs4(&c, 1);
        text += QLatin1Char('\n');
    }
    return text;
}

QRect categoryTabGeometry(int index, float scaleX, float scaleY)
{
    const int x = int(scaleX * 1890);
    const int y = int(index * 90 * scaleY + scaleY * 40 + index * 10);
    return QRect(x, y, int(scaleX * 30), int(scaleY * 90));
}

TabColumnView tabColumnView(int count, int first, int bottom, float scaleX, float scaleY)
{
    TabColumnView view;
    count = qMax(0, count);
    view.tabs.resize(count);
    if (count == 0)
        return view;
    const QRect last = categoryTabGeometry(count - 1, scaleX, scaleY);
    if (last.y() + last.height() <= bottom) {
        for (int i = 0; i < count; ++i)
            view.tabs[i] = categoryTabGeometry(i, scaleX, scaleY);
        view.shown = count;
        return view;
    }

    view.scrolls = true;
    const QRect top = categoryTabGeometry(0, scaleX, scaleY);
    const int arrow = qMax(12, int(kTabArrowHeight * scaleY));
    view.up = QRect(top.x(), top.y(), top.width(), arrow);
    const int firstY = top.y() + arrow + kTabArrowGap;
    // The spacing of the tabs where they all fit: a tab and its gap.
    const float pitch = 90 * scaleY + 10;
    const int height = top.height();
    // Tabs from firstY on, each pitch apart, then the gap and the arrow.
    int fit = 0;
    while (fit < count && int(firstY + fit * pitch) + height + kTabArrowGap + arrow <= bottom)
        ++fit;
    view.shown = qMax(1, fit);
    view.first = qBound(0, first, count - view.shown);
    for (int r = 0; r < view.shown; ++r)
        view.tabs[view.first + r] = QRect(top.x(), int(firstY + r * pitch), top.width(), height);
    const QRect lastShown = view.tabs[view.first + view.shown - 1];
    view.down = QRect(top.x(), lastShown.y() + lastShown.height() + kTabArrowGap, top.width(), arrow);
    return view;
}

QRect searchFieldGeometry(float scaleX, float scaleY)
{
    return QRect(int(scaleX * 1650), int(scaleY * 40), int(scaleX * 220), int(scaleY * 30));
}

QRect searchGridGeometry(const QRect &field, int rows, float scaleY)
{
    return QRect(field.x(), field.y() + field.height() + int(scaleY * 6), field.width(),
                 int(scaleY * 90) * qMax(1, rows));
}

int plainGridRows(int icons)
{
    return qMax(1, (qMax(0, icons) + kGridColumns - 1) / kGridColumns);
}

int gridMove(int index, int count, int columns, GridMove move)
{
    if (count <= 0)
        return -1;
    columns = qMax(1, columns);
    if (index < 0 || index >= count)
        return 0;
    const int lastRow = (count - 1) / columns;
    const int row = index / columns;
    switch (move) {
    case GridMove::Left:
        return index % columns > 0 ? index - 1 : index;
    case GridMove::Right:
        return index % columns < columns - 1 && index + 1 < count ? index + 1 : index;
    case GridMove::Up:
        return row > 0 ? index - columns : index;
    case GridMove::Down:
        if (row >= lastRow)
            return index;
        return qMin(index + columns, count - 1);
    case GridMove::Home:
        return 0;
    case GridMove::End:
        return count - 1;
    }
    return index;
}

QRect gridGeometry(const QRect &tab, int rows)
{
    const int h = tab.height();
    return QRect(tab.x() - 3 * h + 30, tab.y(), 3 * h - 50, h * rows);
}

QRect scaledGeometry(const QRect &rect, float scaleX, float scaleY)
{
    return QRect(int(rect.x() * scaleX), int(rect.y() * scaleY), int(rect.width() * scaleX),
                 int(rect.height() * scaleY));
}

QRect gridBackground(const QSize &grid)
{
    return QRect(0, 0, grid.width() - 10, grid.height());
}

QRect gridArrow(const QSize &grid)
{
    const int b = gridBackground(grid).width();
    return QRect(grid.width() - 10, b / 6 - 10, 10, 20);
}

QRect gridCell(const QSize &grid, int rows, int columns, int index)
{
    rows = qMax(1, rows);
    columns = qMax(1, columns);
    const int w = grid.width();
    const int h = grid.height();
    return QRect(w * (index % columns) / columns, h * (index / columns) / rows, w / columns,
                 h / rows);
}

namespace {

// A grid narrower than its columns would make the cell size 0; the
// division by it must not fail.
int cellExtent(int total, int parts)
{
    return qMax(1, total / qMax(1, parts));
}

} // namespace

QPoint hoveredCell(const QPoint &buttonPos, const QSize &button, const QSize &grid, int rows,
                   int columns)
{
    const int c = (buttonPos.x() + button.width() / 2) / cellExtent(grid.width(), columns);
    const int r = (buttonPos.y() + button.height() / 2) / cellExtent(grid.height(), rows);
    // Integer division truncates towards zero; a centre left of or above
    // the grid still lies in the first column or row. The cells are
    // truncated too, so the last pixels of a grid lie beyond the last
    // cell: they count as the last column or row, not the next row.
    return QPoint(qBound(0, c, qMax(1, columns) - 1), qBound(0, r, qMax(1, rows) - 1));
}

QVector<int> dragPreview(int count, int dragged, const QPoint &buttonPos, const QSize &button,
                         const QSize &grid, int rows, int columns)
{
    QVector<int> placed(qMax(0, count), -1);
    if (dragged < 0 || dragged >= count)
        return placed;
    columns = qMax(1, columns);
    const int r0 = dragged / columns;
    const int c0 = dragged % columns;
    const QPoint cell = hoveredCell(buttonPos, button, grid, rows, columns);
    const int c = cell.x();
    const int r = cell.y();

    auto placeAllHome = [&]() {
        for (int k = 0; k < count; ++k)
            placed[k] = k == dragged ? -1 : k;
    };

    // Column phase: only the home row makes room.
    if (c0 != c) {
        placeAllHome();
        for (int k = 0; k < count; ++k) {
            if (k == dragged || k / columns != r0)
                continue;
            const int col = k % columns;
            if (c0 < c && col > c0 && col <= c)
                placed[k] = k - 1;
            else if (c < c0 && col >= c && col < c0)
                placed[k] = k + 1;
        }
    }

    // Row phase: the buttons between the home index and the hovered one
    // shift by one index.
    if (r != r0) {
        const int t = r * columns + c;
        placeAllHome();
        for (int k = 0; k < count; ++k) {
            if (k == dragged)
                continue;
            if (r > r0 && k > dragged && k <= t)
                placed[k] = k - 1;
            else if (r < r0 && k >= t && k < dragged)
                placed[k] = k + 1;
        }
    }
    return placed;
}

QPoint clampDropPosition(const QPoint &buttonPos, const QSize &button, const QSize &grid)
{
    int x = buttonPos.x();
    int y = buttonPos.y();
    if (x < 0)
        x = 0;
    else if (x + button.width() / 2 > grid.width())
        x = grid.width() - button.width() / 2 - 1;
    if (y < 0)
        y = 0;
    else if (y + button.height() / 2 > grid.height())
        y = grid.height() - button.height() / 2 - 1;
    return QPoint(x, y);
}

int dropTarget(const QPoint &buttonPos, const QSize &button, const QSize &grid, int rows,
               int columns, int count)
{
    if (count <= 0)
        return -1;
    const QPoint clamped = clampDropPosition(buttonPos, button, grid);
    const QPoint cell = hoveredCell(clamped, button, grid, rows, columns);
    int t = cell.y() * qMax(1, columns) + cell.x();
    if (t >= count)
        t = count - 1;
    return qMax(0, t);
}

} // namespace DeskLayout
