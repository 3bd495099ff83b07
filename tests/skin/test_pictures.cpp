// The embedded skin pictures: the fifteen button bitmaps with their sizes, colour depths, key
// colours and looks, loading by name from a module, and the JPEG banner.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

// Qt
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "JpegDecoder.h"
#include "SkinResources.h"

namespace {

QImage load(const QString &name)
{
    QImage picture;
    LoadPicture(picture, ProgramModuleHandle, name);
    return picture.convertToFormat(QImage::Format_RGB32);
}

QByteArray resourceBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int luma(QRgb p) { return qGray(p); }

} // namespace

struct PictureCase {
    const char *name;
    int width, height, bits;
    QRgb key;
};

void PrintTo(const PictureCase &c, std::ostream *os) { *os << c.name; }

class ButtonPicture : public ::testing::TestWithParam<PictureCase> {};

TEST_P(ButtonPicture, SizeDepthAndKeyColour)
{
    const PictureCase &c = GetParam();
    const QImage picture = load(QString::fromLatin1(c.name));
    ASSERT_EQ(picture.size(), QSize(c.width, c.height));
    EXPECT_EQ(picture.pixel(0, 0) & RGB_MASK, c.key & RGB_MASK);

    const QByteArray bmp = resourceBytes(QStringLiteral(":/skin/%1.bmp").arg(QLatin1String(c.name)));
    ASSERT_GE(bmp.size(), 54);
    EXPECT_EQ(bmp.left(2), QByteArray("BM"));
    EXPECT_EQ(uint8_t(bmp[28]), c.bits) << "bits per pixel";
    EXPECT_EQ(uint8_t(bmp[30]), 0) << "uncompressed";

    // The stretched middle column and row are opaque: no key colour inside the border.
    for (int y = 1; y < c.height - 1; ++y)
        EXPECT_NE(picture.pixel(c.width / 2, y) & RGB_MASK, c.key & RGB_MASK) << "middle column, row " << y;
    for (int x = 1; x < c.width - 1; ++x)
        EXPECT_NE(picture.pixel(x, c.height / 2) & RGB_MASK, c.key & RGB_MASK) << "middle row, column " << x;
}

INSTANTIATE_TEST_SUITE_P(
    Skin, ButtonPicture,
    ::testing::Values(PictureCase{"MACOS_BUTTON_NORMAL", 84, 23, 8, qRgb(252, 252, 252)},
                      PictureCase{"MACOS_BUTTON_MOUSEON", 84, 23, 8, qRgb(251, 251, 251)},
                      PictureCase{"MACOS_BUTTON_MOUSEDOWN", 84, 23, 8, qRgb(255, 255, 255)},
                      PictureCase{"WINXP_BUTTON_NORMAL", 18, 21, 8, qRgb(236, 233, 216)},
                      PictureCase{"WINXP_BUTTON_MOUSEON", 18, 21, 8, qRgb(236, 233, 216)},
                      PictureCase{"WINXP_BUTTON_MOUSEDOWN", 18, 21, 8, qRgb(236, 233, 216)},
                      PictureCase{"DEEPBLUE_BUTTON_NORMAL", 74, 21, 4, qRgb(4, 4, 4)},
                      PictureCase{"DEEPBLUE_BUTTON_MOUSEON", 74, 21, 4, qRgb(4, 4, 4)},
                      PictureCase{"DEEPBLUE_BUTTON_MOUSEDOWN", 74, 21, 4, qRgb(4, 4, 4)},
                      PictureCase{"PROTEIN_BUTTON_NORMAL", 74, 21, 8, qRgb(43, 43, 43)},
                      PictureCase{"PROTEIN_BUTTON_MOUSEON", 74, 21, 8, qRgb(43, 43, 43)},
                      PictureCase{"PROTEIN_BUTTON_MOUSEDOWN", 74, 21, 8, qRgb(11, 12, 13)},
                      PictureCase{"BLUEGLASS_BUTTON_NORMAL", 77, 27, 8, qRgb(255, 0, 255)},
                      PictureCase{"BLUEGLASS_BUTTON_MOUSEON", 77, 27, 8, qRgb(255, 0, 255)},
                      PictureCase{"BLUEGLASS_BUTTON_MOUSEDOWN", 77, 27, 8, qRgb(255, 0, 255)}));

TEST(WinXPPictures, RoundedDarkBlueBorderWithKeyCorners)
{
    const QRgb key = qRgb(236, 233, 216), border = qRgb(0, 60, 116);
    for (const char *name : {"WINXP_BUTTON_NORMAL", "WINXP_BUTTON_MOUSEON", "WINXP_BUTTON_MOUSEDOWN"}) {
        SCOPED_TRACE(name);
        const QImage p = load(QString::fromLatin1(name));
        for (int x = 2; x <= 15; ++x) {
            EXPECT_EQ(p.pixel(x, 0), border);
            EXPECT_EQ(p.pixel(x, 20), border);
        }
        for (int y = 2; y <= 18; ++y) {
            EXPECT_EQ(p.pixel(0, y), border);
            EXPECT_EQ(p.pixel(17, y), border);
        }
        // Outside the rounding: the key colour; on it: neither key nor face.
        for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {0, 1}, {17, 0}, {16, 0}, {17, 1}, {0, 20}, {0, 19}, {1, 20},
                            {17, 20}, {16, 20}, {17, 19}})
            EXPECT_EQ(p.pixel(x, y), key) << x << "," << y;
        for (auto [x, y] : {std::pair{1, 1}, {16, 1}, {1, 19}, {16, 19}}) {
            EXPECT_NE(p.pixel(x, y), key);
            EXPECT_LT(luma(p.pixel(x, y)), 128) << x << "," << y;
        }
    }
}

TEST(WinXPPictures, StatesLookApart)
{
    const QImage normal = load(QStringLiteral("WINXP_BUTTON_NORMAL"));
    const QImage hot = load(QStringLiteral("WINXP_BUTTON_MOUSEON"));
    const QImage down = load(QStringLiteral("WINXP_BUTTON_MOUSEDOWN"));

    // Light face with a faint vertical gradient, lighter at the top.
    EXPECT_GT(luma(normal.pixel(9, 10)), 225);
    EXPECT_GT(luma(normal.pixel(9, 2)), luma(normal.pixel(9, 17)));
    EXPECT_LT(luma(normal.pixel(9, 2)) - luma(normal.pixel(9, 15)), 25);

    // Mouse-on: an amber rim inside the border, the face unchanged in the middle.
    for (auto [x, y] : {std::pair{1, 10}, {16, 10}, {9, 18}, {9, 19}}) {
        const QColor c = QColor::fromRgb(hot.pixel(x, y));
        EXPECT_GT(c.red(), 200) << x << "," << y;
        EXPECT_LT(c.blue(), 110) << x << "," << y;
        EXPECT_GT(c.red() - c.blue(), 120) << x << "," << y;
        const QColor n = QColor::fromRgb(normal.pixel(x, y));
        EXPECT_LT(n.red() - n.blue(), 40) << "normal has no amber at " << x << "," << y;
    }
    EXPECT_EQ(hot.pixel(9, 10), normal.pixel(9, 10));

    // Mouse-down: darker and flatter.
    auto faceStats = [](const QImage &p) {
        int lo = 255, hi = 0, sum = 0;
        for (int y = 4; y <= 16; ++y) {
            const int l = luma(p.pixel(9, y));
            lo = std::min(lo, l);
            hi = std::max(hi, l);
            sum += l;
        }
        return std::tuple{sum / 13, hi - lo};
    };
    const auto [normalMean, normalRange] = faceStats(normal);
    const auto [downMean, downRange] = faceStats(down);
    EXPECT_LT(downMean, normalMean - 8);
    EXPECT_LE(downRange, normalRange);
}

TEST(ResourceModule, ProgramModuleReadsAsZero)
{
    EXPECT_NE(ProgramModuleHandle, 0u);
    EXPECT_EQ(ModuleFromResHandle(0), ProgramModuleHandle);
    EXPECT_EQ(ResHandleFromModule(ModuleFromResHandle(0)), 0u);
    EXPECT_EQ(ResHandleFromModule(0x12340000u), 0x12340000u);
    EXPECT_EQ(ModuleFromResHandle(0x12340000u), 0x12340000u);
}

TEST(ResourceModule, MissingOrEmptyNameFailsAndLeavesTheBitmap)
{
    QImage bitmap(5, 5, QImage::Format_RGB32);
    bitmap.fill(Qt::red);
    for (const QString &name : {QString(), QStringLiteral("NO_SUCH_PICTURE"), QStringLiteral("../skin/WINXP_BUTTON_NORMAL")}) {
        EXPECT_THROW(LoadPicture(bitmap, ProgramModuleHandle, name), EResNotFound) << name.toStdString();
        EXPECT_EQ(bitmap.size(), QSize(5, 5));
    }
    EXPECT_THROW(LoadPicture(bitmap, 0x7FFF0000u, QStringLiteral("WINXP_BUTTON_NORMAL")), EResNotFound);
}

TEST(ResourceModule, NamesAreCaseInsensitive)
{
    EXPECT_EQ(load(QStringLiteral("winxp_button_mouseon")), load(QStringLiteral("WINXP_BUTTON_MOUSEON")));
}

TEST(ResourceModule, RegisteredFolderSuppliesItsOwnPictures)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage own(30, 12, QImage::Format_RGB32);
    own.fill(qRgb(10, 200, 30));
    ASSERT_TRUE(own.save(dir.filePath(QStringLiteral("OWN_BUTTON.bmp")), "BMP"));

    const uint32_t module = RegisterResourceModule(dir.path());
    EXPECT_NE(module, 0u);
    EXPECT_NE(module, ProgramModuleHandle);
    QImage picture;
    LoadPicture(picture, module, QStringLiteral("own_button"));
    EXPECT_EQ(picture.size(), QSize(30, 12));
    EXPECT_EQ(picture.pixel(3, 3) & RGB_MASK, qRgb(10, 200, 30) & RGB_MASK);
    // The program's pictures are not in that module, and names do not reach out of its folder.
    EXPECT_THROW(LoadPicture(picture, module, QStringLiteral("WINXP_BUTTON_NORMAL")), EResNotFound);
    QDir(dir.path()).mkdir(QStringLiteral("SUB"));
    ASSERT_TRUE(own.save(dir.filePath(QStringLiteral("SUB/INNER.bmp")), "BMP"));
    EXPECT_THROW(LoadPicture(picture, module, QStringLiteral("SUB/INNER")), EResNotFound);
}

TEST(ResourceModule, BlankReplacementPicture)
{
    EXPECT_EQ(BlankPicture().size(), QSize(74, 21));
}

// Walks the JPEG markers up to the start of scan; returns the frame marker and component count.
static std::pair<int, int> jpegFrame(const QByteArray &data)
{
    int pos = 2;
    while (pos + 4 <= data.size()) {
        if (uint8_t(data[pos]) != 0xFF)
            return {-1, 0};
        const int marker = uint8_t(data[pos + 1]);
        const int length = (uint8_t(data[pos + 2]) << 8) | uint8_t(data[pos + 3]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return {marker, pos + 9 < data.size() ? int(uint8_t(data[pos + 9])) : 0};
        if (marker == 0xDA)
            break;
        pos += 2 + length;
    }
    return {-1, 0};
}

TEST(Banner, BaselineJpegOfThreeComponents)
{
    const QByteArray data = resourceBytes(QString::fromLatin1(BannerResource));
    ASSERT_GT(data.size(), 100);
    EXPECT_EQ(uint8_t(data[0]), 0xFF);
    EXPECT_EQ(uint8_t(data[1]), 0xD8);
    const auto [marker, components] = jpegFrame(data);
    EXPECT_EQ(marker, 0xC0) << "baseline frame";
    EXPECT_EQ(components, 3);

    const QImage banner = LoadJpeg(QString::fromLatin1(BannerResource));
    ASSERT_EQ(banner.size(), QSize(742, 34));
    // A blue strip, lighter at the top and different from one end to the other.
    const QColor top = QColor::fromRgb(banner.pixel(10, 1)), bottom = QColor::fromRgb(banner.pixel(10, 32));
    EXPECT_GT(top.blue(), top.red());
    EXPECT_GT(bottom.blue(), bottom.red());
    EXPECT_GT(luma(top.rgb()), luma(bottom.rgb()));
    EXPECT_NE(banner.pixel(0, 5), banner.pixel(741, 5));
}

TEST(Banner, DamagedDataIsAnError)
{
    const QByteArray data = resourceBytes(QString::fromLatin1(BannerResource));
    EXPECT_THROW(DecodeJpeg(QByteArray()), EJpegError);
    EXPECT_THROW(DecodeJpeg(QByteArray("not a picture at all")), EJpegError);
    EXPECT_THROW(DecodeJpeg(data.left(40)), EJpegError);
    EXPECT_THROW(LoadJpeg(QStringLiteral(":/skin/NO_SUCH.jpg")), EJpegError);
}

// The image panel tiles the banner along a window wider than it, so its last column meets its
// first: the step there must be no steeper than between neighbouring columns inside it.
TEST(Banner, RightEdgeRunsOnIntoTheLeft)
{
    const QImage banner = LoadJpeg(QString::fromLatin1(BannerResource));
    ASSERT_EQ(banner.size(), QSize(742, 34));
    // Mean brightness step between two columns, and the largest step of any one pixel.
    auto step = [&](int a, int b) {
        int sum = 0, most = 0;
        for (int y = 0; y < banner.height(); ++y) {
            const int d = std::abs(luma(banner.pixel(a, y)) - luma(banner.pixel(b, y)));
            sum += d;
            most = std::max(most, d);
        }
        return std::pair{sum / double(banner.height()), most};
    };
    double inner = 0;
    int innerMost = 0;
    for (int x = 0; x + 1 < banner.width(); ++x) {
        const auto [mean, most] = step(x, x + 1);
        inner = std::max(inner, mean);
        innerMost = std::max(innerMost, most);
    }
    const auto [seam, seamMost] = step(banner.width() - 1, 0);
    EXPECT_LE(seam, inner);
    EXPECT_LE(seamMost, innerMost);
}
