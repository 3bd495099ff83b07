// The skinned push button: properties and their side effects, the looks of its states, the
// click rules for mouse, keyboard and accelerator, and what assistive tools see.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// Qt
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>

#include "SkinResources.h"
#include "TestSupport.h"
#include "TsuiButton.h"
#include "TsuiImagePanel.h"

using testing_support::DrainEvents;
using testing_support::WaitUntil;

namespace {

// Input as the window system delivers it to the button (the mouse is grabbed by the button it
// was pressed on, so moves and the release come to it wherever the pointer is).
void mouse(QWidget *w, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButton changed = type == QEvent::MouseMove ? Qt::NoButton : button;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), changed, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
void press(QWidget *w, QPoint pos = {40, 13}, Qt::MouseButton b = Qt::LeftButton) { mouse(w, QEvent::MouseButtonPress, pos, b); }
void release(QWidget *w, QPoint pos = {40, 13}, Qt::MouseButton b = Qt::LeftButton) { mouse(w, QEvent::MouseButtonRelease, pos, b); }
void moveTo(QWidget *w, QPoint pos) { mouse(w, QEvent::MouseMove, pos); }

void enter(QWidget *w)
{
    QEnterEvent e(QPointF(5, 5), QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(w, &e);
}
void leave(QWidget *w)
{
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

void key(QWidget *w, QEvent::Type type, int k, bool autoRepeat = false)
{
    const QString text = k == Qt::Key_Space ? QStringLiteral(" ") : k == Qt::Key_Return ? QStringLiteral("\r") : QString();
    QKeyEvent e(type, k, Qt::NoModifier, text, autoRepeat);
    QApplication::sendEvent(w, &e);
}

QImage picture(const char *name)
{
    QImage p;
    LoadPicture(p, ProgramModuleHandle, QString::fromLatin1(name));
    return p.convertToFormat(QImage::Format_RGB32);
}

QImage grabOf(QWidget *w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }

// Pixels of exactly this colour.
int countColour(const QImage &img, QRgb c)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += (img.pixel(x, y) & RGB_MASK) == (c & RGB_MASK);
    return n;
}

// Bounding box of the pixels that differ from a reference picture of the same size.
QRect changedArea(const QImage &a, const QImage &b)
{
    QRect r;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                r |= QRect(x, y, 1, 1);
    return r;
}

QFont crispFont()
{
    QFont f = QApplication::font();
    f.setPixelSize(12);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

} // namespace

class SuiButton : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<QWidget>();
        form->resize(320, 200);
        form->setFont(crispFont());
        form->show();
        form->activateWindow();
        ASSERT_TRUE(WaitUntil([this] { return QApplication::activeWindow() == form.get(); }));
    }

    TsuiButton *make(TsuiUIStyle style = TsuiUIStyle::WinXP, const QString &caption = QString())
    {
        auto *b = new TsuiButton(form.get());
        b->setGeometry(10, 10, 80, 27);
        b->SetUIStyle(style);
        b->SetCaption(caption);
        b->show();
        b->OnClick = [this] { ++clicks; };
        QObject::connect(b, &TsuiButton::clicked, [this] { ++emitted; });
        QObject::connect(b, &TsuiButton::mouseUp, [this](Qt::MouseButton button) { mouseUps << button; });
        return b;
    }

    std::unique_ptr<QWidget> form;
    int clicks = 0;
    int emitted = 0;
    QList<Qt::MouseButton> mouseUps;
};

// ---- creation and properties ----

TEST_F(SuiButton, ValuesRightAfterCreation)
{
    TsuiButton b(form.get());
    EXPECT_EQ(b.UIStyle(), TsuiUIStyle::DeepBlue); // no skinned form frame on this form
    EXPECT_EQ(b.Caption(), QString());
    EXPECT_FALSE(b.AutoSize());
    EXPECT_FALSE(b.Transparent());
    EXPECT_EQ(b.ModalResult(), 0);
    EXPECT_TRUE(b.Glyph().isNull());
    EXPECT_EQ(b.Layout(), blGlyphLeft);
    EXPECT_EQ(b.Spacing(), 4);
    EXPECT_EQ(b.ResHandle(), 0u);
    EXPECT_EQ(b.PicNormalResName(), QString());
    EXPECT_EQ(b.PicMouseOnResName(), QString());
    EXPECT_EQ(b.PicMouseDownResName(), QString());
    EXPECT_FALSE(b.TabStop());
    EXPECT_EQ(b.focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(b.isEnabled());
    EXPECT_EQ(b.size(), QSize(80, 27));
    EXPECT_FALSE(b.MouseOver());
    EXPECT_FALSE(b.MouseDown());
    EXPECT_FALSE(b.Clicking());
}

TEST_F(SuiButton, PictureNamesReadEmptyUnlessCustom)
{
    TsuiButton *b = make(TsuiUIStyle::WinXP);
    EXPECT_EQ(b->PicNormalResName(), QString());
    b->SetUIStyle(TsuiUIStyle::Custom);
    // The theme's names stay stored and show once the style is Custom.
    EXPECT_EQ(b->PicNormalResName(), QStringLiteral("WINXP_BUTTON_NORMAL"));
    EXPECT_EQ(b->PicMouseOnResName(), QStringLiteral("WINXP_BUTTON_MOUSEON"));
    EXPECT_EQ(b->PicMouseDownResName(), QStringLiteral("WINXP_BUTTON_MOUSEDOWN"));
}

TEST_F(SuiButton, WritingAPictureNameSwitchesToCustom)
{
    using Setter = void (TsuiButton::*)(const QString &);
    using Getter = QString (TsuiButton::*)() const;
    const std::pair<Setter, Getter> accessors[] = {
        {&TsuiButton::SetPicNormalResName, &TsuiButton::PicNormalResName},
        {&TsuiButton::SetPicMouseOnResName, &TsuiButton::PicMouseOnResName},
        {&TsuiButton::SetPicMouseDownResName, &TsuiButton::PicMouseDownResName},
    };
    for (auto [set, get] : accessors) {
        TsuiButton *b = make(TsuiUIStyle::WinXP);
        (b->*set)(QStringLiteral("PROTEIN_BUTTON_MOUSEON"));
        EXPECT_EQ(b->UIStyle(), TsuiUIStyle::Custom);
        EXPECT_EQ((b->*get)(), QStringLiteral("PROTEIN_BUTTON_MOUSEON"));
        EXPECT_FALSE(b->AutoSize()) << "the button's own style change leaves AutoSize alone";
        delete b;
    }
}

TEST_F(SuiButton, AutoSizeTakesTheNormalPictureSize)
{
    TsuiButton *b = make(TsuiUIStyle::WinXP);
    b->SetAutoSize(true);
    EXPECT_EQ(b->size(), QSize(18, 21));
    b->SetPicNormalResName(QStringLiteral("BLUEGLASS_BUTTON_NORMAL"));
    EXPECT_EQ(b->size(), QSize(77, 27));
    b->SetPicNormalResName(QStringLiteral("NO_SUCH_PICTURE"));
    EXPECT_EQ(b->size(), QSize(74, 21)) << "a picture that fails to load counts as blank 74 x 21";
    // Painting with a missing picture goes on with the blank one.
    const QImage shot = grabOf(b);
    EXPECT_EQ(shot.size(), QSize(74, 21));
}

TEST_F(SuiButton, ResHandleZeroIsTheProgramsOwn)
{
    TsuiButton *b = make(TsuiUIStyle::WinXP);
    EXPECT_EQ(b->ResHandle(), 0u);
    b->SetResHandle(0);
    EXPECT_EQ(b->ResHandle(), 0u);
    b->SetResHandle(0x00600000u);
    EXPECT_EQ(b->ResHandle(), 0x00600000u);
    b->SetUIStyle(TsuiUIStyle::Protein); // a theme always takes the program's own pictures
    EXPECT_EQ(b->ResHandle(), 0u);
}

TEST_F(SuiButton, MacOSIsAlways23High)
{
    TsuiButton *b = make(TsuiUIStyle::WinXP);
    b->SetUIStyle(TsuiUIStyle::MacOS);
    EXPECT_EQ(b->height(), 23);
    b->resize(100, 40);
    EXPECT_EQ(b->size(), QSize(100, 23));
    b->setGeometry(5, 5, 90, 10);
    EXPECT_EQ(b->height(), 23);
    b->SetUIStyle(TsuiUIStyle::WinXP);
    b->resize(80, 27);
    EXPECT_EQ(b->size(), QSize(80, 27));
}

TEST_F(SuiButton, OnlyBlueGlassTurnsTransparentOn)
{
    TsuiButton *b = make(TsuiUIStyle::WinXP);
    for (TsuiUIStyle style : {TsuiUIStyle::BlueGlass, TsuiUIStyle::MacOS, TsuiUIStyle::BlueGlass, TsuiUIStyle::WinXP,
                              TsuiUIStyle::BlueGlass, TsuiUIStyle::Custom, TsuiUIStyle::BlueGlass, TsuiUIStyle::DeepBlue,
                              TsuiUIStyle::BlueGlass, TsuiUIStyle::Protein}) {
        b->SetUIStyle(style);
        const bool expected = style == TsuiUIStyle::BlueGlass;
        EXPECT_EQ(b->Transparent(), expected) << int(style);
        EXPECT_EQ(b->DrawTransparent(), expected) << int(style);
    }
    // Transparent set after the style holds (as a stored property applied in order would).
    b->SetTransparent(true);
    EXPECT_TRUE(b->DrawTransparent());
    // A value outside the enumeration is Custom.
    b->SetUIStyle(TsuiUIStyle(17));
    EXPECT_EQ(b->UIStyle(), TsuiUIStyle::Custom);
    EXPECT_FALSE(b->Transparent());
}

// ---- clicks ----

struct Gesture {
    const char *label;
    std::function<void(TsuiButton *)> run;
    int clicks;
    int mouseUps;
};

void PrintTo(const Gesture &g, std::ostream *os) { *os << g.label; }

class SuiButtonGestures : public SuiButton, public ::testing::WithParamInterface<Gesture> {};

TEST_P(SuiButtonGestures, ClickOnlyOnLeftReleaseInside)
{
    TsuiButton *b = make();
    GetParam().run(b);
    EXPECT_EQ(clicks, GetParam().clicks);
    EXPECT_EQ(emitted, GetParam().clicks);
    EXPECT_EQ(mouseUps.size(), GetParam().mouseUps);
    EXPECT_FALSE(b->MouseDown());
    EXPECT_FALSE(b->Clicking());
}

INSTANTIATE_TEST_SUITE_P(
    Mouse, SuiButtonGestures,
    ::testing::Values(
        Gesture{"press_release", [](TsuiButton *b) { press(b), release(b); }, 1, 1},
        Gesture{"release_only", [](TsuiButton *b) { release(b); }, 0, 1},
        // The right and bottom edge themselves count as inside.
        Gesture{"release_on_far_edge", [](TsuiButton *b) { press(b), moveTo(b, {80, 27}), release(b, {80, 27}); }, 1, 1},
        Gesture{"moved_off_left", [](TsuiButton *b) { press(b), moveTo(b, {-1, 10}), release(b); }, 0, 1},
        Gesture{"moved_off_top", [](TsuiButton *b) { press(b), moveTo(b, {10, -1}), release(b); }, 0, 1},
        Gesture{"moved_off_right", [](TsuiButton *b) { press(b), moveTo(b, {81, 10}), release(b); }, 0, 1},
        Gesture{"moved_off_bottom", [](TsuiButton *b) { press(b), moveTo(b, {10, 28}), release(b); }, 0, 1},
        Gesture{"released_off_without_a_move", [](TsuiButton *b) { press(b), release(b, {200, 13}); }, 0, 1},
        Gesture{"right_button", [](TsuiButton *b) { press(b, {40, 13}, Qt::RightButton), release(b, {40, 13}, Qt::RightButton); }, 0, 1},
        Gesture{"middle_button", [](TsuiButton *b) { press(b, {40, 13}, Qt::MiddleButton), release(b, {40, 13}, Qt::MiddleButton); }, 0, 1},
        Gesture{"disabled", [](TsuiButton *b) { b->setEnabled(false), press(b), release(b); }, 0, 0},
        Gesture{"two_clicks", [](TsuiButton *b) { press(b), release(b), press(b), release(b); }, 2, 2}),
    [](const auto &info) { return std::string(info.param.label); });

TEST_F(SuiButton, MouseUpOfAnyButtonComesAfterTheClick)
{
    TsuiButton *b = make();
    QStringList order;
    QObject::connect(b, &TsuiButton::clicked, [&order] { order << QStringLiteral("click"); });
    QObject::connect(b, &TsuiButton::mouseUp, [&order](Qt::MouseButton) { order << QStringLiteral("up"); });
    press(b), release(b);
    EXPECT_EQ(order, (QStringList{"click", "up"}));
    press(b, {40, 13}, Qt::RightButton), release(b, {40, 13}, Qt::RightButton);
    EXPECT_EQ(mouseUps, (QList<Qt::MouseButton>{Qt::LeftButton, Qt::RightButton}));
}

TEST_F(SuiButton, MovingOffLosesThePressForGood)
{
    TsuiButton *b = make();
    enter(b);
    press(b);
    EXPECT_TRUE(b->MouseDown());
    EXPECT_EQ(clicks, 0) << "nothing on the press itself";
    moveTo(b, QPoint(-5, 10));
    EXPECT_FALSE(b->MouseDown());
    EXPECT_FALSE(b->MouseOver());
    // Coming back before the release does not press it again.
    moveTo(b, QPoint(40, 13));
    EXPECT_FALSE(b->MouseDown());
    release(b);
    EXPECT_EQ(clicks, 0);
}

TEST_F(SuiButton, ClickRequestedFromOutsideDoesNothing)
{
    TsuiButton *b = make();
    bool clickingInside = false;
    b->OnClick = [&] {
        ++clicks;
        clickingInside = b->Clicking();
    };
    b->Click();
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(emitted, 0);
    press(b);
    release(b);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(clickingInside);
    b->Click();
    EXPECT_EQ(clicks, 1);
}

class SuiButtonKeys : public SuiButton, public ::testing::WithParamInterface<int> {};

TEST_P(SuiButtonKeys, KeyDownPressesKeyUpClicks)
{
    TsuiButton *b = make();
    b->SetTabStop(true);
    b->setFocus();
    ASSERT_TRUE(WaitUntil([b] { return b->hasFocus(); }));
    key(b, QEvent::KeyPress, GetParam());
    EXPECT_TRUE(b->MouseDown());
    EXPECT_EQ(clicks, 0);
    // Holding the key: repeated presses and releases click nothing.
    key(b, QEvent::KeyRelease, GetParam(), true);
    key(b, QEvent::KeyPress, GetParam(), true);
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(b->MouseDown());
    key(b, QEvent::KeyRelease, GetParam());
    EXPECT_FALSE(b->MouseDown());
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(emitted, 1);
}

INSTANTIATE_TEST_SUITE_P(SpaceReturnEnter, SuiButtonKeys, ::testing::Values(int(Qt::Key_Space), int(Qt::Key_Return), int(Qt::Key_Enter)));

TEST_F(SuiButton, KeysNeedTheFocusAndAnEnabledButton)
{
    TsuiButton *b = make();
    key(b, QEvent::KeyPress, Qt::Key_Space);
    EXPECT_FALSE(b->MouseDown());
    key(b, QEvent::KeyRelease, Qt::Key_Space);
    b->SetTabStop(true);
    b->setFocus();
    ASSERT_TRUE(WaitUntil([b] { return b->hasFocus(); }));
    key(b, QEvent::KeyPress, Qt::Key_A);
    key(b, QEvent::KeyRelease, Qt::Key_A);
    key(b, QEvent::KeyPress, Qt::Key_Space);
    b->setEnabled(false);
    key(b, QEvent::KeyRelease, Qt::Key_Space);
    EXPECT_EQ(clicks, 0);
}

TEST_F(SuiButton, FocusLostWhileKeyHeldReleasesThePress)
{
    TsuiButton *b = make();
    TsuiButton *other = make();
    other->move(100, 10);
    b->SetTabStop(true);
    other->SetTabStop(true);
    b->setFocus();
    ASSERT_TRUE(WaitUntil([b] { return b->hasFocus(); }));
    key(b, QEvent::KeyPress, Qt::Key_Space);
    other->setFocus();
    ASSERT_TRUE(WaitUntil([other] { return other->hasFocus(); }));
    EXPECT_FALSE(b->MouseDown());
    key(other, QEvent::KeyRelease, Qt::Key_Space);
    EXPECT_EQ(clicks, 0);
}

TEST_F(SuiButton, AcceleratorTakesFocusAndClicks)
{
    TsuiButton *b = make(TsuiUIStyle::WinXP, QStringLiteral("&Create"));
    TsuiButton *other = make(TsuiUIStyle::WinXP, QStringLiteral("&Delete"));
    other->move(100, 10);
    int otherClicks = 0;
    other->OnClick = [&] { ++otherClicks; };
    // Alt and the marked letter, typed anywhere in the window.
    QKeyEvent alt(QEvent::KeyPress, Qt::Key_C, Qt::AltModifier, QStringLiteral("c"));
    QApplication::sendEvent(form.get(), &alt);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(otherClicks, 0);
    EXPECT_TRUE(b->hasFocus());

    b->setEnabled(false);
    QKeyEvent again(QEvent::KeyPress, Qt::Key_C, Qt::AltModifier, QStringLiteral("c"));
    QApplication::sendEvent(form.get(), &again);
    EXPECT_EQ(clicks, 1);
}

TEST_F(SuiButton, ModalResultEndsTheDialog)
{
    for (int result : {0, 1, 2}) {
        QDialog dialog(form.get());
        auto *b = new TsuiButton(&dialog);
        b->SetModalResult(result);
        dialog.setResult(7);
        dialog.open();
        ASSERT_TRUE(WaitUntil([&] { return dialog.isVisible(); }));
        press(b);
        release(b);
        EXPECT_EQ(dialog.result(), result);
        EXPECT_EQ(dialog.isVisible(), result == 0) << "result " << result;
    }
}

TEST_F(SuiButton, LinkedActionRunsUnlessOnClickIsSet)
{
    QAction action(QStringLiteral("&Go"));
    int triggered = 0;
    QObject::connect(&action, &QAction::triggered, [&] { ++triggered; });
    TsuiButton *b = make();
    b->SetAction(&action);
    EXPECT_EQ(b->Caption(), QStringLiteral("&Go"));
    action.setText(QStringLiteral("&Run"));
    EXPECT_EQ(b->Caption(), QStringLiteral("&Run"));
    action.setEnabled(false);
    EXPECT_FALSE(b->isEnabled());
    action.setEnabled(true);

    press(b);
    release(b);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(triggered, 0);
    b->OnClick = nullptr;
    press(b);
    release(b);
    EXPECT_EQ(triggered, 1);
    EXPECT_EQ(emitted, 2);
}

// ---- looks ----

TEST_F(SuiButton, EdgeStretchKeepsTheCornersAt80x27)
{
    for (auto [style, name] : {std::pair{TsuiUIStyle::WinXP, "WINXP_BUTTON_NORMAL"}}) {
        TsuiButton *b = make(style);
        const QImage shot = grabOf(b);
        const QImage p = picture(name);
        ASSERT_EQ(shot.size(), QSize(80, 27));
        // 9 left and 9 right columns, 10 top and 11 bottom rows as in the 18 x 21 picture.
        EXPECT_EQ(shot.copy(0, 0, 9, 10), p.copy(0, 0, 9, 10));
        EXPECT_EQ(shot.copy(71, 0, 9, 10), p.copy(9, 0, 9, 10));
        EXPECT_EQ(shot.copy(0, 16, 9, 11), p.copy(0, 10, 9, 11));
        EXPECT_EQ(shot.copy(71, 16, 9, 11), p.copy(9, 10, 9, 11));
        for (int x = 9; x < 71; ++x) {
            ASSERT_EQ(shot.pixel(x, 0), p.pixel(9, 0)) << x;
            ASSERT_EQ(shot.pixel(x, 26), p.pixel(9, 20)) << x;
        }
        for (int y = 10; y < 16; ++y)
            ASSERT_EQ(shot.pixel(0, y), p.pixel(0, 10)) << y;
    }
}

TEST_F(SuiButton, StatePictures)
{
    TsuiButton *b = make();
    const QRgb normal = picture("WINXP_BUTTON_NORMAL").pixel(1, 10);
    const QRgb hot = picture("WINXP_BUTTON_MOUSEON").pixel(1, 10);
    const QRgb down = picture("WINXP_BUTTON_MOUSEDOWN").pixel(1, 10);
    EXPECT_EQ(grabOf(b).pixel(1, 13), normal);
    enter(b);
    EXPECT_TRUE(b->MouseOver());
    EXPECT_EQ(grabOf(b).pixel(1, 13), hot);
    press(b);
    EXPECT_EQ(grabOf(b).pixel(1, 13), down);
    moveTo(b, QPoint(-3, 3));
    EXPECT_EQ(grabOf(b).pixel(1, 13), normal);
    release(b);
    enter(b);
    leave(b);
    EXPECT_FALSE(b->MouseOver());
    EXPECT_EQ(grabOf(b).pixel(1, 13), normal);
    // A disabled button shows its normal picture, even under the mouse.
    enter(b);
    b->setEnabled(false);
    EXPECT_EQ(grabOf(b).pixel(1, 13), normal);
}

TEST_F(SuiButton, MouseEnterAndExitNotifications)
{
    TsuiButton *b = make();
    QStringList seen;
    b->OnMouseEnter = [&] { seen << QStringLiteral("enter %1").arg(b->MouseOver()); };
    b->OnMouseExit = [&] { seen << QStringLiteral("exit %1").arg(b->MouseOver()); };
    QObject::connect(b, &TsuiButton::mouseEntered, [&] { seen << QStringLiteral("entered"); });
    QObject::connect(b, &TsuiButton::mouseExited, [&] { seen << QStringLiteral("exited"); });
    enter(b);
    leave(b);
    EXPECT_EQ(seen, (QStringList{QStringLiteral("enter 1"), QStringLiteral("entered"), QStringLiteral("exit 0"),
                                 QStringLiteral("exited")}));
}

TEST_F(SuiButton, DisabledCaptionIsGreyWithAWhiteShadow)
{
    TsuiButton *b = make(TsuiUIStyle::WinXP, QStringLiteral("MMMM"));
    const QImage enabled = grabOf(b);
    EXPECT_EQ(countColour(enabled, qRgb(0x80, 0x80, 0x80)), 0);
    const int ink = countColour(enabled, b->palette().color(QPalette::ButtonText).rgb());
    ASSERT_GT(ink, 10);

    b->setEnabled(false);
    const QImage disabled = grabOf(b);
    const int grey = countColour(disabled, qRgb(0x80, 0x80, 0x80));
    EXPECT_GT(grey, 10);
    int shadowed = 0;
    for (int y = 0; y + 1 < disabled.height(); ++y)
        for (int x = 0; x + 1 < disabled.width(); ++x)
            if ((disabled.pixel(x, y) & RGB_MASK) == 0x808080 && (disabled.pixel(x + 1, y + 1) & RGB_MASK) == 0xFFFFFF)
                ++shadowed;
    EXPECT_GT(shadowed, grey / 4);
    // The picture is the normal one, unchanged at the border.
    EXPECT_EQ(disabled.copy(0, 0, 9, 5), enabled.copy(0, 0, 9, 5));
}

TEST_F(SuiButton, PressedCaptionMovesOneRightAndDown)
{
    TsuiButton *b = make(TsuiUIStyle::WinXP, QStringLiteral("Go"));
    const QColor ink = b->palette().color(QPalette::ButtonText);
    auto inkBox = [&](const QImage &img) {
        QRect r;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if ((img.pixel(x, y) & RGB_MASK) == (ink.rgb() & RGB_MASK))
                    r |= QRect(x, y, 1, 1);
        return r;
    };
    const QRect up = inkBox(grabOf(b));
    press(b);
    const QRect down = inkBox(grabOf(b));
    ASSERT_FALSE(up.isEmpty());
    EXPECT_EQ(down, up.translated(1, 1));
}

TEST_F(SuiButton, AcceleratorIsUnderlinedNotPrinted)
{
    TsuiButton *plain = make(TsuiUIStyle::WinXP, QStringLiteral("Create"));
    TsuiButton *marked = make(TsuiUIStyle::WinXP, QStringLiteral("&Create"));
    marked->move(100, 10);
    const QImage a = grabOf(plain), b = grabOf(marked);
    const QRect diff = changedArea(a, b);
    // Same text at the same place; only the underline below the C differs.
    ASSERT_FALSE(diff.isEmpty());
    EXPECT_LE(diff.height(), 2);
    const QFontMetrics fm(crispFont());
    EXPECT_LE(diff.width(), fm.horizontalAdvance(QLatin1Char('C')) + 1);
}

TEST_F(SuiButton, BlankCaptionIsNotDrawn)
{
    TsuiButton *empty = make(TsuiUIStyle::WinXP);
    TsuiButton *blanks = make(TsuiUIStyle::WinXP, QStringLiteral("   "));
    blanks->move(100, 10);
    EXPECT_EQ(grabOf(empty), grabOf(blanks));
}

TEST_F(SuiButton, FocusMarkOnlyWithTabStop)
{
    TsuiButton *b = make(TsuiUIStyle::WinXP);
    const QImage unfocused = grabOf(b);
    b->setFocus(); // focus forced on a button without TabStop: no mark
    ASSERT_TRUE(WaitUntil([b] { return b->hasFocus(); }));
    EXPECT_EQ(grabOf(b), unfocused);

    b->SetTabStop(true);
    EXPECT_EQ(b->focusPolicy(), Qt::StrongFocus);
    const QRect mark = changedArea(unfocused, grabOf(b));
    EXPECT_EQ(mark, QRect(2, 2, 76, 23));

    b->SetUIStyle(TsuiUIStyle::MacOS); // a line near the bottom instead
    b->resize(80, 23);
    b->clearFocus();
    const QImage macUnfocused = grabOf(b);
    b->setFocus();
    ASSERT_TRUE(WaitUntil([b] { return b->hasFocus(); }));
    const QImage macFocused = grabOf(b);
    EXPECT_EQ(changedArea(macUnfocused, macFocused), QRect(10, 18, 60, 1));
    EXPECT_EQ(macFocused.pixel(10, 18), qRgb(0, 0, 255));
}

TEST_F(SuiButton, TransparentButtonShowsTheParentThroughItsKeyColour)
{
    auto *panel = new TsuiImagePanel(form.get());
    panel->setGeometry(0, 60, 300, 34);
    panel->SetColor(QColor(200, 30, 40));
    panel->show();
    auto *b = new TsuiButton(panel);
    b->SetUIStyle(TsuiUIStyle::WinXP);
    b->setGeometry(7, 4, 80, 27);
    b->show();

    const QRgb key = qRgb(236, 233, 216), border = qRgb(0, 60, 116);
    EXPECT_EQ(grabOf(b).pixel(0, 0), key);
    b->SetTransparent(true);
    QImage shot = grabOf(b);
    EXPECT_EQ(shot.pixel(0, 0), qRgb(200, 30, 40));
    EXPECT_EQ(shot.pixel(79, 26), qRgb(200, 30, 40));
    EXPECT_EQ(shot.pixel(40, 0), border);
    EXPECT_NE(shot.pixel(40, 13), qRgb(200, 30, 40));
    // Seen in the panel with its children, too.
    const QImage whole = grabOf(panel);
    EXPECT_EQ(whole.pixel(7, 4), qRgb(200, 30, 40));
    EXPECT_EQ(whole.pixel(47, 4), border);
}

// ---- glyph ----

namespace {

// A glyph of solid colour c inside a one-pixel frame of the key colour (green).
QImage glyph(int w, int h, std::initializer_list<std::pair<QRect, QRgb>> parts)
{
    QImage g(w, h, QImage::Format_RGB32);
    g.fill(qRgb(0, 255, 0));
    for (auto [r, c] : parts) {
        QPainter p(&g);
        p.fillRect(r, QColor::fromRgb(c));
    }
    return g;
}

QRect colourBox(const QImage &img, QRgb c)
{
    QRect r;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & RGB_MASK) == (c & RGB_MASK))
                r |= QRect(x, y, 1, 1);
    return r;
}

} // namespace

struct GlyphCase {
    TButtonLayout layout;
    const char *label;
};

class SuiButtonGlyph : public SuiButton, public ::testing::WithParamInterface<GlyphCase> {};

TEST_P(SuiButtonGlyph, LayoutPlacesGlyphAndCaption)
{
    const QRgb red = qRgb(255, 0, 0);
    TsuiButton *b = make(TsuiUIStyle::WinXP, QStringLiteral("Go"));
    b->resize(93, 40);
    b->SetGlyph(glyph(12, 12, {{QRect(1, 1, 10, 10), red}}));
    b->SetLayout(GetParam().layout);
    b->SetSpacing(3);
    const QImage shot = grabOf(b);

    const QFontMetrics fm(b->font());
    const int TW = fm.horizontalAdvance(QStringLiteral("Go")), TH = fm.height(), GW = 12, GH = 12, W = 93, H = 40, S = 3;
    QPoint G, C;
    switch (GetParam().layout) {
    case blGlyphLeft:
        G = {(W - (TW + GW + S)) / 2, (H - GH) / 2};
        C = {G.x() + GW + S, (H - TH) / 2};
        break;
    case blGlyphRight:
        G = {(W + TW + S - GW) / 2, (H - GH) / 2};
        C = {G.x() - TW - S, (H - TH) / 2};
        break;
    case blGlyphTop:
        G = {(W - GW) / 2, (H - (TH + GH + S)) / 2};
        C = {(W - TW) / 2, G.y() + GH + S};
        break;
    case blGlyphBottom:
        G = {(W - GW) / 2, (H + TH + S - GH) / 2};
        C = {(W - TW) / 2, G.y() - TH - S};
        break;
    }
    EXPECT_EQ(colourBox(shot, red), QRect(G + QPoint(1, 1), QSize(10, 10)));
    EXPECT_EQ(b->CaptionPos(), C);
    EXPECT_EQ(countColour(shot, qRgb(0, 255, 0)), 0) << "the glyph's key colour is left out";

    // Pressed: the glyph moves one pixel right and down.
    press(b);
    EXPECT_EQ(colourBox(grabOf(b), red), QRect(G + QPoint(2, 2), QSize(10, 10)));
}

INSTANTIATE_TEST_SUITE_P(Layouts, SuiButtonGlyph,
                         ::testing::Values(GlyphCase{blGlyphLeft, "left"}, GlyphCase{blGlyphRight, "right"},
                                           GlyphCase{blGlyphTop, "top"}, GlyphCase{blGlyphBottom, "bottom"}),
                         [](const auto &info) { return std::string(info.param.label); });

TEST_F(SuiButton, DoubleGlyphShowsItsRightHalfWhenDisabled)
{
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255);
    TsuiButton *b = make(TsuiUIStyle::WinXP, QStringLiteral("Go"));
    b->SetGlyph(glyph(24, 12, {{QRect(1, 1, 10, 10), red}, {QRect(13, 1, 10, 10), blue}}));
    QImage shot = grabOf(b);
    EXPECT_EQ(colourBox(shot, red).size(), QSize(10, 10));
    EXPECT_TRUE(colourBox(shot, blue).isEmpty());
    b->setEnabled(false);
    shot = grabOf(b);
    EXPECT_TRUE(colourBox(shot, red).isEmpty());
    EXPECT_EQ(colourBox(shot, blue).size(), QSize(10, 10));
}

// ---- assistive technologies ----

TEST_F(SuiButton, AssistiveToolsSeeAPushButton)
{
    TsuiButton *b = make(TsuiUIStyle::WinXP, QStringLiteral("&Create && go"));
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(b);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::Button);
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("Create & go"));
    QAccessibleActionInterface *actions = iface->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    EXPECT_FALSE(actions->keyBindingsForAction(QAccessibleActionInterface::pressAction()).isEmpty());

    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(emitted, 1);
    EXPECT_EQ(mouseUps, QList<Qt::MouseButton>{Qt::LeftButton}); // a whole press, as the mouse gives it
    EXPECT_FALSE(b->Clicking());

    press(b);
    EXPECT_TRUE(iface->state().pressed);
    release(b);
    EXPECT_FALSE(iface->state().pressed);

    b->SetCaption(QStringLiteral("退出"));
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("退出"));

    b->setEnabled(false);
    EXPECT_FALSE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks, 2);
}
