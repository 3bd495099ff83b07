#pragma once
// A container panel that paints a picture as its background (normal, stretched or tiled), an
// optional caption, and, when transparent, what its parent shows behind it. No bevel, no border.
// TsuiImagePanel makes the picture, draw style and auto-size public.

#include <cstdint>

// Qt
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

enum TsuiDrawStyle : uint8_t { suiNormal, suiStretch, suiTile };
// Which edge of its parent a control keeps to; decides which sides AutoSize may change.
enum TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };

class TsuiCustomPanel : public QWidget {
    Q_OBJECT
public:
    explicit TsuiCustomPanel(QWidget *parent = nullptr);
    ~TsuiCustomPanel() override;

    bool Transparent() const { return FTransparent; }
    virtual void SetTransparent(bool on);

    QString Caption() const { return FCaption; }
    void SetCaption(const QString &caption);

    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment alignment);

    // Kept for AutoSize: positioning the panel is its parent's layout's business.
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign align);

    // The panel's colour, shown where there is no picture (and the panel is not transparent).
    QColor Color() const;
    void SetColor(const QColor &color);

    // Where the caption was last drawn.
    QRect CaptionRect() const { return FCaptionRect; }

protected:
    const QImage &Picture() const { return FPicture; }
    void SetPicture(const QImage &picture);
    TsuiDrawStyle DrawStyle() const { return FDrawStyle; }
    void SetDrawStyle(TsuiDrawStyle style);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool on);

    virtual void BackgroundHook() {}
    virtual void CaptionHook(const QRect &) {}
    virtual void PictureChanged();
    void ApplyAutoSize();

    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    QImage FPicture;
    bool FTransparent = false;
    bool FAutoSize = false;
    TsuiDrawStyle FDrawStyle = suiNormal;
    TAlignment FAlignment = taCenter;
    TAlign FAlign = alNone;
    QString FCaption;
    QRect FCaptionRect;
};
