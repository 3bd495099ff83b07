#include "MessageSeam.h"

#include <cstdio>

namespace ui {

namespace {
MessageSink &sink()
{
    static MessageSink s;
    return s;
}

void deliver(BoxKind kind, const QString &text)
{
    // Copy: a sink may run a nested event loop that replaces the sink meanwhile.
    MessageSink s = sink();
    if (s)
        s(kind, text);
    else
        std::fprintf(stderr, "%s: %s\n", kind == BoxKind::Error ? "error" : "message", text.toLocal8Bit().constData());
}
} // namespace

void ShowMessage(const QString &text) { deliver(BoxKind::Message, text); }
void ShowErrorBox(const QString &text) { deliver(BoxKind::Error, text); }

namespace {
FileChooser &chooser()
{
    static FileChooser c;
    return c;
}
} // namespace

QString ChooseFile(FileChoice choice, const QString &title)
{
    // A copy: the dialog runs an event loop.
    FileChooser c = chooser();
    return c ? c(choice, title) : QString();
}

FileChooser SetFileChooser(FileChooser c)
{
    FileChooser old = std::move(chooser());
    chooser() = std::move(c);
    return old;
}

MessageSink SetMessageSink(MessageSink s)
{
    MessageSink old = std::move(sink());
    sink() = std::move(s);
    return old;
}

} // namespace ui
