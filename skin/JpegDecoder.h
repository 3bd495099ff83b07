#pragma once
// JPEG pictures decoded with libjpeg, for the image panel's banner.

#include <stdexcept>

class QByteArray;
class QImage;
class QString;

// The tool bar banner embedded in the program: 742 x 34, three colour components.
extern const char *const BannerResource;

class EJpegError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Decodes a whole JPEG stream into an RGB image. Throws EJpegError with libjpeg's message.
QImage DecodeJpeg(const QByteArray &data);
// Reads a file or embedded resource and decodes it. Throws EJpegError.
QImage LoadJpeg(const QString &path);
