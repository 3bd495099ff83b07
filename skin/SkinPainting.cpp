#include "SkinPainting.h"

#include <algorithm>

// Qt
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QRect>
#include <QWidget>

void PaintParentBackground(QPainter &canvas, QWidget *control)
{
    QWidget *parent = control ? control->parentWidget() : nullptr;
    if (!parent)
        return;
    // Only the part of the parent's client area that lies behind the control.
    const QRect behind = control->geometry() & parent->rect();
    if (behind.isEmpty())
        return;
    canvas.save();
    canvas.setClipRect(behind.translated(-control->pos()), Qt::IntersectClip);
    parent->render(&canvas, behind.topLeft() - control->pos(), QRegion(behind), QWidget::DrawWindowBackground);
    canvas.restore();
}

QImage MaskKeyColour(const QImage &picture, QRgb key)
{
    QImage out = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb rgb = key & RGB_MASK;
    for (int y = 0; y < out.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if ((line[x] & RGB_MASK) == rgb)
                line[x] = 0;
    }
    return out;
}

void DrawPictureKeyed(QPainter &canvas, const QPoint &at, const QImage &picture, QRgb key)
{
    if (!picture.isNull())
        canvas.drawImage(at, MaskKeyColour(picture, key));
}

void DrawPicture(QPainter &canvas, const QPoint &at, const QImage &picture, bool masked)
{
    if (picture.isNull())
        return;
    if (masked)
        DrawPictureKeyed(canvas, at, picture, picture.pixel(0, 0));
    else
        canvas.drawImage(at, picture);
}

void DrawPictureDisabled(QPainter &canvas, const QPoint &at, const QImage &picture, bool masked)
{
    if (picture.isNull())
        return;
    const QImage src = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = src.pixel(0, 0) & RGB_MASK;
    QImage shape(src.size(), QImage::Format_ARGB32);
    shape.fill(Qt::transparent);
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x) {
            const QRgb p = src.pixel(x, y);
            if (masked && (p & RGB_MASK) == key)
                continue;
            if (qGray(p) < 224)
                shape.setPixel(x, y, 0xFF000000);
        }
    auto tinted = [&shape](QColor colour) {
        QImage t = shape;
        QPainter p(&t);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(t.rect(), colour);
        return t;
    };
    canvas.drawImage(at + QPoint(1, 1), tinted(Qt::white));
    canvas.drawImage(at, tinted(QColor(0x80, 0x80, 0x80)));
}

QImage EdgeStretch(const QImage &picture, int width, int height)
{
    if (picture.isNull() || width <= 0 || height <= 0)
        return QImage();
    const QImage p = picture.convertToFormat(QImage::Format_ARGB32);
    const int w0 = p.width(), h0 = p.height(), a = w0 / 2, b = h0 / 2;
    const int W = width, H = height;

    // Strip T, W x h0: the picture at the right end, its middle column stretched, its left columns.
    QImage t(W, h0, QImage::Format_ARGB32);
    t.fill(Qt::black);
    for (int y = 0; y < h0; ++y) {
        const auto *src = reinterpret_cast<const QRgb *>(p.constScanLine(y));
        auto *dst = reinterpret_cast<QRgb *>(t.scanLine(y));
        for (int x = 0; x < W; ++x) {
            const int px = x - (W - w0);
            if (px >= 0 && px < w0)
                dst[x] = src[px];
        }
        for (int x = 0; x < W - a; ++x)
            dst[x] = src[a];
        for (int x = 0; x < a && x < W; ++x)
            dst[x] = src[x];
    }

    // F, W x H: T's top rows, T's bottom rows at the bottom, T's middle row stretched between.
    QImage f(W, H, QImage::Format_ARGB32);
    f.fill(Qt::black);
    auto copyRow = [&](int fromRow, int toRow) {
        if (toRow >= 0 && toRow < H && fromRow >= 0 && fromRow < h0)
            std::copy_n(reinterpret_cast<const QRgb *>(t.constScanLine(fromRow)), W, reinterpret_cast<QRgb *>(f.scanLine(toRow)));
    };
    for (int y = 0; y < b; ++y)
        copyRow(y, y);
    const int bottomRows = b + 1, sourceRows = h0 - b;
    for (int k = 0; k < bottomRows; ++k)
        copyRow(b + (sourceRows == bottomRows ? k : k * sourceRows / bottomRows), H - b - 1 + k);
    for (int y = b; y <= H - b - 2; ++y)
        copyRow(b, y);
    return f;
}

void EdgeStretchDraw(QPainter &canvas, const QImage &picture, const QRect &target, bool transparent)
{
    DrawPicture(canvas, target.topLeft(), EdgeStretch(picture, target.width(), target.height()), transparent);
}

void TileDraw(QPainter &canvas, const QImage &picture, const QRect &rect)
{
    const int pw = picture.width(), ph = picture.height();
    if (pw <= 0 || ph <= 0)
        return;
    for (int x = 0; x < pw + rect.width(); x += pw)
        for (int y = 0; y < ph + rect.height(); y += ph)
            canvas.drawImage(x, y, picture);
}

void DrawFocusRect(QPainter &canvas, const QRect &rect)
{
    if (rect.isEmpty())
        return;
    const int l = rect.left(), t = rect.top(), r = rect.right(), b = rect.bottom();
    QPolygon dots;
    auto dot = [&dots](int x, int y) {
        if ((x + y) % 2 == 0)
            dots << QPoint(x, y);
    };
    for (int x = l; x <= r; ++x) {
        dot(x, t);
        if (b != t)
            dot(x, b);
    }
    for (int y = t + 1; y < b; ++y) {
        dot(l, y);
        if (r != l)
            dot(r, y);
    }
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    canvas.setPen(QPen(Qt::white, 0));
    canvas.drawPoints(dots);
    canvas.restore();
}
