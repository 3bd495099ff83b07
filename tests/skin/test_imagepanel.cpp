// The image panel: the banner tiled from the panel's corner, stretched and plain pictures, the
// panel colour, auto-size by alignment, transparency and the caption.

#include <gtest/gtest.h>

#include <memory>

// Qt
#include <QApplication>
#include <QImage>
#include <QPainter>

#include "JpegDecoder.h"
#include "TsuiImagePanel.h"

namespace {

QImage grabOf(QWidget *w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }

QImage banner()
{
    static const QImage b = LoadJpeg(QString::fromLatin1(BannerResource));
    return b;
}

QImage solid(int w, int h, QRgb c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

QFont crispFont()
{
    QFont f = QApplication::font();
    f.setPixelSize(12);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

QRect inkBox(const QImage &img, QRgb background)
{
    QRect r;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != background)
                r |= QRect(x, y, 1, 1);
    return r;
}

} // namespace

class ImagePanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = std::make_unique<QWidget>();
        host->resize(900, 120);
        panel = new TsuiImagePanel(host.get());
    }
    std::unique_ptr<QWidget> host;
    TsuiImagePanel *panel = nullptr;
};

TEST_F(ImagePanel, BannerTiledFromTheCornerAtItsNaturalSize)
{
    const QImage b = banner();
    ASSERT_EQ(b.size(), QSize(742, 34));
    panel->setGeometry(1, 1, 713, 34);
    panel->SetDrawStyle(suiTile);
    panel->SetPicture(b);

    QImage shot = grabOf(panel);
    ASSERT_EQ(shot.size(), QSize(713, 34));
    for (int y = 0; y < 34; ++y)
        for (int x : {0, 1, 100, 356, 700, 712})
            ASSERT_EQ(shot.pixel(x, y), b.pixel(x, y)) << x << "," << y;

    // Wider than the banner: it starts again from its first column at x = 742.
    panel->resize(850, 34);
    shot = grabOf(panel);
    for (int y = 0; y < 34; ++y) {
        ASSERT_EQ(shot.pixel(741, y), b.pixel(741, y)) << y;
        for (int k : {0, 1, 50, 107})
            ASSERT_EQ(shot.pixel(742 + k, y), b.pixel(k, y)) << k << "," << y;
    }

    // Taller than the banner: the next row of tiles starts at y = 34.
    panel->resize(100, 50);
    shot = grabOf(panel);
    EXPECT_EQ(shot.pixel(5, 34), b.pixel(5, 0));
    EXPECT_EQ(shot.pixel(5, 49), b.pixel(5, 15));
}

TEST_F(ImagePanel, StretchedOverThePanel)
{
    QImage twoColours(2, 1, QImage::Format_RGB32);
    twoColours.setPixel(0, 0, qRgb(255, 0, 0));
    twoColours.setPixel(1, 0, qRgb(0, 0, 255));
    panel->resize(100, 10);
    panel->SetDrawStyle(suiStretch);
    panel->SetPicture(twoColours);
    const QImage shot = grabOf(panel);
    EXPECT_EQ(shot.pixel(5, 5), qRgb(255, 0, 0));
    EXPECT_EQ(shot.pixel(94, 9), qRgb(0, 0, 255));
    EXPECT_EQ(shot.pixel(5, 0), qRgb(255, 0, 0));
}

TEST_F(ImagePanel, NormalDrawsOnceAtTheCorner)
{
    panel->resize(30, 30);
    panel->SetColor(QColor(0, 128, 0));
    panel->SetDrawStyle(suiNormal);
    panel->SetPicture(solid(10, 10, qRgb(255, 0, 0)));
    const QImage shot = grabOf(panel);
    EXPECT_EQ(shot.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(shot.pixel(9, 9), qRgb(255, 0, 0));
    EXPECT_EQ(shot.pixel(10, 10), qRgb(0, 128, 0));
    EXPECT_EQ(shot.pixel(29, 29), qRgb(0, 128, 0));
}

TEST_F(ImagePanel, WithoutAPictureShowsItsColourOrItsParent)
{
    panel->setGeometry(10, 10, 40, 20);
    panel->SetColor(QColor(10, 20, 30));
    for (TsuiDrawStyle style : {suiNormal, suiStretch, suiTile}) {
        panel->SetDrawStyle(style);
        EXPECT_EQ(grabOf(panel).pixel(20, 10), qRgb(10, 20, 30));
    }

    // Transparent: the parent's own painting (here a tiled banner panel) shows instead.
    auto *outer = new TsuiImagePanel(host.get());
    outer->setGeometry(0, 0, 400, 60);
    outer->SetDrawStyle(suiTile);
    outer->SetPicture(banner());
    auto *inner = new TsuiImagePanel(outer);
    inner->setGeometry(30, 5, 50, 20);
    inner->SetColor(QColor(10, 20, 30));
    inner->SetTransparent(true);
    const QImage shot = grabOf(inner);
    EXPECT_EQ(shot.pixel(0, 0), banner().pixel(30, 5));
    EXPECT_EQ(shot.pixel(49, 19), banner().pixel(79, 24));
}

struct AutoSizeCase {
    TAlign align;
    QSize expected;
    const char *label;
};

class ImagePanelAutoSize : public ImagePanel, public ::testing::WithParamInterface<AutoSizeCase> {};

TEST_P(ImagePanelAutoSize, ChangesOnlyTheFreeSides)
{
    panel->resize(100, 100);
    panel->SetAlign(GetParam().align);
    panel->SetAutoSize(true);
    EXPECT_EQ(panel->size(), QSize(100, 100)) << "nothing to size to without a picture";
    panel->SetAutoSize(false);
    panel->SetPicture(solid(50, 20, qRgb(1, 2, 3)));
    EXPECT_EQ(panel->size(), QSize(100, 100)) << "no AutoSize yet";
    panel->SetAutoSize(true);
    EXPECT_EQ(panel->size(), GetParam().expected);

    // A new picture while AutoSize is on sizes again.
    panel->resize(100, 100);
    panel->SetPicture(solid(50, 20, qRgb(4, 5, 6)));
    EXPECT_EQ(panel->size(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Align, ImagePanelAutoSize,
                         ::testing::Values(AutoSizeCase{alNone, {50, 20}, "none"}, AutoSizeCase{alTop, {100, 20}, "top"},
                                           AutoSizeCase{alBottom, {100, 20}, "bottom"},
                                           AutoSizeCase{alLeft, {50, 100}, "left"},
                                           AutoSizeCase{alRight, {50, 100}, "right"},
                                           AutoSizeCase{alClient, {100, 100}, "client"},
                                           AutoSizeCase{alCustom, {50, 20}, "custom"}),
                         [](const auto &info) { return std::string(info.param.label); });

struct CaptionCase {
    TAlignment alignment;
    const char *label;
};

class ImagePanelCaption : public ImagePanel, public ::testing::WithParamInterface<CaptionCase> {};

TEST_P(ImagePanelCaption, SingleLineCentredVerticallyAlignedHorizontally)
{
    const QRgb background = qRgb(250, 250, 250);
    panel->resize(200, 40);
    panel->setFont(crispFont());
    panel->SetColor(QColor::fromRgb(background));
    panel->SetAlignment(GetParam().alignment);
    panel->SetCaption(QStringLiteral("Velmora"));
    const QRect ink = inkBox(grabOf(panel), background);
    ASSERT_FALSE(ink.isEmpty());
    const int middle = ink.center().y();
    EXPECT_NEAR(middle, 20, 3);
    switch (GetParam().alignment) {
    case taLeftJustify: EXPECT_LE(ink.left(), 2); break;
    case taRightJustify: EXPECT_GE(ink.right(), 196); break;
    case taCenter: EXPECT_NEAR(ink.center().x(), 100, 3); break;
    }
    EXPECT_EQ(panel->CaptionRect(), QRect(0, 0, 200, 40));
}

INSTANTIATE_TEST_SUITE_P(Alignment, ImagePanelCaption,
                         ::testing::Values(CaptionCase{taLeftJustify, "left"}, CaptionCase{taRightJustify, "right"},
                                           CaptionCase{taCenter, "centre"}),
                         [](const auto &info) { return std::string(info.param.label); });

TEST_F(ImagePanel, BlankCaptionIsNotDrawn)
{
    panel->resize(100, 30);
    panel->SetColor(QColor(250, 250, 250));
    const QImage empty = grabOf(panel);
    panel->SetCaption(QStringLiteral("   "));
    EXPECT_EQ(grabOf(panel), empty);
    EXPECT_TRUE(panel->CaptionRect().isNull());
}
