#include "JpegDecoder.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

// Qt
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

const char *const BannerResource = ":/skin/TOOLBAR_BANNER.jpg";

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return: jump back to the
// decoder instead of ending the program.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void onMessage(j_common_ptr) {} // warnings about recoverable damage stay quiet

// Kept free of objects with destructors: longjmp skips them.
bool decode(jpeg_decompress_struct *cinfo, ErrorManager *err, const QByteArray *data, QImage *out)
{
    if (setjmp(err->jump))
        return false;
    jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char *>(data->constData()), static_cast<unsigned long>(data->size()));
    jpeg_read_header(cinfo, TRUE);
    cinfo->out_color_space = JCS_RGB;
    jpeg_start_decompress(cinfo);
    *out = QImage(int(cinfo->output_width), int(cinfo->output_height), QImage::Format_RGB888);
    if (out->isNull()) {
        std::snprintf(err->message, sizeof err->message, "Out of memory for a %u x %u picture",
                      unsigned(cinfo->output_width), unsigned(cinfo->output_height));
        return false;
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = out->scanLine(int(cinfo->output_scanline));
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

} // namespace

QImage DecodeJpeg(const QByteArray &data)
{
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    err.message[0] = '\0';
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.output_message = onMessage;
    jpeg_create_decompress(&cinfo);

    QImage image;
    const bool ok = decode(&cinfo, &err, &data, &image);
    jpeg_destroy_decompress(&cinfo);
    if (!ok)
        throw EJpegError(std::string("JPEG error: ") + err.message);
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage LoadJpeg(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EJpegError(QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()).toStdString());
    return DecodeJpeg(file.readAll());
}
