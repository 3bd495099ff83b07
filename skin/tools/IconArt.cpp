#include "IconArt.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr double Grid = 256;

struct Point {
    double x, y;
};

struct Stop {
    double Offset;
    Rgb Colour;
    double Opacity;
};

// A rounded rectangle or a polygon, filled with a vertical gradient (a single stop is a plain
// colour). SVG's linear gradient pads beyond its ends, and so does the rasteriser.
struct Shape {
    bool Rounded = false;
    double X0 = 0, Y0 = 0, X1 = 0, Y1 = 0, Radius = 0;
    std::vector<Point> Corners;
    double Top = 0, Bottom = Grid;
    std::vector<Stop> Stops;
};

Shape roundRect(double x0, double y0, double x1, double y1, double r, std::vector<Stop> stops)
{
    Shape s;
    s.Rounded = true;
    s.X0 = x0, s.Y0 = y0, s.X1 = x1, s.Y1 = y1, s.Radius = r;
    s.Top = y0, s.Bottom = y1;
    s.Stops = std::move(stops);
    return s;
}

Shape polygon(std::vector<Point> corners, Rgb colour, double opacity, double dy = 0)
{
    Shape s;
    for (Point &p : corners)
        p.y += dy;
    s.Corners = std::move(corners);
    s.Stops = {{0, colour, opacity}};
    return s;
}

const std::vector<Shape> &shapes()
{
    // The banner's blues, the dark blue of the button borders and the amber of a hot button.
    const Rgb border{0, 60, 116}, middle{146, 188, 236}, deep{62, 112, 190};
    const Rgb white{255, 255, 255}, amber{255, 190, 70};
    // Shafts and the border lie on a 16-unit grid: whole pixels at 16 x 16, where blur shows most.
    const std::vector<Point> out{{48, 80}, {144, 80}, {144, 56}, {208, 96}, {144, 136}, {144, 112}, {48, 112}};
    const std::vector<Point> in{{208, 144}, {112, 144}, {112, 120}, {48, 160}, {112, 200}, {112, 176}, {208, 176}};
    static const std::vector<Shape> list{
        roundRect(0, 0, 256, 256, 56, {{0, border, 1}}),
        roundRect(16, 16, 240, 240, 42, {{0, middle, 1}, {1, deep, 1}}),
        // Gloss over the upper half, as on the banner.
        roundRect(24, 22, 232, 124, 34, {{0, white, 0.5}, {1, white, 0.04}}),
        // Each arrow over a soft shadow, so it stands off the tile at small sizes too.
        polygon(out, border, 0.45, 8),
        polygon(out, white, 1),
        polygon(in, border, 0.45, 8),
        polygon(in, amber, 1),
    };
    return list;
}

bool inside(const Shape &s, double x, double y)
{
    if (s.Rounded)
        return InsideRoundRect(x, y, s.X0, s.Y0, s.X1, s.Y1, s.Radius);
    bool in = false; // even-odd rule
    const std::vector<Point> &c = s.Corners;
    for (size_t i = 0, j = c.size() - 1; i < c.size(); j = i++)
        if ((c[i].y > y) != (c[j].y > y) && x < c[j].x + (y - c[j].y) * (c[i].x - c[j].x) / (c[i].y - c[j].y))
            in = !in;
    return in;
}

Stop paintAt(const Shape &s, double y)
{
    const std::vector<Stop> &stops = s.Stops;
    const double t = std::clamp((y - s.Top) / (s.Bottom - s.Top), 0.0, 1.0);
    if (t <= stops.front().Offset)
        return stops.front();
    for (size_t i = 1; i < stops.size(); ++i)
        if (t <= stops[i].Offset) {
            const Stop &a = stops[i - 1], &b = stops[i];
            const double u = (t - a.Offset) / (b.Offset - a.Offset);
            return {t, Mix(a.Colour, b.Colour, u), a.Opacity + (b.Opacity - a.Opacity) * u};
        }
    return stops.back();
}

std::string hex(Rgb c)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
    return text;
}

std::string number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

} // namespace

RgbaPicture MakeIcon(int size)
{
    constexpr int samples = 8;
    RgbaPicture picture;
    picture.Width = picture.Height = size;
    picture.Pixels.resize(size_t(size) * size * 4);
    const double scale = Grid / size;
    for (int py = 0; py < size; ++py)
        for (int px = 0; px < size; ++px) {
            // Premultiplied sums over the samples, so edges blend as the SVG renderer blends them.
            double r = 0, g = 0, b = 0, a = 0;
            for (int j = 0; j < samples; ++j)
                for (int i = 0; i < samples; ++i) {
                    const double x = (px + (i + 0.5) / samples) * scale, y = (py + (j + 0.5) / samples) * scale;
                    double sr = 0, sg = 0, sb = 0, sa = 0;
                    for (const Shape &s : shapes()) {
                        if (!inside(s, x, y))
                            continue;
                        const Stop p = paintAt(s, y);
                        sr = p.Colour.r * p.Opacity + sr * (1 - p.Opacity);
                        sg = p.Colour.g * p.Opacity + sg * (1 - p.Opacity);
                        sb = p.Colour.b * p.Opacity + sb * (1 - p.Opacity);
                        sa = p.Opacity + sa * (1 - p.Opacity);
                    }
                    r += sr, g += sg, b += sb, a += sa;
                }
            uint8_t *out = &picture.Pixels[(size_t(py) * size + px) * 4];
            const auto channel = [a](double v) { return uint8_t(std::lround(std::clamp(v / a, 0.0, 255.0))); };
            out[0] = a > 0 ? channel(r) : 0;
            out[1] = a > 0 ? channel(g) : 0;
            out[2] = a > 0 ? channel(b) : 0;
            out[3] = uint8_t(std::lround(255 * a / (samples * samples)));
        }
    return picture;
}

std::string MakeIconSvg()
{
    std::string defs, body;
    int gradients = 0;
    for (const Shape &s : shapes()) {
        std::string fill;
        if (s.Stops.size() == 1) {
            fill = "fill=\"" + hex(s.Stops[0].Colour) + "\"";
            if (s.Stops[0].Opacity < 1)
                fill += " fill-opacity=\"" + number(s.Stops[0].Opacity) + "\"";
        } else {
            const std::string id = "g" + std::to_string(gradients++);
            defs += "    <linearGradient id=\"" + id + "\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"" +
                    number(s.Top) + "\" x2=\"0\" y2=\"" + number(s.Bottom) + "\">\n";
            for (const Stop &stop : s.Stops)
                defs += "      <stop offset=\"" + number(stop.Offset) + "\" stop-color=\"" + hex(stop.Colour) +
                        "\" stop-opacity=\"" + number(stop.Opacity) + "\"/>\n";
            defs += "    </linearGradient>\n";
            fill = "fill=\"url(#" + id + ")\"";
        }
        if (s.Rounded) {
            body += "  <rect x=\"" + number(s.X0) + "\" y=\"" + number(s.Y0) + "\" width=\"" + number(s.X1 - s.X0) +
                    "\" height=\"" + number(s.Y1 - s.Y0) + "\" rx=\"" + number(s.Radius) + "\" " + fill + "/>\n";
        } else {
            std::string points;
            for (const Point &p : s.Corners)
                points += (points.empty() ? "" : " ") + number(p.x) + "," + number(p.y);
            body += "  <polygon points=\"" + points + "\" " + fill + "/>\n";
        }
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n"
           "  <defs>\n" +
           defs + "  </defs>\n" + body + "</svg>\n";
}
