#include "TestSupport.h"

#include <gtest/gtest.h>

// Qt
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

// skin
#include "TsuiButton.h"

namespace testing_support {

MessageRecorder::MessageRecorder(bool pumpWhileOpen)
{
    FPrevious = ui::SetMessageSink([this, pumpWhileOpen](ui::BoxKind kind, const QString &text) {
        (kind == ui::BoxKind::Error ? errors : messages).append(text);
        all.append(text);
        if (pumpWhileOpen)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    });
}

MessageRecorder::~MessageRecorder()
{
    ui::SetMessageSink(std::move(FPrevious));
}

void MessageRecorder::clear()
{
    messages.clear();
    errors.clear();
    all.clear();
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

} // namespace testing_support
