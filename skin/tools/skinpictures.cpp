// Build-time generator of the skin pictures: the fifteen button bitmaps, the tool bar banner,
// and the program icon (icon/velmora-<size>.png for each size, icon/velmora.svg).
// Usage: skinpictures <output directory>

#include <cstdio>
#include <fstream>
#include <string>

#include "BannerArt.h"
#include "BmpWriter.h"
#include "ButtonArt.h"
#include "IconArt.h"
#include "JpegWriter.h"
#include "PngWriter.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";

    for (const ButtonPicture &p : MakeButtonPictures()) {
        if (!WriteBmp(dir + p.Name + ".bmp", p.Picture, p.BitsPerPixel, p.Key)) {
            std::fprintf(stderr, "skinpictures: cannot write %s.bmp\n", p.Name.c_str());
            return 1;
        }
    }
    if (!WriteJpeg(dir + "TOOLBAR_BANNER.jpg", MakeBanner(), 88)) {
        std::fprintf(stderr, "skinpictures: cannot write TOOLBAR_BANNER.jpg\n");
        return 1;
    }
    for (int size : IconSizes) {
        const std::string name = "icon/velmora-" + std::to_string(size) + ".png";
        if (!WritePng(dir + name, MakeIcon(size))) {
            std::fprintf(stderr, "skinpictures: cannot write %s\n", name.c_str());
            return 1;
        }
    }
    std::ofstream svg(dir + "icon/velmora.svg", std::ios::binary);
    svg << MakeIconSvg();
    if (!svg.flush()) {
        std::fprintf(stderr, "skinpictures: cannot write icon/velmora.svg\n");
        return 1;
    }
    return 0;
}
