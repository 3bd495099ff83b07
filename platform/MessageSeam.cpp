#include "MessageSeam.h"

#include <cstdio>

// Qt
#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

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

namespace {
Questioner &questioner()
{
    static Questioner q;
    return q;
}
} // namespace

int Ask(const QString &text, const QStringList &buttons)
{
    // A copy: the box runs an event loop. Nobody to ask: the last button, as a closed box.
    Questioner q = questioner();
    if (!q) {
        std::fprintf(stderr, "question: %s\n", text.toLocal8Bit().constData());
        return int(buttons.size()) - 1;
    }
    return q(text, buttons);
}

Questioner SetQuestioner(Questioner q)
{
    Questioner old = std::move(questioner());
    questioner() = std::move(q);
    return old;
}

Operation::Operation(std::initializer_list<const QObject *> needs, std::function<bool()> stillValid)
    : FStillValid(std::move(stillValid))
{
    for (const QObject *o : needs)
        FNeeds.append(QPointer<const QObject>(o));
}

bool Operation::Stands() const
{
    for (const QPointer<const QObject> &o : FNeeds)
        if (o.isNull())
            return false;
    // Asked only while the objects stand: it may look into them.
    return !FStillValid || FStillValid();
}

void Operation::Check() const
{
    if (!Stands())
        throw OperationGone{};
}

void Operation::Message(const QString &text) const
{
    ShowMessage(text);
    Check();
}

QString Operation::ChooseFile(FileChoice choice, const QString &title) const
{
    QString path = ui::ChooseFile(choice, title);
    Check();
    return path;
}

int Operation::Ask(const QString &text, const QStringList &buttons) const
{
    const int answer = ui::Ask(text, buttons);
    Check();
    return answer;
}

void Operation::Yield() const
{
    QCoreApplication::processEvents();
    Check();
}

void Operation::WaitForEvents(int ms) const
{
    // processEvents with a time limit does not wait for events; a timer bounds the wait instead.
    QTimer bound;
    bound.setSingleShot(true);
    bound.start(ms);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    Check();
}

void Later(QObject *context, std::function<void()> code)
{
    QMetaObject::invokeMethod(
        context, [code = std::move(code)] { RunGuarded(code); }, Qt::QueuedConnection);
}

MessageSink SetMessageSink(MessageSink s)
{
    MessageSink old = std::move(sink());
    sink() = std::move(s);
    return old;
}

} // namespace ui
