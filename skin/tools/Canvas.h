#pragma once
// A plain RGB picture for the build-time picture generator, with the few drawing helpers the
// button and banner pictures need. Kept free of Qt so the generator builds before anything else.

#include <cstddef>
#include <cstdint>
#include <vector>

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb &o) const { return !(*this == o); }
};

// Linear mix: t = 0 gives a, t = 1 gives b.
Rgb Mix(Rgb a, Rgb b, double t);

// A colour one step off the key colour if it happens to equal it: a picture's own pixels must
// not vanish when it is drawn masked.
Rgb AvoidKey(Rgb c, Rgb key);

class Canvas {
public:
    Canvas(int width, int height, Rgb fill);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    Rgb &At(int x, int y) { return FPixels[size_t(y) * FWidth + x]; }
    const Rgb &At(int x, int y) const { return FPixels[size_t(y) * FWidth + x]; }
    // Covers the pixel with colour c by the fraction alpha (0..1); outside pixels are ignored.
    void Blend(int x, int y, Rgb c, double alpha);

private:
    int FWidth;
    int FHeight;
    std::vector<Rgb> FPixels;
};

// A picture with coverage, for the program icon whose corners must stay see-through.
struct RgbaPicture {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Pixels; // r, g, b, a per pixel, top row first, alpha not premultiplied
};

// Whether the point lies in the rounded rectangle [x0, x1) x [y0, y1) with corner radius r.
bool InsideRoundRect(double px, double py, double x0, double y0, double x1, double y1, double r);

// Fraction of the pixel (x, y) inside the rounded rectangle [x0, x1) x [y0, y1) with corner
// radius r, sampled 4 x 4 per pixel.
double RoundRectCoverage(int x, int y, double x0, double y0, double x1, double y1, double r);
