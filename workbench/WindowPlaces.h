#pragma once
// Where windows shown side by side go in the document area, so that each shows whole: tiled in a
// grid when every cell holds a window at its minimum size, else cascaded, each window offset from
// the last by about a title bar, every one inside the area as long as the area holds one window.

#include <vector>

// Qt
#include <QRect>
#include <QSize>

namespace windowplaces {

// The cells of the grid for count windows, row by row from the top left; the windows of a last
// row that is not full share its whole width. Of the grids that hold every window at its minimum,
// the one whose cells are largest for that minimum; none (empty) when no grid does.
std::vector<QRect> Tiled(const QRect &area, int count, const QSize &minimum);
// The windows from the top left down and to the right, each step apart (less when the area is too
// small for count steps), all as large as the area leaves them and no smaller than minimum.
std::vector<QRect> Cascaded(const QRect &area, int count, const QSize &minimum, int step);

} // namespace windowplaces
