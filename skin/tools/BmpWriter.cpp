#include "BmpWriter.h"

#include <cstdio>
#include <map>
#include <vector>

#include "Canvas.h"

namespace {

uint32_t packed(Rgb c) { return (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b; }

Rgb reduce(Rgb c, int shift)
{
    if (shift == 0)
        return c;
    auto ch = [shift](uint8_t v) {
        const int step = 1 << shift;
        const int q = (v >> shift) * step + step / 2;
        return uint8_t(q > 255 ? 255 : q);
    };
    return {ch(c.r), ch(c.g), ch(c.b)};
}

void put16(std::vector<uint8_t> &out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t> &out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

} // namespace

bool WriteBmp(const std::string &path, const Canvas &picture, int bitsPerPixel, Rgb key)
{
    const int w = picture.Width(), h = picture.Height();
    const size_t maxColours = size_t(1) << bitsPerPixel;

    // Coarser colour steps until the picture fits the palette; the key stays exact.
    std::vector<Rgb> mapped(size_t(w) * h);
    std::map<uint32_t, int> index;
    for (int shift = 0; shift <= 7; ++shift) {
        index.clear();
        index[packed(key)] = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Rgb src = picture.At(x, y);
                const Rgb c = src == key ? key : AvoidKey(reduce(src, shift), key);
                mapped[size_t(y) * w + x] = c;
                index.emplace(packed(c), 0);
            }
        if (index.size() <= maxColours)
            break;
    }
    if (index.size() > maxColours)
        return false;

    std::vector<uint8_t> palette;
    int next = 0;
    for (auto &[colour, slot] : index) {
        slot = next++;
        palette.push_back(uint8_t(colour));       // blue
        palette.push_back(uint8_t(colour >> 8));  // green
        palette.push_back(uint8_t(colour >> 16)); // red
        palette.push_back(0);
    }

    const size_t rowBytes = ((size_t(w) * bitsPerPixel + 31) / 32) * 4;
    const uint32_t offBits = 14 + 40 + uint32_t(palette.size());
    const uint32_t imageBytes = uint32_t(rowBytes * h);

    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    put32(out, offBits + imageBytes);
    put32(out, 0);
    put32(out, offBits);
    put32(out, 40);
    put32(out, uint32_t(w));
    put32(out, uint32_t(h)); // positive: rows stored bottom-up
    put16(out, 1);
    put16(out, uint32_t(bitsPerPixel));
    put32(out, 0); // BI_RGB
    put32(out, imageBytes);
    put32(out, 3780); // 96 dpi
    put32(out, 3780);
    put32(out, uint32_t(index.size()));
    put32(out, 0);
    out.insert(out.end(), palette.begin(), palette.end());

    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(rowBytes, 0);
        for (int x = 0; x < w; ++x) {
            const int i = index[packed(mapped[size_t(y) * w + x])];
            if (bitsPerPixel == 8)
                row[x] = uint8_t(i);
            else
                row[x / 2] |= uint8_t(x % 2 == 0 ? i << 4 : i);
        }
        out.insert(out.end(), row.begin(), row.end());
    }

    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}
