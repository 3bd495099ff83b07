// Build-time generator of the skin pictures: the fifteen button bitmaps and the tool bar banner.
// Usage: skinpictures <output directory>

#include <cstdio>
#include <string>

#include "BannerArt.h"
#include "BmpWriter.h"
#include "ButtonArt.h"
#include "JpegWriter.h"

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
    return 0;
}
