#include "LogView.h"

// The log box's editing: typing, the input method, the clipboard, undo and redo, and the keys
// that move the caret.

#include <algorithm>

// Qt
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>

#include "LineLayout.h"
#include "LogViewAccessible.h"

namespace {

// Ctrl+Z undoes, Ctrl+Shift+Z and Ctrl+Y redo, as in a plain text box, whatever else the
// platform's keys for them are.
bool isUndoKey(const QKeyEvent *event)
{
    return event->matches(QKeySequence::Undo)
        || event->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Z);
}

bool isRedoKey(const QKeyEvent *event)
{
    const QKeyCombination key = event->keyCombination();
    return event->matches(QKeySequence::Redo) || key == QKeyCombination(Qt::ControlModifier, Qt::Key_Y)
        || key == QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z);
}

} // namespace

void TLogView::copy()
{
    if (hasSelection())
        QGuiApplication::clipboard()->setText(selectedText());
}

void TLogView::cut()
{
    copy();
    Edit(QString(), TEditHistory::Kind::Other);
}

void TLogView::paste()
{
    Edit(QGuiApplication::clipboard()->text(), TEditHistory::Kind::Other);
}

void TLogView::insertText(const QString &text)
{
    Edit(text, TEditHistory::Kind::Other);
}

namespace {

// A step takes away what an edit from from to end put there.
void setTaken(TEditStep &step, TLogPosition from, TLogPosition end)
{
    step.breaks = end.line - from.line;
    step.endColumn = step.breaks ? end.column : end.column - from.column;
}

} // namespace

void TLogView::Edit(const QString &text, TEditHistory::Kind kind)
{
    const TLogPosition from = FStore.Clamp(std::min(FAnchor, FCaret));
    const TLogPosition to = FStore.Clamp(std::max(FAnchor, FCaret));
    if (from == to && text.isEmpty())
        return;
    TEditStep undo;
    undo.line = FLineBase + from.line;
    undo.column = from.column;
    undo.text = FStore.Text(from, to);
    undo.empties = lineCount() == 0;
    const TLogPosition end = ReplaceRange(from, to, text);
    setTaken(undo, from, end);
    undo.fillsEmpty = lineCount() == 0;
    FHistory.Record(std::move(undo), kind);
    FCaret = FAnchor = end;
    Edited();
}

TLogPosition TLogView::ReplaceRange(TLogPosition from, TLogPosition to, const QString &text)
{
    if (from != to) {
        if (TLogViewAccessible::Listening())
            TLogViewAccessible::Removed(this, from, to);
        FStore.Remove(from, to);
        ReplaceLayouts(from.line, to.line, lineCount() == 0 ? 0 : 1);
    }
    from = FStore.Clamp(from);
    if (text.isEmpty())
        return from;
    const bool wasEmpty = lineCount() == 0;
    const TLogPosition end = FStore.Insert(from, text);
    ReplaceLayouts(from.line, wasEmpty ? -1 : from.line, end.line - from.line + 1);
    if (TLogViewAccessible::Listening())
        TLogViewAccessible::Inserted(this, from, end);
    return end;
}

TEditStep TLogView::Apply(const TEditStep &step)
{
    if (!FPreedit.isEmpty())
        DropLayoutOf(FCaret.line);
    const bool wasEmpty = lineCount() == 0;
    const TLogPosition from = FStore.Clamp({step.line - FLineBase, step.column});
    TLogPosition to = FStore.Clamp(step.breaks ? TLogPosition{from.line + step.breaks, step.endColumn}
                                               : TLogPosition{from.line, from.column + step.endColumn});
    QString text = step.text;
    // Lines appended since the step emptied the box stay, now first in it.
    if (step.empties && to.line + 1 < lineCount() && to.column == FStore.LineSize(to.line))
        to = {to.line + 1, 0};
    // Lines appended since the box was empty stay after the text.
    if (step.fillsEmpty && !wasEmpty)
        text += u'\n';
    TEditStep reverse;
    reverse.line = FLineBase + from.line;
    reverse.column = from.column;
    reverse.text = FStore.Text(from, to);
    reverse.empties = wasEmpty;
    const TLogPosition end = ReplaceRange(from, to, text);
    setTaken(reverse, from, end);
    reverse.fillsEmpty = lineCount() == 0;
    FCaret = FAnchor = end;
    if (!FPreedit.isEmpty())
        DropLayoutOf(FCaret.line);
    return reverse;
}

void TLogView::undo()
{
    if (!FHistory.CanUndo())
        return;
    FHistory.PutRedo(Apply(FHistory.TakeUndo()));
    Edited();
}

void TLogView::redo()
{
    if (!FHistory.CanRedo())
        return;
    FHistory.PutUndo(Apply(FHistory.TakeRedo()));
    Edited();
}

void TLogView::Edited()
{
    FGoalX = -1;
    FCaretOn = true;
    EnsureCaretVisible();
    // Lines taken away at the end may leave the view past it.
    if (FFollowEnd)
        SyncScrollBar();
    else
        ScrollTo(FTop, FTopOffset);
    viewport()->update();
    if (TLogViewAccessible::Listening())
        TLogViewAccessible::CaretMoved(this);
}

// ---- keyboard ------------------------------------------------------------------------------

void TLogView::keyPressEvent(QKeyEvent *event)
{
    if (isUndoKey(event)) {
        undo();
        return;
    }
    if (isRedoKey(event)) {
        redo();
        return;
    }
    if (event == QKeySequence::SelectAll) {
        selectAll();
        SetPrimarySelection();
        return;
    }
    if (event == QKeySequence::Copy) {
        copy();
        return;
    }
    if (event == QKeySequence::Cut) {
        cut();
        return;
    }
    if (event == QKeySequence::Paste) {
        paste();
        return;
    }
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool control = mods & Qt::ControlModifier;
    const bool shift = mods & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        // A column moved through on a shorter row does not become the column to go back to.
        const TLogPosition from = FStore.Clamp(FCaret);
        const qreal goalX = lineCount() ? (FGoalX >= 0 ? FGoalX : LayoutOf(from.line).XOf(from.column)) : -1;
        setCaret(MovedCaret(event->key(), control), shift);
        FGoalX = goalX;
        EnsureCaretVisible();
        if (shift)
            SetPrimarySelection();
        return;
    }
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
        setCaret(MovedCaret(event->key(), control), shift);
        EnsureCaretVisible();
        if (shift)
            SetPrimarySelection();
        return;
    case Qt::Key_Backspace:
    case Qt::Key_Delete: {
        // A selection goes as one step; characters one by one run on into one.
        auto kind = TEditHistory::Kind::Other;
        if (!hasSelection()) {
            const bool back = event->key() == Qt::Key_Backspace;
            FAnchor = MovedCaret(back ? Qt::Key_Left : Qt::Key_Right, control);
            kind = back ? TEditHistory::Kind::Backspace : TEditHistory::Kind::Delete;
        }
        Edit(QString(), kind);
        return;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
        insertText(QStringLiteral("\n"));
        return;
    default:
        break;
    }
    const QString text = event->text();
    if (!text.isEmpty() && !(mods & (Qt::ControlModifier | Qt::MetaModifier))
        && (text.at(0).isPrint() || text.at(0) == u'\t')) {
        Edit(text, TEditHistory::Kind::Typing);
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void TLogView::inputMethodEvent(QInputMethodEvent *event)
{
    DropLayoutOf(FCaret.line);
    FPreedit.clear();
    if (event->replacementLength() > 0 && lineCount() > 0) {
        // The input method replaces text around the caret in its line.
        const TLogPosition at = FStore.Clamp(FCaret);
        const qsizetype size = FStore.LineSize(at.line);
        const qsizetype from = std::clamp<qsizetype>(at.column + event->replacementStart(), 0, size);
        FAnchor = {at.line, from};
        FCaret = {at.line, std::clamp<qsizetype>(from + event->replacementLength(), 0, size)};
    }
    if (!event->commitString().isEmpty() || event->replacementLength() > 0)
        Edit(event->commitString(), TEditHistory::Kind::Typing);
    FPreedit = event->preeditString();
    FPreeditCursor = FPreedit.size();
    FPreeditCursorShown = true;
    for (const QInputMethodEvent::Attribute &a : event->attributes()) {
        if (a.type == QInputMethodEvent::Cursor) {
            FPreeditCursor = std::clamp<qsizetype>(a.start, 0, FPreedit.size());
            FPreeditCursorShown = a.length != 0;
        }
    }
    DropLayoutOf(FCaret.line);
    if (!FPreedit.isEmpty())
        EnsureCaretVisible();
    viewport()->update();
    event->accept();
}

QVariant TLogView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        // In the box's own coordinates, not the viewport's.
        return CaretRect().translated(viewport()->pos());
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return int(FCaret.column);
    case Qt::ImAnchorPosition:
        return int(FAnchor.line == FCaret.line ? FAnchor.column : FCaret.column);
    case Qt::ImSurroundingText:
        return lineCount() ? FStore.Line(FStore.Clamp(FCaret).line) : QString();
    case Qt::ImTextBeforeCursor:
        return lineCount() ? FStore.Line(FStore.Clamp(FCaret).line).left(FCaret.column) : QString();
    case Qt::ImTextAfterCursor:
        return lineCount() ? FStore.Line(FStore.Clamp(FCaret).line).mid(FCaret.column) : QString();
    case Qt::ImAbsolutePosition:
        return qlonglong(FStore.Offset(FCaret));
    case Qt::ImCurrentSelection:
        return selectedText();
    case Qt::ImHints:
        return int(Qt::ImhMultiLine);
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

bool TLogView::event(QEvent *event)
{
    // Tab types a tab, as in a plain text box, instead of moving the focus.
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            Edit(QStringLiteral("\t"), TEditHistory::Kind::Typing);
            return true;
        }
    }
    // Editing keys are this box's own, not shortcuts of the window around it.
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool typed = !key->text().isEmpty() && key->text().at(0).isPrint()
            && !(key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
        if (typed || key == QKeySequence::Copy || key == QKeySequence::Cut || key == QKeySequence::Paste
            || key == QKeySequence::SelectAll || isUndoKey(key) || isRedoKey(key) || key->key() == Qt::Key_Home
            || key->key() == Qt::Key_End
            || key->key() == Qt::Key_Left || key->key() == Qt::Key_Right) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}
