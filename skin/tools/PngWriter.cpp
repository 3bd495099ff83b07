#include "PngWriter.h"

#include <png.h>

#include "Canvas.h"

bool WritePng(const std::string &path, const RgbaPicture &picture)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(picture.Width);
    image.height = png_uint_32(picture.Height);
    image.format = PNG_FORMAT_RGBA;
    const bool written = png_image_write_to_file(&image, path.c_str(), 0, picture.Pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return written;
}
