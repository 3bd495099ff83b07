#include "TsuiCustomPanel.h"

// Qt
#include <QPainter>

#include "SkinPainting.h"

TsuiCustomPanel::TsuiCustomPanel(QWidget *parent) : QWidget(parent)
{
    // The paint covers the whole panel: nothing is erased first, so resizing does not flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TsuiCustomPanel::~TsuiCustomPanel() = default;

void TsuiCustomPanel::SetPicture(const QImage &picture)
{
    FPicture = picture;
    PictureChanged();
    BackgroundHook();
    update();
}

void TsuiCustomPanel::PictureChanged()
{
    if (!FPicture.isNull() && FAutoSize)
        ApplyAutoSize();
    BackgroundHook();
    update();
}

void TsuiCustomPanel::SetDrawStyle(TsuiDrawStyle style)
{
    FDrawStyle = style;
    BackgroundHook();
    update();
}

void TsuiCustomPanel::SetAutoSize(bool on)
{
    FAutoSize = on;
    if (!FPicture.isNull())
        ApplyAutoSize();
}

void TsuiCustomPanel::ApplyAutoSize()
{
    if (!FAutoSize)
        return;
    if (FAlign != alTop && FAlign != alBottom && FAlign != alClient)
        resize(FPicture.width(), height());
    if (FAlign != alLeft && FAlign != alRight && FAlign != alClient)
        resize(width(), FPicture.height());
}

void TsuiCustomPanel::SetTransparent(bool on)
{
    FTransparent = on;
    update();
}

void TsuiCustomPanel::SetCaption(const QString &caption)
{
    FCaption = caption;
    CaptionHook(FCaptionRect);
    update();
}

void TsuiCustomPanel::SetAlignment(TAlignment alignment)
{
    FAlignment = alignment;
    update();
}

void TsuiCustomPanel::SetAlign(TAlign align)
{
    FAlign = align;
}

QColor TsuiCustomPanel::Color() const
{
    return palette().color(QPalette::Window);
}

void TsuiCustomPanel::SetColor(const QColor &color)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    setPalette(p);
    update();
}

void TsuiCustomPanel::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    update();
}

void TsuiCustomPanel::paintEvent(QPaintEvent *)
{
    const qreal dpr = devicePixelRatioF();
    QImage buffer(size() * dpr, QImage::Format_ARGB32_Premultiplied);
    buffer.setDevicePixelRatio(dpr);
    {
        QPainter canvas(&buffer);
        const QRect client = rect();
        if (FTransparent) {
            const QWidget *parent = parentWidget();
            canvas.fillRect(client, parent ? parent->palette().color(parent->backgroundRole()) : Color());
            PaintParentBackground(canvas, this);
        } else {
            // Also what a picture smaller than the panel leaves uncovered.
            canvas.fillRect(client, Color());
        }
        if (!FPicture.isNull()) {
            switch (FDrawStyle) {
            case suiStretch:
                canvas.setRenderHint(QPainter::SmoothPixmapTransform);
                canvas.drawImage(client, FPicture);
                break;
            case suiTile:
                TileDraw(canvas, FPicture, client);
                break;
            case suiNormal:
                canvas.drawImage(0, 0, FPicture);
                break;
            }
        }
        canvas.setBrush(Qt::NoBrush);
        if (!FCaption.trimmed().isEmpty()) {
            const int horizontal = FAlignment == taLeftJustify    ? Qt::AlignLeft
                                   : FAlignment == taRightJustify ? Qt::AlignRight
                                                                  : Qt::AlignHCenter;
            canvas.setFont(font());
            canvas.setPen(palette().color(foregroundRole()));
            canvas.drawText(client, horizontal | Qt::AlignVCenter | Qt::TextSingleLine, FCaption);
            FCaptionRect = client;
        }
    }
    QPainter(this).drawImage(0, 0, buffer);
}
