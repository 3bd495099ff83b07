#pragma once
// Everything the user is told goes through here: message boxes and the standard error box.
// The application installs a sink that shows modal boxes; tests install one that records.

#include <exception>
#include <functional>
#include <utility>

// Qt
#include <QString>

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

// The standard file dialog: a file to read from, or one to write to.
enum class FileChoice { Open, Save };
using FileChooser = std::function<QString(FileChoice, const QString &title)>;
// The file the user chose; empty when the dialog was cancelled (or nobody can ask).
QString ChooseFile(FileChoice choice, const QString &title);
// Installs the chooser (the application's dialogs; the tests' answers); returns the one it replaces.
FileChooser SetFileChooser(FileChooser chooser);

// Runs our code where the toolkit calls it (a slot, a queued call, the socket reactor's dispatch):
// an error it raises ends that code and reaches the standard error box right here, instead of
// unwinding through the toolkit's own frames (which are not built to be unwound and would leak
// or keep stale state). The loop then goes on.
template <class F>
void RunGuarded(F &&code)
{
    try {
        code();
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
