#pragma once
// Shared helpers of the test executables: the application object with the central error catch,
// a stand-in for everything the user is told and asked, and bounded waiting on a condition.

#include <functional>

// Qt
#include <QList>
#include <QString>
#include <QStringList>

#include "MessageSeam.h"

class QRect;
class QWidget;

namespace testing_support {

// Stands in for the boxes and dialogs a user answers: message boxes, the standard error box, the
// file dialogs and questions. Each records what it showed or asked, runs a nested event loop of
// its own for a moment, as a modal box or dialog does while it waits for the user (peers close and
// reset, windows go, menus that close delete themselves), and answers as the test told it. A test
// acts "while the box is open" with whileOpen. Restores what it replaced when destroyed.
class MessageRecorder {
public:
    // longOpen: each box stays open 50 ms instead of 5.
    explicit MessageRecorder(bool longOpen = false);
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder &) = delete;
    MessageRecorder &operator=(const MessageRecorder &) = delete;

    QStringList messages;  // message boxes
    QStringList errors;    // standard error boxes
    QStringList all;       // both, in order
    QStringList questions; // questions asked
    QStringList dialogs;   // titles of the file dialogs shown
    QList<ui::FileChoice> fileChoices;

    // What every file dialog answers (empty: cancelled), and the button every question's answer is.
    QString chosenFile;
    int answer = 0;
    // Runs once, inside the nested loop of the next box, question or dialog.
    std::function<void()> whileOpen;
    // How deep boxes were open inside boxes, at most.
    int deepest = 0;

    void clear();

private:
    void StayOpen();
    int FOpenMs;
    int FDepth = 0;
    ui::MessageSink FPrevious;
    ui::FileChooser FPreviousChooser;
    ui::Questioner FPreviousQuestioner;
};

// Handles events until the condition holds or the time is up; returns the condition.
bool WaitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);

// Handles all pending events (a few passes, so posted follow-ups run as well).
void DrainEvents();

// Checks a push button of one of the program's forms: a TsuiButton with the properties every
// form stores for its buttons (WinXP, no auto-size, glyph left, spacing 4, ResHandle 0, no modal
// result, no glyph, no tab stop), its caption and place, and Transparent only where asked for.
void ExpectFormButton(const QWidget *button, const QString &caption, const QRect &geometry, bool transparent = false);

// Opens a widget's context menu as the user does (a context menu event at its middle) and chooses
// an entry with a mouse click on it: the menu closes, and deletes itself, as on screen. The path
// names the entry by the start of its text, through submenus ("文字编码", "UTF-8"). False (with
// the menu closed) when an entry is not there; the entries seen are put in *seen.
bool ChooseContextMenuEntry(QWidget *widget, const QStringList &path, QStringList *seen = nullptr);

// True when the whole of a widget is in sight within top, one of its parents: shown, inside each
// parent up to top, and overlapped by no sibling above it there (another window of the document
// area, a control laid over it). Otherwise false, with what cuts or covers it in *why.
bool WhollyShown(const QWidget *widget, const QWidget *top, QString *why = nullptr);

} // namespace testing_support
