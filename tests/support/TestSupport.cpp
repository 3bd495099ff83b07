#include "TestSupport.h"

#include <gtest/gtest.h>

// Qt
#include <QAbstractScrollArea>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <utility>

// skin
#include "TsuiButton.h"

namespace testing_support {

MessageRecorder::MessageRecorder(bool longOpen) : FOpenMs(longOpen ? 50 : 5)
{
    FPrevious = ui::SetMessageSink([this](ui::BoxKind kind, const QString &text) {
        (kind == ui::BoxKind::Error ? errors : messages).append(text);
        all.append(text);
        StayOpen();
    });
    FPreviousChooser = ui::SetFileChooser([this](ui::FileChoice choice, const QString &title) {
        fileChoices.append(choice);
        dialogs.append(title);
        StayOpen();
        return chosenFile;
    });
    FPreviousQuestioner = ui::SetQuestioner([this](const QString &text, const QStringList &) {
        questions.append(text);
        StayOpen();
        return answer;
    });
}

MessageRecorder::~MessageRecorder()
{
    ui::SetMessageSink(std::move(FPrevious));
    ui::SetFileChooser(std::move(FPreviousChooser));
    ui::SetQuestioner(std::move(FPreviousQuestioner));
}

namespace {

// The sanitizer's check of a call's object needs descriptors of its own, and some tests open a
// box with the descriptor table full: the loop's calls go through here, unchecked.
__attribute__((no_sanitize("vptr"))) void runLoop(QEventLoop *loop)
{
    loop->exec();
}

__attribute__((no_sanitize("vptr"))) void quitLoop(QEventLoop *loop)
{
    loop->quit();
}

} // namespace

__attribute__((no_sanitize("vptr"))) void MessageRecorder::StayOpen()
{
    ++FDepth;
    deepest = std::max(deepest, FDepth);
    // A loop of its own, as a modal box's exec() runs: it handles what its level handles
    // (deferred deletions posted outside it included), not only what processEvents would.
    QEventLoop loop;
    QObject scope;
    QTimer::singleShot(FOpenMs, &scope, [&loop] { quitLoop(&loop); });
    if (whileOpen) {
        const std::function<void()> act = std::exchange(whileOpen, nullptr);
        QTimer::singleShot(0, &scope, act);
    }
    runLoop(&loop);
    --FDepth;
}

void MessageRecorder::clear()
{
    messages.clear();
    errors.clear();
    all.clear();
    questions.clear();
    dialogs.clear();
    fileChoices.clear();
}

bool WaitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

void DrainEvents()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

void ExpectFormButton(const QWidget *widget, const QString &caption, const QRect &geometry, bool transparent)
{
    const auto *button = qobject_cast<const TsuiButton *>(widget);
    ASSERT_NE(button, nullptr) << "not a TsuiButton: " << (widget ? widget->metaObject()->className() : "null");
    const std::string name = button->objectName().toStdString();
    EXPECT_EQ(button->UIStyle(), TsuiUIStyle::WinXP) << name;
    EXPECT_EQ(button->Caption(), caption) << name;
    EXPECT_EQ(button->geometry(), geometry) << name;
    EXPECT_FALSE(button->AutoSize()) << name;
    EXPECT_EQ(button->Layout(), blGlyphLeft) << name;
    EXPECT_EQ(button->Spacing(), 4) << name;
    EXPECT_EQ(button->ResHandle(), 0u) << name;
    EXPECT_EQ(button->ModalResult(), 0) << name;
    EXPECT_TRUE(button->Glyph().isNull()) << name;
    EXPECT_FALSE(button->TabStop()) << name;
    EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << name;
    EXPECT_EQ(button->Transparent(), transparent) << name;
    EXPECT_EQ(button->DrawTransparent(), transparent) << name;
}

bool ChooseContextMenuEntry(QWidget *widget, const QStringList &path, QStringList *seen)
{
    // A scroll area gets the mouse's context menu event on its viewport, as on screen.
    if (auto *area = qobject_cast<QAbstractScrollArea *>(widget))
        widget = area->viewport();
    const QPoint at = widget->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &event);
    // The menu belongs to its box: it goes with the window, whenever events run.
    QPointer<QMenu> menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if (!menu) {
        ADD_FAILURE() << "no context menu opened";
        return false;
    }
    for (qsizetype step = 0; step < path.size(); ++step) {
        QAction *entry = nullptr;
        QStringList texts;
        for (QAction *a : menu->actions()) {
            texts << a->text();
            if (!entry && !a->isSeparator() && a->text().remove(QLatin1Char('&')).startsWith(path[step]))
                entry = a;
        }
        if (seen)
            *seen = texts;
        if (!entry || !entry->isEnabled()) {
            menu->close();
            DrainEvents();
            return false;
        }
        // Read before the click: a chosen entry may free its menu, and itself, in there.
        const QPointer<QMenu> sub = entry->menu();
        const bool opensSub = !sub.isNull();
        const QPoint where = menu->actionGeometry(entry).center();
        QTest::mouseMove(menu, where);
        if (!menu)
            return false;
        QTest::mousePress(menu, Qt::LeftButton, {}, where);
        if (!menu)
            return false;
        QTest::mouseRelease(menu, Qt::LeftButton, {}, where);
        if (!opensSub)
            return step + 1 == path.size();
        if (!WaitUntil([&] { return !sub || QApplication::activePopupWidget() == sub; }, 2000) || !sub) {
            if (sub)
                ADD_FAILURE() << "the submenu " << path[step].toStdString() << " did not open";
            return false;
        }
        menu = sub.data();
    }
    ADD_FAILURE() << "the path ends in a submenu";
    return false;
}

bool WhollyShown(const QWidget *widget, const QWidget *top, QString *why)
{
    QString reason;
    const auto name = [](const QObject *o) {
        return o->objectName().isEmpty() ? QString::fromLatin1(o->metaObject()->className()) : o->objectName();
    };
    QRect r = widget->rect();
    for (const QWidget *w = widget; w != top; w = w->parentWidget()) {
        const QWidget *parent = w->parentWidget();
        if (!parent || w->isHidden() || w->isWindow()) {
            reason = QStringLiteral("%1 is hidden or not inside the top").arg(name(w));
            break;
        }
        r.translate(w->pos());
        if (!parent->rect().contains(r)) {
            reason = QStringLiteral("%1 cut by %2").arg(name(w), name(parent));
            break;
        }
        const QObjectList &siblings = parent->children();
        for (qsizetype i = siblings.indexOf(const_cast<QWidget *>(w)) + 1; i < siblings.size(); ++i) {
            const auto *above = qobject_cast<const QWidget *>(siblings[i]);
            if (above && !above->isHidden() && !above->isWindow() && above->geometry().intersects(r)) {
                reason = QStringLiteral("%1 under %2").arg(name(w), name(above));
                break;
            }
        }
        if (!reason.isEmpty())
            break;
    }
    if (reason.isEmpty() && !widget->isVisible())
        reason = QStringLiteral("%1 not visible").arg(name(widget));
    if (why)
        *why = reason;
    return reason.isEmpty();
}

} // namespace testing_support
