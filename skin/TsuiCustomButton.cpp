#include "TsuiCustomButton.h"

// Qt
#include <QAccessible>
#include <QAction>
#include <QDialog>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>

#include "SkinPainting.h"
#include "SkinResources.h"
#include "TsuiButtonAccessible.h"

namespace {

bool isActivationKey(int key)
{
    return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

TsuiCustomButton::TsuiCustomButton(QWidget *parent) : QWidget(parent), FModule(ProgramModuleHandle)
{
    // The paint covers the whole button: nothing is erased first, so nothing flickers.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setForegroundRole(QPalette::ButtonText);
    setFocusPolicy(Qt::NoFocus);
    InstallButtonAccessibility();
}

TsuiCustomButton::~TsuiCustomButton() = default;

void TsuiCustomButton::SetUIStyle(TsuiUIStyle style)
{
    FUIStyle = IsThemeStyle(style) ? style : TsuiUIStyle::Custom;
    ApplyThemeNames();
    UIStyleChanged();
    update();
}

void TsuiCustomButton::UIStyleChanged()
{
    if (FUIStyle == TsuiUIStyle::Custom)
        SetAutoSize(true);
}

void TsuiCustomButton::SetCaption(const QString &caption)
{
    FCaption = caption;
    UpdateAccelerator();
    CaptionChanged();
    QAccessibleEvent ev(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&ev);
    update();
}

void TsuiCustomButton::SetAutoSize(bool on)
{
    FAutoSize = on;
    ApplyAutoSize();
    update();
}

void TsuiCustomButton::ApplyAutoSize()
{
    if (!FAutoSize || FPicNormalResName.isEmpty())
        return;
    QImage picture;
    try {
        LoadPicture(picture, FModule, FPicNormalResName);
    } catch (const EResNotFound &) {
        picture = BlankPicture();
    }
    resize(width(), picture.height());
    resize(picture.width(), height());
}

void TsuiCustomButton::SetTransparent(bool on)
{
    FTransparent = on;
    TransparentChanged();
    update();
}

void TsuiCustomButton::TransparentChanged()
{
    FDrawTransparent = FTransparent;
    update();
}

void TsuiCustomButton::FontChanged()
{
    update();
}

void TsuiCustomButton::SetTabStop(bool on)
{
    FTabStop = on;
    setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus);
}

uint32_t TsuiCustomButton::ResHandle() const
{
    return ResHandleFromModule(FModule);
}

void TsuiCustomButton::SetResHandle(uint32_t handle)
{
    FModule = ModuleFromResHandle(handle);
    update();
}

void TsuiCustomButton::SetPicNormalResName(const QString &name)
{
    FPicNormalResName = name;
    update();
}

void TsuiCustomButton::SetPicMouseOnResName(const QString &name)
{
    FPicMouseOnResName = name;
    update();
}

void TsuiCustomButton::SetPicMouseDownResName(const QString &name)
{
    FPicMouseDownResName = name;
    update();
}

void TsuiCustomButton::SetAction(QAction *action)
{
    if (FAction)
        disconnect(FAction, nullptr, this, nullptr);
    FAction = action;
    if (action) {
        connect(action, &QAction::changed, this, &TsuiCustomButton::ActionChanged);
        ActionChanged();
    }
}

void TsuiCustomButton::ActionChanged()
{
    if (!FAction)
        return;
    setEnabled(FAction->isEnabled());
    SetCaption(FAction->text());
}

void TsuiCustomButton::Click()
{
    if (!FClicking || !isEnabled())
        return;
    const QPointer<TsuiCustomButton> self(this);
    if (parentWidget()) {
        if (auto *dialog = qobject_cast<QDialog *>(window())) {
            if (FModalResult != 0)
                dialog->done(FModalResult);
            else
                dialog->setResult(0);
        }
    }
    if (!self)
        return;
    if (OnClick) {
        const auto handler = OnClick; // the handler may replace OnClick while it runs
        handler();
    } else if (FAction) {
        FAction->trigger();
    }
    if (self)
        emit clicked();
}

void TsuiCustomButton::RunClick()
{
    const QPointer<TsuiCustomButton> self(this);
    FClicking = true;
    Click();
    if (self)
        FClicking = false;
}

void TsuiCustomButton::PressAndRelease()
{
    const QPointer<TsuiCustomButton> self(this);
    RunClick();
    if (self)
        emit mouseUp(Qt::LeftButton);
}

void TsuiCustomButton::SetMouseDown(bool down)
{
    if (FMouseDown == down)
        return;
    FMouseDown = down;
    QAccessible::State changed;
    changed.pressed = true;
    QAccessibleStateChangeEvent ev(this, changed);
    QAccessible::updateAccessibility(&ev);
}

void TsuiCustomButton::UpdateAccelerator()
{
    if (FShortcutId != 0)
        releaseShortcut(FShortcutId);
    const QKeySequence mnemonic = QKeySequence::mnemonic(FCaption);
    FShortcutId = mnemonic.isEmpty() ? 0 : grabShortcut(mnemonic);
}

bool TsuiCustomButton::IsOutside(const QPoint &pos) const
{
    // The right and bottom edge themselves count as inside.
    return pos.x() < 0 || pos.y() < 0 || pos.x() > width() || pos.y() > height();
}

QColor TsuiCustomButton::FontColor() const
{
    return palette().color(foregroundRole());
}

QImage TsuiCustomButton::LoadNormalPicture()
{
    QImage picture;
    LoadPicture(picture, FModule, FPicNormalResName);
    return picture;
}

QImage TsuiCustomButton::LoadMouseOnPicture()
{
    QImage picture;
    LoadPicture(picture, FModule, FPicMouseOnResName);
    return picture;
}

QImage TsuiCustomButton::LoadMouseDownPicture()
{
    QImage picture;
    LoadPicture(picture, FModule, FPicMouseDownResName);
    return picture;
}

QImage TsuiCustomButton::LoadDisabledPicture()
{
    // There is no disabled picture: a disabled button shows its normal one.
    return LoadNormalPicture();
}

void TsuiCustomButton::DrawBackground(QPainter &canvas, const QImage &picture)
{
    canvas.setFont(font());
    if (IsThemeStyle(FUIStyle)) {
        EdgeStretchDraw(canvas, picture, rect(), FDrawTransparent);
    } else if (picture.width() > 0 && picture.height() > 0) {
        if (isEnabled())
            DrawPicture(canvas, QPoint(0, 0), picture, FDrawTransparent);
        else
            DrawPictureDisabled(canvas, QPoint(0, 0), picture, FDrawTransparent);
    }
}

void TsuiCustomButton::DrawCaption(QPainter &canvas)
{
    const int flags = Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;
    canvas.setFont(font());
    canvas.setBrush(Qt::NoBrush);
    QRect r = rect();
    if (!isEnabled()) {
        canvas.setPen(QColor(0xFF, 0xFF, 0xFF));
        canvas.drawText(r.translated(1, 1), flags, FCaption);
        canvas.setPen(QColor(0x80, 0x80, 0x80));
    } else {
        canvas.setPen(FontColor());
        if (FMouseDown)
            r.translate(1, 1);
    }
    canvas.drawText(r, flags, FCaption);
}

void TsuiCustomButton::DrawFocus(QPainter &canvas)
{
    DrawFocusRect(canvas, QRect(2, 2, width() - 4, height() - 4));
}

bool TsuiCustomButton::event(QEvent *e)
{
    if (e->type() == QEvent::Shortcut && FShortcutId != 0 && static_cast<QShortcutEvent *>(e)->shortcutId() == FShortcutId) {
        if (!isEnabled()) {
            e->ignore();
            return false;
        }
        setFocus(Qt::ShortcutFocusReason);
        RunClick();
        return true;
    }
    return QWidget::event(e);
}

void TsuiCustomButton::paintEvent(QPaintEvent *)
{
    QImage picture;
    try {
        if (!isEnabled())
            picture = LoadDisabledPicture();
        else if (FMouseDown)
            picture = LoadMouseDownPicture();
        else if (FMouseOver)
            picture = LoadMouseOnPicture();
        else
            picture = LoadNormalPicture();
    } catch (const EResNotFound &) {
        picture = BlankPicture();
    }

    const qreal dpr = devicePixelRatioF();
    QImage buffer(size() * dpr, QImage::Format_ARGB32_Premultiplied);
    buffer.setDevicePixelRatio(dpr);
    {
        QPainter canvas(&buffer);
        if (FTransparent) {
            // What a parent without a painted background leaves behind is its colour.
            const QWidget *parent = parentWidget();
            canvas.fillRect(rect(), parent ? parent->palette().color(parent->backgroundRole()) : palette().color(backgroundRole()));
            PaintParentBackground(canvas, this);
        } else {
            canvas.fillRect(rect(), palette().color(backgroundRole()));
        }
        DrawBackground(canvas, picture);
        if (hasFocus() && FTabStop)
            DrawFocus(canvas);
        canvas.setFont(font());
        if (!FCaption.trimmed().isEmpty())
            DrawCaption(canvas);
    }
    QPainter(this).drawImage(0, 0, buffer);
}

void TsuiCustomButton::enterEvent(QEnterEvent *e)
{
    QWidget::enterEvent(e);
    const QPointer<TsuiCustomButton> self(this);
    FMouseOver = true;
    if (OnMouseEnter)
        OnMouseEnter();
    if (self)
        emit mouseEntered();
    if (self)
        update();
}

void TsuiCustomButton::leaveEvent(QEvent *e)
{
    QWidget::leaveEvent(e);
    const QPointer<TsuiCustomButton> self(this);
    FMouseOver = false;
    if (OnMouseExit)
        OnMouseExit();
    if (self)
        emit mouseExited();
    if (self)
        update();
}

void TsuiCustomButton::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    SetMouseDown(true);
    update();
    e->accept();
}

void TsuiCustomButton::mouseMoveEvent(QMouseEvent *e)
{
    QWidget::mouseMoveEvent(e);
    if (IsOutside(e->position().toPoint())) {
        // Repeats on every move outside; coming back does not press the button again.
        FMouseOver = false;
        SetMouseDown(false);
        update();
    }
}

void TsuiCustomButton::mouseReleaseEvent(QMouseEvent *e)
{
    const QPointer<TsuiCustomButton> self(this);
    if (e->button() == Qt::LeftButton && FMouseDown) {
        e->accept();
        if (IsOutside(e->position().toPoint())) {
            // Released off the button without a move in between: as if moved off first.
            FMouseOver = false;
            SetMouseDown(false);
            update();
        } else {
            SetMouseDown(false);
            update();
            RunClick();
        }
    } else {
        QWidget::mouseReleaseEvent(e);
    }
    // The mouse-up comes after the click (the click handler may have freed the button).
    if (self)
        emit mouseUp(e->button());
}

void TsuiCustomButton::keyPressEvent(QKeyEvent *e)
{
    QWidget::keyPressEvent(e);
    if (isActivationKey(e->key()) && hasFocus() && isEnabled()) {
        e->accept();
        SetMouseDown(true);
        update();
    }
}

void TsuiCustomButton::keyReleaseEvent(QKeyEvent *e)
{
    QWidget::keyReleaseEvent(e);
    if (!isActivationKey(e->key()))
        return;
    // Holding the key sends repeated presses and, on some platforms, releases: one click only.
    if (e->isAutoRepeat()) {
        e->accept();
        return;
    }
    if (hasFocus() && FMouseDown && isEnabled()) {
        e->accept();
        SetMouseDown(false);
        update();
        RunClick();
    }
}

void TsuiCustomButton::focusInEvent(QFocusEvent *e)
{
    QWidget::focusInEvent(e);
    update();
}

void TsuiCustomButton::focusOutEvent(QFocusEvent *e)
{
    QWidget::focusOutEvent(e);
    // A key held while the focus moves away never delivers its release here.
    if (FMouseDown && !(QGuiApplication::mouseButtons() & Qt::LeftButton))
        SetMouseDown(false);
    update();
}

void TsuiCustomButton::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    switch (e->type()) {
    case QEvent::EnabledChange:
        if (!isEnabled())
            SetMouseDown(false);
        EnabledChanged();
        update();
        break;
    case QEvent::FontChange:
        FontChanged();
        break;
    default:
        break;
    }
}
