#include "LogViewAccessible.h"

#include <algorithm>

// Qt
#include <QTextBoundaryFinder>

#include "LogView.h"

namespace {

// An assistive tool gets the whole text as the value only of a log this small.
constexpr qsizetype MaxValueChars = 1 << 20;

int toInt(qsizetype n)
{
    return int(std::clamp<qsizetype>(n, INT_MIN, INT_MAX));
}

QString none(int *startOffset, int *endOffset)
{
    *startOffset = *endOffset = -1;
    return {};
}

} // namespace

namespace {

QAccessible::UpdateHandler sinkForTests = nullptr;

void tell(QAccessibleEvent *event)
{
    if (sinkForTests)
        sinkForTests(event);
    else
        QAccessible::updateAccessibility(event);
}

} // namespace

bool TLogViewAccessible::Listening()
{
    return sinkForTests || QAccessible::isActive();
}

void TLogViewAccessible::SetEventSinkForTests(QAccessible::UpdateHandler sink)
{
    sinkForTests = sink;
}

TLogViewAccessible::TLogViewAccessible(TLogView *view) : QAccessibleWidget(view, QAccessible::EditableText) {}

QAccessibleInterface *TLogViewAccessible::Factory(const QString &className, QObject *object)
{
    if (className == QLatin1String("TLogView") && object && object->isWidgetType())
        return new TLogViewAccessible(static_cast<TLogView *>(object));
    return nullptr;
}

void TLogViewAccessible::CaretMoved(TLogView *view)
{
    const TLogStore &store = view->FStore;
    const int caret = toInt(store.Offset(view->FCaret));
    if (view->hasSelection()) {
        QAccessibleTextSelectionEvent event(view, toInt(store.Offset(std::min(view->FAnchor, view->FCaret))),
                                            toInt(store.Offset(std::max(view->FAnchor, view->FCaret))));
        event.setCursorPosition(caret);
        tell(&event);
    } else {
        QAccessibleTextCursorEvent event(view, caret);
        tell(&event);
    }
}

void TLogViewAccessible::Inserted(TLogView *view, TLogPosition from, TLogPosition to)
{
    QAccessibleTextInsertEvent event(view, toInt(view->FStore.Offset(from)), view->FStore.Text(from, to));
    tell(&event);
}

void TLogViewAccessible::Removed(TLogView *view, TLogPosition from, TLogPosition to)
{
    QAccessibleTextRemoveEvent event(view, toInt(view->FStore.Offset(from)), view->FStore.Text(from, to));
    tell(&event);
}

void TLogViewAccessible::Cleared(TLogView *view)
{
    // The text that went, as far as the value of a small log holds it.
    const TLogStore &store = view->FStore;
    const QString gone = store.TextSize() <= MaxValueChars ? store.Text() : QString();
    QAccessibleTextRemoveEvent event(view, 0, gone);
    tell(&event);
}

void TLogViewAccessible::Appended(TLogView *view, qsizetype firstLine)
{
    const TLogStore &store = view->FStore;
    if (firstLine >= store.LineCount())
        return;
    // From the end of the line before, so the text starts with the line feed that was added.
    const TLogPosition from = firstLine > 0 ? TLogPosition{firstLine - 1, store.LineSize(firstLine - 1)}
                                            : TLogPosition{};
    Inserted(view, from, store.End());
}

TLogView *TLogViewAccessible::View() const
{
    return static_cast<TLogView *>(widget());
}

QAccessible::State TLogViewAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    s.editable = true;
    s.multiLine = true;
    s.selectableText = true;
    return s;
}

QString TLogViewAccessible::text(QAccessible::Text t) const
{
    if (t != QAccessible::Value)
        return QAccessibleWidget::text(t);
    return View()->characterCount() <= MaxValueChars ? View()->toPlainText() : QString();
}

void *TLogViewAccessible::interface_cast(QAccessible::InterfaceType t)
{
    if (t == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    if (t == QAccessible::EditableTextInterface)
        return static_cast<QAccessibleEditableTextInterface *>(this);
    return QAccessibleWidget::interface_cast(t);
}

int TLogViewAccessible::OffsetOf(TLogPosition p) const
{
    return toInt(View()->FStore.Offset(p));
}

TLogPosition TLogViewAccessible::PositionOf(int offset) const
{
    return View()->FStore.PositionOf(offset);
}

// ---- selection and caret -------------------------------------------------------------------

void TLogViewAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    const TLogView *view = View();
    if (selectionIndex != 0 || !view->hasSelection()) {
        *startOffset = *endOffset = 0;
        return;
    }
    *startOffset = OffsetOf(std::min(view->FAnchor, view->FCaret));
    *endOffset = OffsetOf(std::max(view->FAnchor, view->FCaret));
}

int TLogViewAccessible::selectionCount() const
{
    return View()->hasSelection() ? 1 : 0;
}

void TLogViewAccessible::Select(int startOffset, int endOffset)
{
    TLogView *view = View();
    view->setCaret(PositionOf(startOffset));
    view->setCaret(PositionOf(endOffset), true);
}

void TLogViewAccessible::addSelection(int startOffset, int endOffset)
{
    // One selection only: a new one takes the old one's place.
    Select(startOffset, endOffset);
}

void TLogViewAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        View()->setCaret(View()->caret());
}

void TLogViewAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        Select(startOffset, endOffset);
}

int TLogViewAccessible::cursorPosition() const
{
    return OffsetOf(View()->caret());
}

void TLogViewAccessible::setCursorPosition(int position)
{
    View()->setCaret(PositionOf(position));
}

// ---- text ----------------------------------------------------------------------------------

int TLogViewAccessible::characterCount() const
{
    return toInt(View()->FStore.TextSize());
}

QString TLogViewAccessible::text(int startOffset, int endOffset) const
{
    if (endOffset <= startOffset)
        return {};
    return View()->FStore.Text(PositionOf(startOffset), PositionOf(endOffset));
}

void TLogViewAccessible::UnitAt(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const
{
    const TLogStore &store = View()->FStore;
    const int size = characterCount();
    if (type == QAccessible::NoBoundary) {
        *start = 0;
        *end = size;
        return;
    }
    // Units never span lines: the line with its line feed is the window to look in.
    const qsizetype line = store.PositionOf(offset).line;
    const int lineStart = OffsetOf({line, 0});
    QString window = store.Line(line);
    if (line < store.LineCount() - 1)
        window += u'\n';
    if (type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary) {
        *start = lineStart;
        *end = lineStart + toInt(window.size());
        return;
    }
    const int at = offset - lineStart;
    if (at >= window.size()) {
        *start = *end = offset;
        return;
    }
    const QTextBoundaryFinder::BoundaryType kind = type == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
        : type == QAccessible::SentenceBoundary                                      ? QTextBoundaryFinder::Sentence
                                                                                     : QTextBoundaryFinder::Grapheme;
    QTextBoundaryFinder finder(kind, window);
    // The boundary at or before the character, then the next one after it.
    finder.setPosition(at);
    const qsizetype from = finder.isAtBoundary() ? at : finder.toPreviousBoundary();
    finder.setPosition(at);
    qsizetype to = finder.toNextBoundary();
    if (to < 0)
        to = window.size();
    *start = lineStart + toInt(std::max<qsizetype>(from, 0));
    *end = lineStart + toInt(to);
}

QString TLogViewAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                         int *endOffset) const
{
    if (offset < 0 || offset > characterCount())
        return none(startOffset, endOffset);
    // At the very end is the last unit, as a caret after the last character reads it.
    if (offset == characterCount() && offset > 0 && boundaryType != QAccessible::NoBoundary)
        --offset;
    UnitAt(offset, boundaryType, startOffset, endOffset);
    return text(*startOffset, *endOffset);
}

QString TLogViewAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                             int *startOffset, int *endOffset) const
{
    if (offset <= 0 || offset > characterCount() || boundaryType == QAccessible::NoBoundary)
        return none(startOffset, endOffset);
    // Before the unit at offset; at the very end, before the end.
    int start = offset;
    int end = offset;
    if (offset < characterCount())
        UnitAt(offset, boundaryType, &start, &end);
    if (start <= 0)
        return none(startOffset, endOffset);
    UnitAt(start - 1, boundaryType, startOffset, endOffset);
    return text(*startOffset, *endOffset);
}

QString TLogViewAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                            int *startOffset, int *endOffset) const
{
    if (offset < 0 || offset >= characterCount() || boundaryType == QAccessible::NoBoundary)
        return none(startOffset, endOffset);
    int start = 0;
    int end = 0;
    UnitAt(offset, boundaryType, &start, &end);
    if (end >= characterCount())
        return none(startOffset, endOffset);
    UnitAt(end, boundaryType, startOffset, endOffset);
    return text(*startOffset, *endOffset);
}

QString TLogViewAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    // One plain format throughout.
    *startOffset = 0;
    *endOffset = std::max(characterCount(), offset);
    return {};
}

// ---- geometry ------------------------------------------------------------------------------

QRect TLogViewAccessible::characterRect(int offset) const
{
    const TLogView *view = View();
    if (view->lineCount() == 0 || offset < 0 || offset >= characterCount())
        return {};
    const TLogPosition p = PositionOf(offset);
    const QRect caret = view->CaretRectOf(p);
    if (caret.isNull())
        return {};
    QRect rect = caret;
    const QRect next = view->CaretRectOf({p.line, p.column + 1});
    const bool sameRow = p.column < view->lineSize(p.line) && next.top() == caret.top();
    rect.setRight(sameRow && next.left() > caret.left() ? next.left() - 1
                                                        : caret.left() + view->fontMetrics().averageCharWidth() - 1);
    return QRect(view->viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

int TLogViewAccessible::offsetAtPoint(const QPoint &point) const
{
    const TLogView *view = View();
    const QPoint at = view->viewport()->mapFromGlobal(point);
    if (!view->viewport()->rect().contains(at))
        return -1;
    return OffsetOf(view->PositionAt(at));
}

void TLogViewAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    TLogView *view = View();
    view->setCaret(PositionOf(endIndex));
    view->EnsureCaretVisible();
    view->setCaret(PositionOf(startIndex));
    view->EnsureCaretVisible();
}

// ---- editing -------------------------------------------------------------------------------

void TLogViewAccessible::deleteText(int startOffset, int endOffset)
{
    replaceText(startOffset, endOffset, QString());
}

void TLogViewAccessible::insertText(int offset, const QString &text)
{
    View()->setCaret(PositionOf(offset));
    View()->insertText(text);
}

void TLogViewAccessible::replaceText(int startOffset, int endOffset, const QString &text)
{
    Select(startOffset, endOffset);
    TLogView *view = View();
    if (!text.isEmpty()) {
        view->insertText(text);
    } else if (view->hasSelection()) {
        view->Edit(QString(), TEditHistory::Kind::Other);
    }
}
