#include "Canvas.h"

#include <algorithm>
#include <cmath>

Rgb Mix(Rgb a, Rgb b, double t)
{
    auto ch = [t](uint8_t u, uint8_t v) {
        return uint8_t(std::clamp(std::lround(u + (double(v) - u) * t), 0L, 255L));
    };
    return {ch(a.r, b.r), ch(a.g, b.g), ch(a.b, b.b)};
}

Rgb AvoidKey(Rgb c, Rgb key)
{
    if (c != key)
        return c;
    c.b = uint8_t(c.b >= 128 ? c.b - 1 : c.b + 1);
    return c;
}

Canvas::Canvas(int width, int height, Rgb fill)
    : FWidth(width), FHeight(height), FPixels(size_t(width) * height, fill)
{
}

void Canvas::Blend(int x, int y, Rgb c, double alpha)
{
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight || alpha <= 0)
        return;
    At(x, y) = Mix(At(x, y), c, std::min(alpha, 1.0));
}

bool InsideRoundRect(double px, double py, double x0, double y0, double x1, double y1, double r)
{
    if (px < x0 || py < y0 || px >= x1 || py >= y1)
        return false;
    const double cx = std::clamp(px, x0 + r, x1 - r);
    const double cy = std::clamp(py, y0 + r, y1 - r);
    const double dx = px - cx, dy = py - cy;
    return dx * dx + dy * dy <= r * r;
}

double RoundRectCoverage(int x, int y, double x0, double y0, double x1, double y1, double r)
{
    int hits = 0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            hits += InsideRoundRect(x + (i + 0.5) / 4, y + (j + 0.5) / 4, x0, y0, x1, y1, r);
    return hits / 16.0;
}
