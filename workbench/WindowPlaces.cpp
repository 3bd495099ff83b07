#include "WindowPlaces.h"

#include <algorithm>

namespace windowplaces {

std::vector<QRect> Tiled(const QRect &area, int count, const QSize &minimum)
{
    if (count <= 0 || area.isEmpty())
        return {};
    int bestColumns = 0;
    double bestScale = 0;
    for (int columns = 1; columns <= count; ++columns) {
        const int rows = (count + columns - 1) / columns;
        const int width = area.width() / columns, height = area.height() / rows;
        if (width < minimum.width() || height < minimum.height())
            continue;
        // How much larger than its minimum a window gets, in its tighter direction.
        const double scale = std::min(double(width) / std::max(1, minimum.width()),
                                      double(height) / std::max(1, minimum.height()));
        if (scale > bestScale) {
            bestScale = scale;
            bestColumns = columns;
        }
    }
    if (!bestColumns)
        return {};
    const int rows = (count + bestColumns - 1) / bestColumns;
    std::vector<QRect> cells;
    for (int row = 0; row < rows; ++row) {
        const int inRow = std::min(bestColumns, count - row * bestColumns);
        // Edges from the area's, so that the cells meet and the last ends at the area's edge.
        const int top = area.top() + area.height() * row / rows;
        const int bottom = area.top() + area.height() * (row + 1) / rows;
        for (int column = 0; column < inRow; ++column) {
            const int left = area.left() + area.width() * column / inRow;
            const int right = area.left() + area.width() * (column + 1) / inRow;
            cells.emplace_back(left, top, right - left, bottom - top);
        }
    }
    return cells;
}

std::vector<QRect> Cascaded(const QRect &area, int count, const QSize &minimum, int step)
{
    std::vector<QRect> places;
    if (count <= 0)
        return places;
    const int steps = count - 1;
    // Each direction on its own: as large as the area leaves after the steps, and the steps as
    // long as the area leaves beside a window.
    const auto fit = [steps, step](int room, int least, int *size, int *stride) {
        *size = std::max(least, room - steps * step);
        *stride = steps ? std::clamp((room - *size) / steps, 0, step) : 0;
    };
    int width, height, dx, dy;
    fit(area.width(), minimum.width(), &width, &dx);
    fit(area.height(), minimum.height(), &height, &dy);
    for (int i = 0; i < count; ++i)
        places.emplace_back(area.left() + i * dx, area.top() + i * dy, width, height);
    return places;
}

} // namespace windowplaces
