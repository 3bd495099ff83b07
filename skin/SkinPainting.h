#pragma once
// Drawing routines the skinned controls share: the parent's background behind a control, the
// key colour rule for masked pictures, the edge-keeping stretch of button pictures and tiling.

// Qt
#include <QRgb>

class QImage;
class QPainter;
class QPoint;
class QRect;
class QWidget;

// Paints what the control's parent shows behind the control (the parent's own painting, its
// children excluded) into the canvas at the control's coordinates. Nothing without a parent.
void PaintParentBackground(QPainter &canvas, QWidget *control);

// Key colour rule: drawn masked, every pixel of the key colour (by default the picture's
// top-left pixel) is left out; drawn opaque, the whole picture is copied.
QImage MaskKeyColour(const QImage &picture, QRgb key);
void DrawPicture(QPainter &canvas, const QPoint &at, const QImage &picture, bool masked);
void DrawPictureKeyed(QPainter &canvas, const QPoint &at, const QImage &picture, QRgb key);
// The greyed rendering of a disabled picture: its dark pixels embossed, white below right and
// grey above; key colour pixels left out when masked.
void DrawPictureDisabled(QPainter &canvas, const QPoint &at, const QImage &picture, bool masked);

// Stretches a picture over the target keeping its corners and edges: the left and right
// w/2 columns and the top h/2 and bottom h/2 + 1 rows stay as they are, the middle column and
// row fill the rest. Drawn masked by its key colour when transparent.
void EdgeStretchDraw(QPainter &canvas, const QImage &picture, const QRect &target, bool transparent);
// The stretched picture itself, target.width() x target.height().
QImage EdgeStretch(const QImage &picture, int width, int height);

// Tiles the picture over the rectangle column by column, always starting at (0, 0) of the
// canvas. A picture without width or height draws nothing.
void TileDraw(QPainter &canvas, const QImage &picture, const QRect &rect);

// The platform's dotted focus rectangle: every other pixel of the outline inverted.
void DrawFocusRect(QPainter &canvas, const QRect &rect);
