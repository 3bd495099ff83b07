#pragma once
// Everything the user is told goes through here: message boxes and the standard error box.
// The application installs a sink that shows modal boxes; tests install one that records.

#include <exception>
#include <functional>
#include <initializer_list>
#include <utility>

// Qt
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "Exception.h"

namespace ui {

enum class BoxKind { Message, Error };
using MessageSink = std::function<void(BoxKind, const QString &)>;

// A modal message box with the given text (returns when the user closed it).
void ShowMessage(const QString &text);
// The application's standard error box for an error that escaped a handler.
void ShowErrorBox(const QString &text);

// Installs a sink and returns the one it replaces. Without a sink, texts go to standard error.
MessageSink SetMessageSink(MessageSink sink);

// The standard file dialog: a file to read from, one to write to (the dialog asks before a file
// is replaced), or one to write to whose replacing the caller asks about itself.
enum class FileChoice { Open, Save, SaveUnconfirmed };
using FileChooser = std::function<QString(FileChoice, const QString &title)>;
// The file the user chose; empty when the dialog was cancelled (or nobody can ask).
QString ChooseFile(FileChoice choice, const QString &title);
// Installs the chooser (the application's dialogs; the tests' answers); returns the one it replaces.
FileChooser SetFileChooser(FileChooser chooser);

// A question with buttons (the first is the default, the last answers a closed box); returns the
// number of the button pressed.
using Questioner = std::function<int(const QString &text, const QStringList &buttons)>;
int Ask(const QString &text, const QStringList &buttons);
// Installs the questioner; returns the one it replaces.
Questioner SetQuestioner(Questioner questioner);

// Thrown by a wait of an Operation after which what the operation works on is gone.
struct OperationGone {};

// An operation of the user's on some objects (a data window, a socket) that may wait in a nested
// event loop: a box, a file dialog, a send loop's yield. Anything may be freed while it waits, the
// objects it works on included, so every wait it makes goes through here and ends by asking
// whether all of them still stand; when one went, the wait throws OperationGone, which unwinds the
// operation without it touching anything of theirs again. Run catches it, as does RunGuarded.
class Operation {
public:
    Operation(std::initializer_list<const QObject *> needs, std::function<bool()> stillValid = {});
    Operation(const Operation &) = delete;
    Operation &operator=(const Operation &) = delete;

    // Everything the operation works on is still there.
    bool Stands() const;
    // Throws OperationGone when it is not.
    void Check() const;

    // The waits.
    void Message(const QString &text) const;
    QString ChooseFile(FileChoice choice, const QString &title) const;
    int Ask(const QString &text, const QStringList &buttons) const;
    // Handles the pending events, as a send loop does between its sends.
    void Yield() const;
    // Handles events until one arrives, or at most ms milliseconds.
    void WaitForEvents(int ms) const;

    // Runs the operation's code; true when it ran to its end, false when what it works on went.
    template <class F>
    bool Run(F &&code) const
    {
        try {
            code();
            return true;
        } catch (const OperationGone &) {
            return false;
        }
    }

private:
    QList<QPointer<const QObject>> FNeeds;
    std::function<bool()> FStillValid;
};

// Runs code after the current event has been handled, guarded: a menu's action that may wait runs
// once its menu has closed and its code has returned (a menu deleted on close goes in the first
// event loop that runs after, the loop of a box or send of its own action included). Dropped when
// the context goes first.
void Later(QObject *context, std::function<void()> code);

// Runs our code where the toolkit calls it (a slot, a queued call, the socket reactor's dispatch):
// an error it raises ends that code and reaches the standard error box right here, instead of
// unwinding through the toolkit's own frames (which are not built to be unwound and would leak
// or keep stale state). The loop then goes on.
template <class F>
void RunGuarded(F &&code)
{
    try {
        code();
    } catch (const OperationGone &) {
        // What it worked on went while it waited: nothing to tell.
    } catch (const Exception &e) {
        ShowErrorBox(e.Message());
    } catch (const std::exception &e) {
        ShowErrorBox(QString::fromLocal8Bit(e.what()));
    }
}

// A handler for a widget's signal, run guarded. The signal's arguments (a button's checked
// state) are not passed on.
template <class F>
auto Guarded(F handler)
{
    return [handler = std::move(handler)](auto &&...) { RunGuarded(handler); };
}

} // namespace ui
