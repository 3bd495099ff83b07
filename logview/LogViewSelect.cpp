#include "LogView.h"

// The log box's caret and selection: places under the mouse and on screen, caret moves by
// character, word and row, dragging and clicking to select, the primary selection and the
// context menu.

#include <algorithm>

// Qt
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QStyleHints>

#include "LineLayout.h"
#include "LogViewAccessible.h"

namespace {

constexpr int DragScrollMs = 50;

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c.isMark();
}

} // namespace

// ---- caret and selection -------------------------------------------------------------------

void TLogView::setCaret(TLogPosition caret, bool keepAnchor)
{
    if (!FPreedit.isEmpty())
        DropLayoutOf(FCaret.line);
    FCaret = FStore.Clamp(caret);
    if (!FPreedit.isEmpty())
        DropLayoutOf(FCaret.line);
    if (!keepAnchor)
        FAnchor = FCaret;
    FGoalX = -1;
    FCaretOn = true;
    FHistory.Close();
    viewport()->update();
    if (TLogViewAccessible::Listening())
        TLogViewAccessible::CaretMoved(this);
}

QString TLogView::selectedText() const
{
    return FStore.Text(FAnchor, FCaret);
}

void TLogView::selectAll()
{
    FHistory.Close();
    FAnchor = {};
    FCaret = FStore.End();
    FGoalX = -1;
    viewport()->update();
    if (TLogViewAccessible::Listening())
        TLogViewAccessible::CaretMoved(this);
}

TLogPosition TLogView::PositionAt(const QPoint &point) const
{
    if (lineCount() == 0)
        return {};
    int y = -FTopOffset;
    qsizetype i = FTop;
    while (i < lineCount() - 1 && point.y() >= y + HeightOf(i))
        y += HeightOf(i++);
    const TLineLayout &layout = LayoutOf(i);
    if (point.y() < y)
        return {i, 0};
    const int row = std::clamp((point.y() - y) / LineSpacing(), 0, layout.Rows() - 1);
    qsizetype column = layout.ColumnAt(row, point.x() - Margin);
    if (Composing(i) && column > FCaret.column)
        column = std::max(FCaret.column, column - FPreedit.size());
    return {i, column};
}

QRect TLogView::CaretRectOf(TLogPosition p) const
{
    if (lineCount() == 0)
        return QRect(Margin, 0, 1, LineSpacing());
    p = FStore.Clamp(p);
    int y = -FTopOffset;
    for (qsizetype i = FTop; i < p.line && y < viewport()->height(); ++i)
        y += HeightOf(i);
    if (p.line < FTop)
        return {};
    const TLineLayout &layout = LayoutOf(p.line);
    const qsizetype column = ShownColumn(p) + (Composing(p.line) && p == FCaret ? FPreeditCursor : 0);
    return QRect(Margin + int(layout.XOf(column)), y + layout.RowOf(column) * LineSpacing(), 1,
                 LineSpacing());
}

TLogPosition TLogView::VisualLineMove(TLogPosition from, int rows, qreal x) const
{
    if (lineCount() == 0)
        return {};
    qsizetype line = from.line;
    int row = LayoutOf(line).RowOf(from.column) + rows;
    while (row < 0 && line > 0)
        row += LayoutOf(--line).Rows();
    while (row >= LayoutOf(line).Rows() && line < lineCount() - 1)
        row -= LayoutOf(line++).Rows();
    if (row < 0)
        return {line, 0};
    if (row >= LayoutOf(line).Rows())
        return {line, FStore.LineSize(line)};
    return {line, LayoutOf(line).ColumnAt(row, x)};
}

TLogPosition TLogView::WordStart(TLogPosition p) const
{
    const QString text = FStore.Line(p.line);
    qsizetype c = p.column;
    while (c > 0 && !isWordChar(text[c - 1]))
        --c;
    while (c > 0 && isWordChar(text[c - 1]))
        --c;
    return {p.line, c};
}

TLogPosition TLogView::WordEnd(TLogPosition p) const
{
    const QString text = FStore.Line(p.line);
    qsizetype c = p.column;
    while (c < text.size() && !isWordChar(text[c]))
        ++c;
    while (c < text.size() && isWordChar(text[c]))
        ++c;
    return {p.line, c};
}

TLogPosition TLogView::MovedCaret(int key, bool word) const
{
    if (lineCount() == 0)
        return {};
    const TLogPosition p = FStore.Clamp(FCaret);
    const QString text = FStore.Line(p.line);
    const int page = std::max(1, viewport()->height() / LineSpacing() - 1);
    const qreal goalX = FGoalX >= 0 ? FGoalX : LayoutOf(p.line).XOf(p.column);
    switch (key) {
    case Qt::Key_Left:
        if (p.column == 0)
            return p.line > 0 ? TLogPosition{p.line - 1, FStore.LineSize(p.line - 1)} : p;
        if (word)
            return WordStart(p);
        return {p.line, LayoutOf(p.line).PreviousCursor(p.column)};
    case Qt::Key_Right:
        if (p.column == text.size())
            return p.line < lineCount() - 1 ? TLogPosition{p.line + 1, 0} : p;
        if (word)
            return WordEnd(p);
        return {p.line, LayoutOf(p.line).NextCursor(p.column)};
    case Qt::Key_Up:
        return VisualLineMove(p, -1, goalX);
    case Qt::Key_Down:
        return VisualLineMove(p, 1, goalX);
    case Qt::Key_PageUp:
        return VisualLineMove(p, -page, goalX);
    case Qt::Key_PageDown:
        return VisualLineMove(p, page, goalX);
    case Qt::Key_Home:
    case Qt::Key_End: {
        if (word)
            return key == Qt::Key_Home ? TLogPosition{} : FStore.End();
        const TLineLayout &layout = LayoutOf(p.line);
        const int row = layout.RowOf(p.column);
        const qsizetype start = layout.RowStart(row);
        if (key == Qt::Key_Home)
            return {p.line, start};
        qsizetype end = layout.RowEnd(row);
        // A wrapped row ends before the blank it broke at, not on the next row.
        if (end < text.size() && end > start && text[end - 1].isSpace())
            --end;
        return {p.line, end};
    }
    default:
        return p;
    }
}

// ---- mouse ---------------------------------------------------------------------------------

void TLogView::mousePressEvent(QMouseEvent *event)
{
    // A click ends the composing, as in a plain text box.
    if (!FPreedit.isEmpty())
        QGuiApplication::inputMethod()->commit();
    if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        event->accept();
        return;
    }
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    const bool tripleClick = FDoubleClicked && lineCount() > 0
        && event->timestamp() - FDoubleClickTime < quint64(QGuiApplication::styleHints()->mouseDoubleClickInterval())
        && (point - FDoubleClickPoint).manhattanLength() < QApplication::startDragDistance();
    FDoubleClicked = false;
    if (tripleClick) {
        // The whole line, without its break.
        const qsizetype line = PositionAt(FDoubleClickPoint).line;
        FAnchor = {line, 0};
        setCaret({line, FStore.LineSize(line)}, true);
        FLineAnchor = line;
        FDragging = true;
        return;
    }
    FLineAnchor = -1;
    setCaret(PositionAt(point), event->modifiers() & Qt::ShiftModifier);
    FDragging = true;
}

void TLogView::DragSelect(const QPoint &point)
{
    const TLogPosition p = PositionAt(point);
    if (FLineAnchor < 0 || lineCount() == 0) {
        setCaret(p, true);
        return;
    }
    const qsizetype anchor = std::min(FLineAnchor, lineCount() - 1);
    if (p.line >= anchor) {
        FAnchor = {anchor, 0};
        setCaret({p.line, FStore.LineSize(p.line)}, true);
    } else {
        FAnchor = {anchor, FStore.LineSize(anchor)};
        setCaret({p.line, 0}, true);
    }
}

void TLogView::DragTo(const QPoint &point)
{
    FDragPoint = point;
    DragSelect(point);
    if (point.y() < 0 || point.y() >= viewport()->height()) {
        if (!FDragScroll.isActive())
            FDragScroll.start(DragScrollMs, this);
    } else {
        FDragScroll.stop();
    }
}

void TLogView::mouseMoveEvent(QMouseEvent *event)
{
    if (FDragging)
        DragTo(event->position().toPoint());
}

void TLogView::mouseReleaseEvent(QMouseEvent *event)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (event->button() == Qt::MiddleButton && clipboard->supportsSelection()) {
        // Pasted where the button went up, as X11 programs do.
        setCaret(PositionAt(event->position().toPoint()));
        insertText(clipboard->text(QClipboard::Selection));
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    FDragging = false;
    FDragScroll.stop();
    SetPrimarySelection();
}

void TLogView::SetPrimarySelection()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void TLogView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || lineCount() == 0)
        return;
    FDoubleClicked = true;
    FDoubleClickTime = event->timestamp();
    FDoubleClickPoint = event->position().toPoint();
    const TLogPosition p = PositionAt(event->position().toPoint());
    const QString text = FStore.Line(p.line);
    TLogPosition start = p;
    TLogPosition end = p;
    while (start.column > 0 && isWordChar(text[start.column - 1]))
        --start.column;
    while (end.column < text.size() && isWordChar(text[end.column]))
        ++end.column;
    // Between two words or on a sign: that one character.
    if (start == end && end.column < text.size())
        ++end.column;
    FAnchor = start;
    setCaret(end, true);
}

// ---- context menu --------------------------------------------------------------------------

QMenu *TLogView::ContextMenu()
{
    auto *menu = new QMenu(this);
    // The entries of the toolkit's own menu of a plain text box, with its texts in the toolkit's
    // translations: the same words as the send box's menu.
    const bool shortcuts = !QCoreApplication::testAttribute(Qt::AA_DontShowShortcutsInContextMenus)
        && QGuiApplication::styleHints()->showShortcutsInContextMenus();
    const auto add = [menu, shortcuts](const char *text, QKeySequence::StandardKey key, bool enabled, auto slot) {
        QString caption = QCoreApplication::translate("QWidgetTextControl", text);
        const QKeySequence shortcut(key);
        if (shortcuts && !shortcut.isEmpty())
            caption += u'\t' + shortcut.toString(QKeySequence::NativeText);
        QAction *action = menu->addAction(caption, slot);
        action->setEnabled(enabled);
        return action;
    };
    const bool selection = hasSelection();
    add("&Undo", QKeySequence::Undo, isUndoAvailable(), [this] { undo(); });
    add("&Redo", QKeySequence::Redo, isRedoAvailable(), [this] { redo(); });
    menu->addSeparator();
    add("Cu&t", QKeySequence::Cut, selection, [this] { cut(); });
    add("&Copy", QKeySequence::Copy, selection, [this] { copy(); });
    add("&Paste", QKeySequence::Paste, !QGuiApplication::clipboard()->text().isEmpty(), [this] { paste(); });
    add("Delete", QKeySequence::UnknownKey, selection, [this] { Edit(QString(), TEditHistory::Kind::Other); });
    menu->addSeparator();
    add("Select All", QKeySequence::SelectAll, lineCount() > 0, [this] { selectAll(); });
    emit menuAboutToShow(menu);
    return menu;
}

void TLogView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = ContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
