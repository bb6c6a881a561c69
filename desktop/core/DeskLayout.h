#pragma once

#include "catalogue/DesktopAppInfo.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVector>

// The desktop's geometry as plain arithmetic: where the category tabs and
// the icon grid go, how a grid is laid out, where the other icons go while
// one is dragged and where a dropped icon lands. The widgets only apply
// what these functions compute.
namespace DeskLayout {

// The design size the desktop window is drawn for.
constexpr int kDesignWidth = 1920;
constexpr int kDesignHeight = 1040;
constexpr int kGridColumns = 3;
// A grid shows the add button while it holds at most this many icons.
constexpr int kMaxIconsWithAddButton = 5;

// The available screen area against the previous measurement. The first
// update compares with the design size; every later one with the last.
struct ScreenMetrics
{
    int screenWidth = kDesignWidth;
    int screenHeight = kDesignHeight;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    int deltaX = 0;

    void update(const QSize &available);
};

// An application is on the desktop unless it is not installed here or was
// taken off the desktop ("0" in either flag).
bool isShownOnDesktop(const desktopAppInfo &app);
QList<DesktopAppInfoPtr> shownApps(const DesktopAppList &apps);

// Rows of three for the icons, plus the add button's cell while there are
// at most five icons; never fewer than one row.
int gridRows(int visibleIcons);

// The icon's caption: the whole name up to 4 characters, else its first 4
// and "...". Counted in characters a reader sees, so a name is never cut
// inside a surrogate pair.
QString iconCaption(const QString &name);

// Tab text: a line break, then every character followed by one, so the
// name reads top to bottom.
QString verticalTabText(const QString &name);

// Geometry of the tab of category index i.
QRect categoryTabGeometry(int index, float scaleX, float scaleY);

// The column of tabs between the top bar and `bottom` (the lower edge of
// what the desktop shows). While every tab fits, each keeps its place
// (categoryTabGeometry). Otherwise the column scrolls by whole tabs: an
// arrow at its top, as many tabs as fit from slot `first` on (clamped so
// the last tab ends the run, never an empty space), and an arrow below.
struct TabColumnView
{
    bool scrolls = false;
    int first = 0; // first slot shown
    int shown = 0; // slots shown
    // The arrows, empty while every tab fits.
    QRect up, down;
    // Per slot: where it is shown, or a null rect when it is out of view.
    QVector<QRect> tabs;

    bool canScrollUp() const { return scrolls && first > 0; }
    bool canScrollDown() const { return scrolls && first + shown < tabs.size(); }
};
constexpr int kTabArrowHeight = 20;
constexpr int kTabArrowGap = 4;
TabColumnView tabColumnView(int count, int first, int bottom, float scaleX, float scaleY);

// The tabs run "常用" first, then the categories in catalogue order.
constexpr int kCommonTabIndex = 0;
inline int categoryTabSlot(int categoryIndex) { return categoryIndex + 1; }

// The search field opened by typing: where the top tab's grid would open,
// one line high. The results open right below it.
QRect searchFieldGeometry(float scaleX, float scaleY);
QRect searchGridGeometry(const QRect &field, int rows, float scaleY);
// At most this many results are shown (the rest of the screen is tabs).
constexpr int kMaxSearchResults = 24;

// Rows of three for a grid without the add button ("常用", results);
// never fewer than one row.
int plainGridRows(int icons);

// Keyboard moves between the cells of a grid of `count` cells in rows of
// `columns`, in reading order.
enum class GridMove { Left, Right, Up, Down, Home, End };

// The index focus moves to from `index`; `index` itself where the move
// leads out of the grid (left of the first cell, below the last row...).
// Down from a row above a shorter last row lands on the last cell.
int gridMove(int index, int count, int columns, GridMove move);

// Geometry of the grid opened beside a tab.
QRect gridGeometry(const QRect &tab, int rows);

// x, y, width and height each multiplied by its scale and truncated.
QRect scaledGeometry(const QRect &rect, float scaleX, float scaleY);

// Inside a grid of the given size.
QRect gridBackground(const QSize &grid);
QRect gridArrow(const QSize &grid);
QRect gridCell(const QSize &grid, int rows, int columns, int index);

// The cell (x: column, y: row) a button's centre lies over, within the
// grid: positions left of or above it count as column or row 0, positions
// right of or below it as the last.
QPoint hoveredCell(const QPoint &buttonPos, const QSize &button, const QSize &grid, int rows,
                   int columns);

// Live preview while button `dragged` of `count` is moved to buttonPos:
// for each index the cell index it is placed in, or -1 when it is not
// placed (the dragged button itself, and every button while the pointer
// is over the dragged button's own row and column).
QVector<int> dragPreview(int count, int dragged, const QPoint &buttonPos, const QSize &button,
                         const QSize &grid, int rows, int columns);

// The position a dropped button is clamped to before its cell is chosen.
QPoint clampDropPosition(const QPoint &buttonPos, const QSize &button, const QSize &grid);

// The index a dropped button moves to: its clamped centre's cell, at most
// the last index.
int dropTarget(const QPoint &buttonPos, const QSize &button, const QSize &grid, int rows,
               int columns, int count);

// The list order after the button at index `from` moved to `to`.
template <typename T>
void moveItem(QList<T> &list, int from, int to)
{
    if (from < 0 || from >= list.size() || to < 0 || to >= list.size() || from == to)
        return;
    list.move(from, to);
}

} // namespace DeskLayout
