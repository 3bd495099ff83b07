// The shared drawing routines: the parent's background behind a control, the key colour rule,
// the edge-keeping stretch, tiling and the dotted focus rectangle.

#include <gtest/gtest.h>

// Qt
#include <QImage>
#include <QPainter>
#include <QWidget>

#include "SkinPainting.h"

namespace {

// Every pixel its own colour, so a copied pixel tells where it came from.
QImage coded(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x * 7 % 256, y * 11 % 256, (x * 3 + y * 5) % 256 | 1));
    return img;
}

QImage canvasOf(int w, int h, QColor fill)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(fill);
    return img;
}

// A parent that paints a coordinate code of its own.
class CodedParent : public QWidget {
public:
    using QWidget::QWidget;
    static QRgb codeAt(int x, int y) { return qRgb(x % 256, y % 256, 77); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x) {
                p.setPen(QColor::fromRgb(codeAt(x, y)));
                p.drawPoint(x, y);
            }
    }
};

} // namespace

struct StretchCase {
    int w0, h0, W, H;
};

class EdgeStretchSizes : public ::testing::TestWithParam<StretchCase> {};

TEST_P(EdgeStretchSizes, KeepsEdgesAndFillsFromTheMiddle)
{
    const auto [w0, h0, W, H] = GetParam();
    const QImage p = coded(w0, h0);
    const QImage f = EdgeStretch(p, W, H);
    ASSERT_EQ(f.size(), QSize(W, H));
    const int a = w0 / 2, b = h0 / 2;
    // Left a columns, right w0 - a columns, top b rows, bottom h0 - b rows; middle from column a, row b.
    auto sourceX = [&](int x) { return x < a ? x : x >= W - (w0 - a) ? x - (W - w0) : a; };
    auto sourceY = [&](int y) { return y < b ? y : y >= H - (h0 - b) ? y - (H - h0) : b; };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            ASSERT_EQ(f.pixel(x, y), p.pixel(sourceX(x), sourceY(y))) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(ButtonSizes, EdgeStretchSizes,
                         ::testing::Values(StretchCase{18, 21, 80, 27}, StretchCase{18, 21, 18, 21},
                                           StretchCase{18, 21, 93, 25}, StretchCase{18, 21, 105, 23},
                                           StretchCase{18, 21, 80, 26}, StretchCase{74, 21, 80, 40},
                                           StretchCase{77, 27, 120, 27}));

TEST(EdgeStretch, EvenHeightSqueezesTheBottomRows)
{
    const QImage p = coded(20, 20);
    const QImage f = EdgeStretch(p, 50, 30);
    ASSERT_EQ(f.size(), QSize(50, 30));
    EXPECT_EQ(f.pixel(0, 0), p.pixel(0, 0));
    EXPECT_EQ(f.pixel(49, 0), p.pixel(19, 0));
    EXPECT_EQ(f.pixel(0, 9), p.pixel(0, 9));
    // Ten rows go onto eleven: the first and the last still line up.
    EXPECT_EQ(f.pixel(0, 19), p.pixel(0, 10));
    EXPECT_EQ(f.pixel(49, 29), p.pixel(19, 19));
    EXPECT_TRUE(EdgeStretch(p, 0, 10).isNull());
    EXPECT_TRUE(EdgeStretch(QImage(), 10, 10).isNull());
}

TEST(EdgeStretchDraw, TransparentLeavesTheKeyColourOut)
{
    QImage p = coded(18, 21);
    const QRgb key = qRgb(236, 233, 216);
    for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {0, 1}, {17, 20}})
        p.setPixel(x, y, key);
    for (bool transparent : {false, true}) {
        QImage c = canvasOf(80, 27, Qt::red);
        {
            QPainter painter(&c);
            EdgeStretchDraw(painter, p, QRect(0, 0, 80, 27), transparent);
        }
        const QRgb expectedCorner = transparent ? qRgb(255, 0, 0) : key;
        EXPECT_EQ(c.pixel(0, 0), expectedCorner);
        EXPECT_EQ(c.pixel(1, 0), expectedCorner);
        EXPECT_EQ(c.pixel(79, 26), expectedCorner);
        EXPECT_EQ(c.pixel(40, 13), p.pixel(9, 10));
    }
}

TEST(KeyColour, MaskedDrawingLeavesTopLeftColourOut)
{
    QImage p(4, 3, QImage::Format_RGB32);
    p.fill(qRgb(1, 2, 3));
    p.setPixel(2, 1, qRgb(200, 100, 50));
    p.setPixel(3, 2, qRgb(1, 2, 4)); // one step off: drawn
    for (bool masked : {false, true}) {
        QImage c = canvasOf(6, 5, Qt::blue);
        {
            QPainter painter(&c);
            DrawPicture(painter, QPoint(1, 1), p, masked);
        }
        EXPECT_EQ(c.pixel(1, 1), masked ? qRgb(0, 0, 255) : qRgb(1, 2, 3));
        EXPECT_EQ(c.pixel(3, 2), qRgb(200, 100, 50));
        EXPECT_EQ(c.pixel(4, 3), qRgb(1, 2, 4));
        EXPECT_EQ(c.pixel(0, 0), qRgb(0, 0, 255));
    }
}

TEST(KeyColour, DisabledRenderingIsAGreyEmboss)
{
    QImage p(5, 5, QImage::Format_RGB32);
    p.fill(qRgb(0, 255, 0));
    p.setPixel(2, 2, qRgb(200, 0, 0)); // dark enough to be ink
    QImage c = canvasOf(8, 8, Qt::black);
    {
        QPainter painter(&c);
        DrawPictureDisabled(painter, QPoint(0, 0), p, true);
    }
    EXPECT_EQ(c.pixel(2, 2), qRgb(0x80, 0x80, 0x80));
    EXPECT_EQ(c.pixel(3, 3), qRgb(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(c.pixel(0, 0), qRgb(0, 0, 0)) << "key colour left out";
}

TEST(TileDraw, TilesColumnByColumnFromTheOrigin)
{
    const QImage p = coded(3, 2);
    QImage c = canvasOf(10, 5, Qt::black);
    {
        QPainter painter(&c);
        TileDraw(painter, p, QRect(0, 0, 10, 5));
    }
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(c.pixel(x, y), p.pixel(x % 3, y % 2)) << x << "," << y;
}

TEST(TileDraw, TilesStartAtTheOriginNotAtTheRectangle)
{
    const QImage p = coded(3, 2);
    QImage c = canvasOf(10, 5, Qt::black);
    {
        QPainter painter(&c);
        TileDraw(painter, p, QRect(4, 1, 5, 3));
    }
    // Columns 0, 3, 6 (below 3 + 5) and rows 0, 2, 4 (below 2 + 3).
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x)
            ASSERT_EQ(c.pixel(x, y), p.pixel(x % 3, y % 2)) << x << "," << y;
    EXPECT_EQ(c.pixel(9, 0), qRgb(0, 0, 0));
}

TEST(TileDraw, PictureWithoutAreaDrawsNothing)
{
    QImage c = canvasOf(10, 5, Qt::black);
    const QImage before = c;
    QPainter painter(&c);
    TileDraw(painter, QImage(), QRect(0, 0, 10, 5));
    TileDraw(painter, QImage(0, 4, QImage::Format_RGB32), QRect(0, 0, 10, 5));
    TileDraw(painter, QImage(4, 0, QImage::Format_RGB32), QRect(0, 0, 10, 5));
    painter.end();
    EXPECT_EQ(c, before);
}

TEST(PaintParentBackground, ParentsOwnPaintingBehindTheControlWithoutItsChildren)
{
    CodedParent parent;
    parent.resize(60, 40);
    auto *sibling = new QWidget(&parent);
    sibling->setAutoFillBackground(true);
    QPalette pal = sibling->palette();
    pal.setColor(QPalette::Window, Qt::yellow);
    sibling->setPalette(pal);
    sibling->setGeometry(0, 0, 30, 20);
    auto *control = new QWidget(&parent);
    control->setGeometry(10, 5, 20, 10);

    QImage c = canvasOf(20, 10, Qt::black);
    {
        QPainter painter(&c);
        PaintParentBackground(painter, control);
    }
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(c.pixel(x, y), CodedParent::codeAt(x + 10, y + 5)) << x << "," << y;
}

TEST(PaintParentBackground, ClippedToTheParentAndNothingWithoutOne)
{
    CodedParent parent;
    parent.resize(30, 20);
    auto *control = new QWidget(&parent);
    control->setGeometry(20, 15, 20, 10); // hangs over the right and bottom edge

    QImage c = canvasOf(20, 10, Qt::black);
    {
        QPainter painter(&c);
        PaintParentBackground(painter, control);
    }
    EXPECT_EQ(c.pixel(0, 0), CodedParent::codeAt(20, 15));
    EXPECT_EQ(c.pixel(9, 4), CodedParent::codeAt(29, 19));
    EXPECT_EQ(c.pixel(10, 4), qRgb(0, 0, 0));
    EXPECT_EQ(c.pixel(5, 5), qRgb(0, 0, 0));

    QWidget orphan;
    QImage d = canvasOf(5, 5, Qt::black);
    const QImage before = d;
    {
        QPainter painter(&d);
        PaintParentBackground(painter, &orphan);
    }
    EXPECT_EQ(d, before);
}

TEST(DrawFocusRect, EveryOtherOutlinePixelInverted)
{
    QImage c = canvasOf(20, 10, Qt::white);
    {
        QPainter painter(&c);
        DrawFocusRect(painter, QRect(2, 2, 16, 6));
    }
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool outline = (x >= 2 && x <= 17 && (y == 2 || y == 7)) || (y >= 2 && y <= 7 && (x == 2 || x == 17));
            const QRgb expected = outline && (x + y) % 2 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
            ASSERT_EQ(c.pixel(x, y), expected) << x << "," << y;
        }
}
