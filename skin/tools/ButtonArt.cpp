#include "ButtonArt.h"

#include <cmath>
#include <utility>

namespace {

enum class State { Normal, MouseOn, MouseDown };

const char *stateName(State s)
{
    switch (s) {
    case State::Normal: return "NORMAL";
    case State::MouseOn: return "MOUSEON";
    case State::MouseDown: return "MOUSEDOWN";
    }
    return "";
}

// Vertical gradient through stops at given rows (rows between stops are mixed linearly).
struct Stop {
    double y;
    Rgb c;
};

Rgb gradient(const std::vector<Stop> &stops, double y)
{
    if (y <= stops.front().y)
        return stops.front().c;
    for (size_t i = 1; i < stops.size(); ++i)
        if (y <= stops[i].y)
            return Mix(stops[i - 1].c, stops[i].c, (y - stops[i - 1].y) / (stops[i].y - stops[i - 1].y));
    return stops.back().c;
}

// ---- WinXP, 18 x 21: rounded 1-pixel border, corners in the key colour ----

Canvas winXP(State s)
{
    const int w = 18, h = 21;
    const Rgb key{236, 233, 216}, border{0, 60, 116};
    Canvas c(w, h, key);

    for (int y = 1; y <= h - 2; ++y) {
        Rgb face;
        if (s == State::MouseDown)
            face = gradient({{1, {209, 204, 193}}, {2, {220, 216, 207}}, {3, {226, 225, 218}}, {19, {234, 234, 228}}}, y);
        else
            face = gradient({{1, {255, 255, 255}}, {15, {243, 243, 239}}, {16, {240, 240, 234}}, {17, {235, 234, 229}},
                             {18, {226, 223, 214}}, {19, {214, 208, 197}}},
                            y);
        for (int x = 1; x <= w - 2; ++x)
            c.At(x, y) = face;
        if (s != State::MouseDown)
            c.At(w - 2, y) = Mix(face, {214, 208, 197}, 0.35); // shade along the right edge
    }

    if (s == State::MouseOn) {
        const Rgb top1{255, 240, 207}, top2{253, 216, 137}, side{248, 179, 48}, sideInner{251, 202, 106},
            bottom1{248, 179, 48}, bottom2{229, 151, 0};
        for (int x = 2; x <= w - 3; ++x) {
            c.At(x, 1) = top1;
            c.At(x, h - 2) = bottom2;
        }
        for (int x = 1; x <= w - 2; ++x) {
            c.At(x, 2) = top2;
            c.At(x, h - 3) = bottom1;
        }
        for (int y = 3; y <= h - 4; ++y) {
            c.At(1, y) = side;
            c.At(w - 2, y) = side;
            c.At(2, y) = Mix(c.At(2, y), sideInner, 0.5);
            c.At(w - 3, y) = Mix(c.At(w - 3, y), sideInner, 0.5);
        }
    }

    for (int x = 2; x <= w - 3; ++x) {
        c.At(x, 0) = border;
        c.At(x, h - 1) = border;
    }
    for (int y = 2; y <= h - 3; ++y) {
        c.At(0, y) = border;
        c.At(w - 1, y) = border;
    }
    // The rounding: one pixel on the diagonal, softened towards the face.
    for (auto [x, y] : {std::pair{1, 1}, {w - 2, 1}, {1, h - 2}, {w - 2, h - 2}})
        c.At(x, y) = Mix(border, {122, 149, 168}, 0.6);
    return c;
}

// ---- DeepBlue, 74 x 21, 16 colours: flat light grey face in a black frame ----

Canvas deepBlue(State s)
{
    const int w = 74, h = 21;
    const Rgb key{4, 4, 4}, frame{0, 0, 0}, white{255, 255, 255}, shadow{128, 128, 128};
    const Rgb face = s == State::Normal ? Rgb{212, 208, 200} : s == State::MouseOn ? Rgb{226, 230, 238} : Rgb{188, 184, 176};
    Canvas c(w, h, frame);
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x)
            c.At(x, y) = face;
    const Rgb lit = s == State::MouseDown ? shadow : white;
    const Rgb dark = s == State::MouseDown ? face : shadow;
    for (int x = 1; x < w - 1; ++x) {
        c.At(x, 1) = lit;
        c.At(x, h - 2) = dark;
    }
    for (int y = 1; y < h - 1; ++y) {
        c.At(1, y) = lit;
        c.At(w - 2, y) = dark;
    }
    for (auto [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}})
        c.At(x, y) = key;
    return c;
}

// ---- Protein, 74 x 21: grey marbled face in a dark frame ----

Canvas protein(State s)
{
    const int w = 74, h = 21;
    const Rgb key = s == State::MouseDown ? Rgb{11, 12, 13} : Rgb{43, 43, 43};
    const Rgb frame{22, 22, 24};
    const double base = s == State::Normal ? 170 : s == State::MouseOn ? 192 : 140;
    const double phase = s == State::MouseDown ? 1.3 : 0.0;
    Canvas c(w, h, key);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (RoundRectCoverage(x, y, 0, 0, w, h, 4) < 0.5)
                continue;
            if (RoundRectCoverage(x, y, 1, 1, w - 1, h - 1, 3) < 0.5) {
                c.At(x, y) = frame;
                continue;
            }
            const double vein = std::sin(x * 0.31 + 2.4 * std::sin(y * 0.43 + phase) + 0.9 * std::sin((x + y) * 0.19));
            const double grain = 0.5 * std::sin(x * 1.7 + y * 2.3) * std::sin(x * 0.9 - y * 1.1);
            const double light = base + 20 * vein * std::fabs(vein) + 5 * grain + (h / 2.0 - y) * 1.6;
            const auto g = uint8_t(std::lround(std::fmin(250, std::fmax(60, light))));
            c.At(x, y) = AvoidKey({g, g, uint8_t(g < 250 ? g + 2 : g)}, key);
        }
    return c;
}

// Pill or rounded box: an outline ring and a face gradient, optionally antialiased at the edge.
Canvas roundBox(int w, int h, double r, Rgb key, Rgb outline, const std::vector<Stop> &face, bool smooth)
{
    Canvas c(w, h, key);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double outer = RoundRectCoverage(x, y, 0, 0, w, h, r);
            double inner = RoundRectCoverage(x, y, 1, 1, w - 1, h - 1, r - 1);
            if (!smooth) {
                outer = outer >= 0.5 ? 1 : 0;
                inner = inner >= 0.5 ? 1 : 0;
            }
            c.Blend(x, y, outline, outer);
            c.Blend(x, y, gradient(face, y), inner);
            if (outer > 0)
                c.At(x, y) = AvoidKey(c.At(x, y), key);
        }
    return c;
}

// ---- MacOS, 84 x 23: pill, white, or glossy blue under the mouse ----

Canvas macOS(State s)
{
    const int w = 84, h = 23;
    switch (s) {
    case State::Normal:
        return roundBox(w, h, 11.5, {252, 252, 252}, {138, 138, 138},
                        {{1, {254, 254, 254}}, {11, {246, 246, 246}}, {12, {236, 236, 236}}, {21, {248, 248, 248}}}, true);
    case State::MouseOn:
        return roundBox(w, h, 11.5, {251, 251, 251}, {38, 78, 158},
                        {{1, {214, 232, 252}}, {10, {150, 196, 246}}, {11, {86, 150, 232}}, {21, {160, 214, 255}}}, true);
    case State::MouseDown:
        return roundBox(w, h, 11.5, {255, 255, 255}, {20, 48, 120},
                        {{1, {170, 200, 238}}, {10, {104, 156, 224}}, {11, {52, 110, 200}}, {21, {110, 170, 236}}}, true);
    }
    return Canvas(w, h, {});
}

// ---- BlueGlass, 77 x 27: rounded, magenta corners, white or violet-blue ----

Canvas blueGlass(State s)
{
    const int w = 77, h = 27;
    const Rgb key{255, 0, 255};
    // Hard edges: a soft edge would blend magenta into the outline.
    switch (s) {
    case State::Normal:
        return roundBox(w, h, 6, key, {122, 140, 190},
                        {{1, {254, 254, 255}}, {12, {238, 242, 250}}, {13, {224, 231, 246}}, {25, {246, 249, 255}}}, false);
    case State::MouseOn:
        return roundBox(w, h, 6, key, {62, 50, 160},
                        {{1, {186, 178, 252}}, {12, {134, 120, 236}}, {13, {98, 82, 216}}, {25, {146, 136, 244}}}, false);
    case State::MouseDown:
        return roundBox(w, h, 6, key, {40, 30, 128},
                        {{1, {128, 114, 224}}, {12, {100, 86, 208}}, {13, {72, 58, 184}}, {25, {112, 100, 220}}}, false);
    }
    return Canvas(w, h, {});
}

} // namespace

std::vector<ButtonPicture> MakeButtonPictures()
{
    std::vector<ButtonPicture> out;
    for (State s : {State::Normal, State::MouseOn, State::MouseDown}) {
        const std::string suffix = std::string("_BUTTON_") + stateName(s);
        auto add = [&](const char *prefix, Canvas picture, int bits) {
            const Rgb key = picture.At(0, 0);
            out.push_back({prefix + suffix, std::move(picture), bits, key});
        };
        add("MACOS", macOS(s), 8);
        add("WINXP", winXP(s), 8);
        add("DEEPBLUE", deepBlue(s), 4);
        add("PROTEIN", protein(s), 8);
        add("BLUEGLASS", blueGlass(s), 8);
    }
    return out;
}
