#include "BannerArt.h"

#include <cmath>

namespace {

// 0 at both ends of the strip, rising to 1 over its first 85 % and falling back over the rest,
// flat where the halves meet and where the strip ends, so neither shows as an edge.
double deepening(double u)
{
    const double pi = 3.14159265358979, turn = 0.85;
    return u < turn ? 0.5 - 0.5 * std::cos(pi * u / turn) : 0.5 + 0.5 * std::cos(pi * (u - turn) / (1 - turn));
}

} // namespace

Canvas MakeBanner()
{
    const int w = 742, h = 34;
    const double pi = 3.14159265358979;
    const Rgb top{192, 220, 247}, middle{146, 188, 236}, bottom{98, 146, 212}, deep{62, 112, 190};
    const Rgb white{255, 255, 255};
    Canvas c(w, h, top);

    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double t = y / double(h - 1);
            Rgb base = t < 0.45 ? Mix(top, middle, t / 0.45) : Mix(middle, bottom, (t - 0.45) / 0.55);
            // Deeper towards the right, so the strip reads from left to right, and back to light
            // over the last stretch, where the next tile begins.
            base = Mix(base, deep, 0.38 * deepening(x / double(w)));
            c.At(x, y) = base;
            // Fine diagonal hatching, 53 strokes to the width.
            const double hatch = 0.5 + 0.5 * std::sin((x - 0.7 * y) * 2 * pi * 53 / w);
            c.Blend(x, y, white, 0.07 * hatch * hatch);
            // Gloss over the upper third.
            if (y < 12)
                c.Blend(x, y, white, 0.20 * (1 - y / 12.0));
        }

    // Two soft light waves across the strip, each a whole number of times to the width.
    struct Wave {
        double amplitude;
        int cycles;
        double phase, centre, strength;
    };
    for (int x = 0; x < w; ++x)
        for (const Wave &wave : {Wave{6.0, 8, 0.0, 18.0, 0.32}, Wave{4.0, 12, 1.9, 22.0, 0.22}}) {
            const double yc = wave.centre + wave.amplitude * std::sin(x * 2 * pi * wave.cycles / w + wave.phase);
            for (int y = 0; y < h; ++y) {
                const double d = std::fabs(y - yc);
                if (d < 2.0)
                    c.Blend(x, y, white, wave.strength * (1 - d / 2.0));
            }
        }
    return c;
}
