#include "JpegWriter.h"

#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "Canvas.h"

bool WriteJpeg(const std::string &path, const Canvas &picture, int quality)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;

    // The default error handler ends the program, which is what a failing build step wants.
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);

    cinfo.image_width = JDIMENSION(picture.Width());
    cinfo.image_height = JDIMENSION(picture.Height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE); // TRUE: baseline quantisation tables
    cinfo.optimize_coding = TRUE;             // still baseline (SOF0), just smaller

    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(picture.Width()) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < picture.Width(); ++x) {
            const Rgb &c = picture.At(x, y);
            row[size_t(x) * 3] = c.r;
            row[size_t(x) * 3 + 1] = c.g;
            row[size_t(x) * 3 + 2] = c.b;
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(f) == 0;
}
