#include "TsuiButton.h"

// Qt
#include <QFontMetrics>
#include <QPainter>
#include <QRect>

#include "SkinPainting.h"
#include "SkinResources.h"
#include "ThemeCatalogue.h"

namespace {

constexpr int MacOSHeight = 23;

} // namespace

TsuiButton::TsuiButton(QWidget *parent) : TsuiCustomButton(parent)
{
    resize(80, 27);
    // The owner is the form the button is made on.
    SetUIStyle(DefaultUIStyle(parent ? parent->window() : nullptr));
}

TsuiButton::~TsuiButton() = default;

void TsuiButton::SetGlyph(const QImage &glyph)
{
    FGlyph = glyph;
    update();
}

void TsuiButton::SetLayout(TButtonLayout layout)
{
    FLayout = layout;
    update();
}

void TsuiButton::SetSpacing(int32_t spacing)
{
    FSpacing = spacing;
    update();
}

QString TsuiButton::PicNormalResName() const
{
    return UIStyle() == TsuiUIStyle::Custom ? FPicNormalResName : QString();
}

QString TsuiButton::PicMouseOnResName() const
{
    return UIStyle() == TsuiUIStyle::Custom ? FPicMouseOnResName : QString();
}

QString TsuiButton::PicMouseDownResName() const
{
    return UIStyle() == TsuiUIStyle::Custom ? FPicMouseDownResName : QString();
}

void TsuiButton::SetPicNormalResName(const QString &name)
{
    SetUIStyle(TsuiUIStyle::Custom);
    FPicNormalResName = name;
    ApplyAutoSize();
    update();
}

void TsuiButton::SetPicMouseOnResName(const QString &name)
{
    SetUIStyle(TsuiUIStyle::Custom);
    FPicMouseOnResName = name;
    update();
}

void TsuiButton::SetPicMouseDownResName(const QString &name)
{
    SetUIStyle(TsuiUIStyle::Custom);
    FPicMouseDownResName = name;
    update();
}

void TsuiButton::ApplyThemeNames()
{
    if (!IsThemeStyle(UIStyle()))
        return;
    FModule = ProgramModuleHandle;
    FPicNormalResName = ThemeResourceName(UIStyle(), SUI_THEME_BUTTON_NORMAL);
    FPicMouseOnResName = ThemeResourceName(UIStyle(), SUI_THEME_BUTTON_MOUSEON);
    FPicMouseDownResName = ThemeResourceName(UIStyle(), SUI_THEME_BUTTON_MOUSEDOWN);
}

void TsuiButton::UIStyleChanged()
{
    ApplyHeightLock();
    SetTransparent(UIStyle() == TsuiUIStyle::BlueGlass);
}

void TsuiButton::ApplyHeightLock()
{
    const bool lock = UIStyle() == TsuiUIStyle::MacOS;
    if (lock && !FHeightLocked) {
        FFreeMinHeight = minimumHeight();
        FFreeMaxHeight = maximumHeight();
        setFixedHeight(MacOSHeight);
    } else if (lock) {
        resize(width(), MacOSHeight);
    } else if (FHeightLocked) {
        setMinimumHeight(FFreeMinHeight);
        setMaximumHeight(FFreeMaxHeight);
    }
    FHeightLocked = lock;
}

void TsuiButton::DrawBackground(QPainter &canvas, const QImage &picture)
{
    TsuiCustomButton::DrawBackground(canvas, picture);
    if (FGlyph.isNull())
        return;

    canvas.setFont(font());
    const QFontMetrics metrics(font());
    const int TW = metrics.horizontalAdvance(Caption());
    const int TH = metrics.height();
    int GW = FGlyph.width();
    const int GH = FGlyph.height();
    const int W = width(), H = height(), S = FSpacing;
    const bool twoImages = GW == 2 * GH;
    if (twoImages)
        GW = GH;

    // C++ division truncates toward zero, as the layout rules want.
    QPoint G;
    switch (FLayout) {
    case blGlyphLeft:
        G = QPoint((W - (TW + GW + S)) / 2, (H - GH) / 2);
        FCaptionPos = QPoint(G.x() + GW + S, (H - TH) / 2);
        break;
    case blGlyphRight:
        G = QPoint((W + TW + S - GW) / 2, (H - GH) / 2);
        FCaptionPos = QPoint(G.x() - TW - S, (H - TH) / 2);
        break;
    case blGlyphTop:
        G = QPoint((W - GW) / 2, (H - (TH + GH + S)) / 2);
        FCaptionPos = QPoint((W - TW) / 2, G.y() + GH + S);
        break;
    case blGlyphBottom:
        G = QPoint((W - GW) / 2, (H + TH + S - GH) / 2);
        FCaptionPos = QPoint((W - TW) / 2, G.y() - TH - S);
        break;
    }
    if (MouseDown())
        G += QPoint(1, 1);

    const QRgb key = FGlyph.pixel(0, 0);
    if (twoImages) {
        const QImage image = FGlyph.copy(isEnabled() ? 0 : GW, 0, GW, GH);
        DrawPictureKeyed(canvas, G, image, key);
    } else if (isEnabled()) {
        DrawPictureKeyed(canvas, G, FGlyph, key);
    } else {
        DrawPictureDisabled(canvas, G, FGlyph, true);
    }
}

void TsuiButton::DrawCaption(QPainter &canvas)
{
    if (FGlyph.isNull()) {
        TsuiCustomButton::DrawCaption(canvas);
        return;
    }
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextShowMnemonic;
    const int W = width(), H = height();
    auto from = [W, H](QPoint p) { return QRect(p.x(), p.y(), W - p.x(), H - p.y()); };
    canvas.setFont(font());
    canvas.setBrush(Qt::NoBrush);
    if (!isEnabled()) {
        canvas.setPen(QColor(0xFF, 0xFF, 0xFF));
        canvas.drawText(from(FCaptionPos + QPoint(1, 1)), flags, Caption());
        canvas.setPen(QColor(0x80, 0x80, 0x80));
    } else {
        canvas.setPen(FontColor());
        if (MouseDown())
            FCaptionPos += QPoint(1, 1);
    }
    canvas.drawText(from(FCaptionPos), flags, Caption());
}

void TsuiButton::DrawFocus(QPainter &canvas)
{
    if (UIStyle() == TsuiUIStyle::MacOS || UIStyle() == TsuiUIStyle::BlueGlass) {
        const int W = width(), H = height();
        if (W - 10 > 10)
            canvas.fillRect(QRect(10, H - 5, W - 20, 1), QColor(0, 0, 255));
        return;
    }
    TsuiCustomButton::DrawFocus(canvas);
}

TsuiButton *NewFormButton(QWidget *parent, const char *name, const QString &caption, const QRect &geometry)
{
    auto *button = new TsuiButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->SetUIStyle(TsuiUIStyle::WinXP);
    button->SetCaption(caption);
    button->SetAutoSize(false);
    button->SetTabStop(false);
    button->SetTransparent(false);
    button->SetModalResult(0);
    button->SetLayout(blGlyphLeft);
    button->SetSpacing(4);
    button->SetResHandle(0);
    return button;
}
