#pragma once
// Shared helpers of the test executables: the application object with the central error catch,
// a recorder for everything the user is told, and bounded waiting on a condition.

#include <functional>

// Qt
#include <QString>
#include <QStringList>

#include "MessageSeam.h"

class QRect;
class QWidget;

namespace testing_support {

// Records every message box and error box text instead of showing it; restores the previous sink
// when destroyed. Optionally runs a nested event loop pass while "the box is open".
class MessageRecorder {
public:
    explicit MessageRecorder(bool pumpWhileOpen = false);
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder &) = delete;
    MessageRecorder &operator=(const MessageRecorder &) = delete;

    QStringList messages; // message boxes
    QStringList errors;   // standard error boxes
    QStringList all;      // both, in order

    void clear();

private:
    ui::MessageSink FPrevious;
};

// Handles events until the condition holds or the time is up; returns the condition.
bool WaitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);

// Handles all pending events (a few passes, so posted follow-ups run as well).
void DrainEvents();

// Checks a push button of one of the program's forms: a TsuiButton with the properties every
// form stores for its buttons (WinXP, no auto-size, glyph left, spacing 4, ResHandle 0, no modal
// result, no glyph, no tab stop), its caption and place, and Transparent only where asked for.
void ExpectFormButton(const QWidget *button, const QString &caption, const QRect &geometry, bool transparent = false);

} // namespace testing_support
