#pragma once
// Everything the user is told goes through here: message boxes and the standard error box.
// The application installs a sink that shows modal boxes; tests install one that records.

#include <functional>

// Qt
#include <QString>

namespace ui {

enum class BoxKind { Message, Error };
using MessageSink = std::function<void(BoxKind, const QString &)>;

// A modal message box with the given text (returns when the user closed it).
void ShowMessage(const QString &text);
// The application's standard error box for an error that escaped a handler.
void ShowErrorBox(const QString &text);

// Installs a sink and returns the one it replaces. Without a sink, texts go to standard error.
MessageSink SetMessageSink(MessageSink sink);

} // namespace ui
