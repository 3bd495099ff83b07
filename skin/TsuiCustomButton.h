#pragma once
// The owner-painted push button behind TsuiButton: the state picture of its skin style drawn
// stretched to its size, the caption, the focus mark, and the click rules (a click fires on
// release of the left mouse button, or of Space or Return, and only from the button's own
// handling). Abstract: the theme's picture names come from ApplyThemeNames.

#include <cstdint>
#include <functional>

// Qt
#include <QPointer>
#include <QString>
#include <QWidget>

#include "TsuiUIStyle.h"

class QAction;
class QColor;
class QImage;
class QPainter;
class TsuiButtonAccessible;

class TsuiCustomButton : public QWidget {
    Q_OBJECT
public:
    explicit TsuiCustomButton(QWidget *parent = nullptr);
    ~TsuiCustomButton() override;

    TsuiUIStyle UIStyle() const { return FUIStyle; }
    void SetUIStyle(TsuiUIStyle style);

    // An "&" marks the accelerator character ("&&" is a plain ampersand).
    QString Caption() const { return FCaption; }
    void SetCaption(const QString &caption);

    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool on);

    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool on);
    // Whether the state picture is drawn with its key colour left out; follows Transparent.
    bool DrawTransparent() const { return FDrawTransparent; }

    // Written to the containing dialog on every click (a non-zero result ends the dialog).
    int32_t ModalResult() const { return FModalResult; }
    void SetModalResult(int32_t result) { FModalResult = result; }

    // Tab focus; the focus mark is drawn only with TabStop on.
    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool on);

    // The module supplying the pictures; 0 is the program's own.
    uint32_t ResHandle() const;
    virtual void SetResHandle(uint32_t handle);

    virtual QString PicNormalResName() const { return FPicNormalResName; }
    virtual QString PicMouseOnResName() const { return FPicMouseOnResName; }
    virtual QString PicMouseDownResName() const { return FPicMouseDownResName; }
    virtual void SetPicNormalResName(const QString &name);
    virtual void SetPicMouseOnResName(const QString &name);
    virtual void SetPicMouseDownResName(const QString &name);

    // A linked action: its text becomes the caption; a click executes it unless OnClick is set.
    QAction *Action() const { return FAction; }
    void SetAction(QAction *action);

    bool MouseOver() const { return FMouseOver; }
    bool MouseDown() const { return FMouseDown; }
    bool Clicking() const { return FClicking; }

    // The button's click. Has an effect only while the button's own mouse, key or accelerator
    // handling runs it: a click requested from anywhere else does nothing.
    void Click();

    std::function<void()> OnClick;
    std::function<void()> OnMouseEnter;
    std::function<void()> OnMouseExit;

signals:
    void clicked();
    void mouseEntered();
    void mouseExited();
    // A mouse button was released over the button, or after being pressed on it; any button,
    // with or without a click (which comes first). Not while the button is disabled.
    void mouseUp(Qt::MouseButton button);

protected:
    virtual void ApplyAutoSize();
    virtual void CaptionChanged() {}
    virtual void FontChanged();
    virtual void TransparentChanged();
    virtual void EnabledChanged() {}
    virtual void UIStyleChanged();
    // Paint steps on the off-screen buffer.
    virtual void DrawBackground(QPainter &canvas, const QImage &picture);
    virtual void DrawCaption(QPainter &canvas);
    virtual void DrawFocus(QPainter &canvas);
    // Each throws EResNotFound when the picture cannot be loaded.
    virtual QImage LoadNormalPicture();
    virtual QImage LoadMouseOnPicture();
    virtual QImage LoadMouseDownPicture();
    virtual QImage LoadDisabledPicture();
    // For a theme: the module and the three picture names of the theme (no repaint).
    virtual void ApplyThemeNames() = 0;

    // The colour the caption is drawn in.
    QColor FontColor() const;

    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void enterEvent(QEnterEvent *e) override;
    void leaveEvent(QEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void keyReleaseEvent(QKeyEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void changeEvent(QEvent *e) override;

    // Stored as written; the getters of TsuiButton hide them for themes.
    QString FPicNormalResName;
    QString FPicMouseOnResName;
    QString FPicMouseDownResName;
    uint32_t FModule; // module handle, never 0

private:
    friend class TsuiButtonAccessible;

    // A click the button itself runs: from the mouse, a key, the accelerator or an assistive tool.
    void RunClick();
    // An assistive tool's press: the click and the mouse-up of a left mouse button press.
    void PressAndRelease();
    void SetMouseDown(bool down);
    void UpdateAccelerator();
    void ActionChanged();
    bool IsOutside(const QPoint &pos) const;

    TsuiUIStyle FUIStyle = TsuiUIStyle::Custom;
    QString FCaption;
    bool FAutoSize = false;
    bool FTransparent = false;
    bool FDrawTransparent = false;
    int32_t FModalResult = 0;
    bool FTabStop = false;
    bool FMouseOver = false;
    bool FMouseDown = false;
    bool FClicking = false;
    int FShortcutId = 0;
    QPointer<QAction> FAction;
};
