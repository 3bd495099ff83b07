#pragma once
// The skinned push button of every form: theme pictures (or its own, with the Custom style),
// an optional glyph beside the caption, and the click rules of TsuiCustomButton.
//
//     auto *button = new TsuiButton(form);
//     button->setGeometry(3, 4, 80, 27);
//     button->SetUIStyle(TsuiUIStyle::WinXP);
//     button->SetCaption(QStringLiteral("创建"));
//     connect(button, &TsuiButton::clicked, form, &TForm1::Button1Click);

#include <cstdint>

// Qt
#include <QImage>
#include <QPoint>

#include "TsuiCustomButton.h"

class QRect;

enum TButtonLayout : uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

class TsuiButton : public TsuiCustomButton {
    Q_OBJECT
public:
    // 80 x 27, Spacing 4, no glyph, style DefaultUIStyle of the form it is created on.
    explicit TsuiButton(QWidget *parent = nullptr);
    ~TsuiButton() override;

    // A glyph twice as wide as high holds two square images: enabled, then disabled.
    // Its top-left pixel is its key colour.
    QImage Glyph() const { return FGlyph; }
    void SetGlyph(const QImage &glyph);

    TButtonLayout Layout() const { return FLayout; }
    void SetLayout(TButtonLayout layout);

    int32_t Spacing() const { return FSpacing; }
    void SetSpacing(int32_t spacing);

    // Top-left corner of the caption beside the glyph, as worked out by the last paint.
    QPoint CaptionPos() const { return FCaptionPos; }

    // Read "" unless the style is Custom; writing one switches the style to Custom.
    QString PicNormalResName() const override;
    QString PicMouseOnResName() const override;
    QString PicMouseDownResName() const override;
    void SetPicNormalResName(const QString &name) override;
    void SetPicMouseOnResName(const QString &name) override;
    void SetPicMouseDownResName(const QString &name) override;

protected:
    void UIStyleChanged() override;
    void ApplyThemeNames() override;
    void DrawBackground(QPainter &canvas, const QImage &picture) override;
    void DrawCaption(QPainter &canvas) override;
    void DrawFocus(QPainter &canvas) override;

private:
    // MacOS buttons are 23 pixels high, whatever size they are given.
    void ApplyHeightLock();

    QImage FGlyph;
    TButtonLayout FLayout = blGlyphLeft;
    int32_t FSpacing = 4;
    QPoint FCaptionPos;
    bool FHeightLocked = false;
    int FFreeMinHeight = 0;
    int FFreeMaxHeight = 0;
};

// A push button as every form of the program stores its own: WinXP, AutoSize off, glyph left,
// Spacing 4, ResHandle 0, ModalResult 0, no glyph, no tab stop; the form gives the object name
// (its control name), the caption and the place. The properties are applied in the order a
// stored form applies them, so a Transparent set afterwards holds.
TsuiButton *NewFormButton(QWidget *parent, const char *name, const QString &caption, const QRect &geometry);
