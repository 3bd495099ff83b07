#include "LogView.h"

#include <algorithm>
#include <vector>

// Qt
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextCharFormat>
#include <QWheelEvent>

#include "LineLayout.h"
#include "LogViewAccessible.h"

namespace {

// While lines stream in, the box shows them at most this often: often enough to look
// immediate, seldom enough that a flood pays for a few repaints a second, not one per line.
constexpr int ShowPeriodMs = 40;
// Space left and right of the text, as a plain text box leaves it.
constexpr int Margin = 4;
// Lines kept laid out around the screen before the rest are dropped.
constexpr qsizetype LayoutSlack = 32;
constexpr qsizetype MaxAwayChars = 128 * 1024;
constexpr int DragScrollMs = 50;

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c.isMark();
}

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

TLogView::TLogView(QWidget *parent) : QAbstractScrollArea(parent)
{
    static const bool factoryInstalled = (QAccessible::installFactory(TLogViewAccessible::Factory), true);
    Q_UNUSED(factoryInstalled);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setCursor(Qt::IBeamCursor);
    verticalScrollBar()->setSingleStep(1);
    DropLayouts();
}

TLogView::~TLogView() = default;

// ---- lines ---------------------------------------------------------------------------------

void TLogView::AppendLine(const QString &text)
{
    const qsizetype first = lineCount();
    FStore.Append(text);
    for (qsizetype i = first; i < lineCount(); ++i)
        FRows.Append(EstimatedRows(FStore.LineSize(i)));
    FAppendsWaiting = true;
    ScheduleShow();
}

void TLogView::AppendReceived(const QTime &time, const QByteArray &bytes, bool hex, int codePage)
{
    const qsizetype first = lineCount();
    FStore.AppendReceived(time, bytes, hex, codePage);
    for (qsizetype i = first; i < lineCount(); ++i)
        FRows.Append(EstimatedRows(FStore.LineSize(i)));
    FAppendsWaiting = true;
    ScheduleShow();
}

void TLogView::AdoptLines(TLogStore &&lines)
{
    FStore = std::move(lines);
    DropLayouts();
    FAppendsWaiting = true;
    ScheduleShow();
}

void TLogView::Clear()
{
    if (TLogViewAccessible::Listening())
        TLogViewAccessible::Cleared(this);
    FStore = TLogStore();
    FHistory = TEditHistory();
    FLineBase = 0;
    FAnnouncedLines = 0;
    FCaret = FAnchor = TLogPosition();
    FTop = 0;
    FTopOffset = 0;
    FFollowEnd = true;
    FGoalX = -1;
    FDragging = false;
    FLineAnchor = -1;
    FAppendsWaiting = false;
    FShowTimer.stop();
    DropLayouts();
    SyncScrollBar();
    viewport()->update();
    emit appendsShown();
    if (TLogViewAccessible::Listening())
        TLogViewAccessible::CaretMoved(this);
}

void TLogView::ReplaceFront(qsizetype count, const QString &line)
{
    count = std::min(count, lineCount());
    FHistory.DropBefore(FLineBase + count);
    FLineBase += count - 1;
    FStore.ReplaceFront(count, line);
    // Positions in the dropped lines go to the start of the first line kept.
    const auto shift = [this, count](TLogPosition &p) {
        p = p.line < count ? TLogPosition{std::min<qsizetype>(1, lineCount() - 1), 0}
                           : TLogPosition{p.line - count + 1, p.column};
    };
    shift(FCaret);
    shift(FAnchor);
    if (FTop < count) {
        FTop = 0;
        FTopOffset = 0;
    } else {
        FTop -= count - 1;
    }
    ReplaceLayouts(0, count - 1, 1);
    SyncScrollBar();
    viewport()->update();
}

void TLogView::ScheduleShow()
{
    if (FShowTimer.isActive())
        return;
    const qint64 since = FLastShow.isValid() ? FLastShow.elapsed() : ShowPeriodMs;
    FShowTimer.start(int(std::max<qint64>(0, ShowPeriodMs - since)), this);
}

void TLogView::ShowAppended()
{
    FShowTimer.stop();
    FLastShow.start();
    FAppendsWaiting = false;
    if (TLogViewAccessible::Listening() && FAnnouncedLines < lineCount())
        TLogViewAccessible::Appended(this, std::max<qsizetype>(FAnnouncedLines, 0));
    FAnnouncedLines = lineCount();
    SyncScrollBar();
    viewport()->update();
    emit appendsShown();
}

// ---- layout --------------------------------------------------------------------------------

int TLogView::LineSpacing() const
{
    return std::max(1, fontMetrics().lineSpacing());
}

int TLogView::WrapWidth() const
{
    return std::max(1, viewport()->width() - 2 * Margin);
}

const TLineLayout &TLogView::LayoutOf(qsizetype line) const
{
    const int width = WrapWidth();
    std::unique_ptr<TLineLayout> &slot = FLayouts[line];
    if (!slot || slot->Width() != width) {
        const QString text = FStore.Line(line);
        slot = std::make_unique<TLineLayout>(
            Composing(line) ? QString(text).insert(std::min(FCaret.column, text.size()), FPreedit) : text, font(),
            width, LineSpacing());
        FRows.Set(line, slot->Rows());
    }
    return *slot;
}

qsizetype TLogView::ShownColumn(TLogPosition p) const
{
    if (!Composing(p.line) || p.column <= FCaret.column)
        return p.column;
    return p.column + FPreedit.size();
}

void TLogView::DropLayoutOf(qsizetype line)
{
    FLayouts.erase(line);
}

int TLogView::HeightOf(qsizetype line) const
{
    return LayoutOf(line).Rows() * LineSpacing();
}

int TLogView::EstimatedRows(qsizetype characters) const
{
    if (characters <= FCharsPerRow)
        return 1;
    return int(std::min<qsizetype>(INT_MAX, (characters + FCharsPerRow - 1) / FCharsPerRow));
}

void TLogView::DropLayouts()
{
    FLayouts.clear();
    FEstimateWidth = WrapWidth();
    FCharsPerRow = std::max(1, FEstimateWidth / std::max(1, fontMetrics().averageCharWidth()));
    FRows.Reset(lineCount(), [this](qsizetype line) { return EstimatedRows(FStore.LineSize(line)); });
}

void TLogView::ReplaceLayouts(qsizetype first, qsizetype last, qsizetype lines)
{
    // Lines after the replaced ones keep their layouts under their new numbers: a keystroke
    // lays out only the line it changes.
    const qsizetype shift = lines - (last - first + 1);
    // Every edit and trim passes here: lines appended are what is beyond.
    FAnnouncedLines += shift;
    decltype(FLayouts) kept;
    for (auto &[line, layout] : FLayouts) {
        if (line < first)
            kept.emplace(line, std::move(layout));
        else if (line > last)
            kept.emplace(line + shift, std::move(layout));
    }
    FLayouts = std::move(kept);
    std::vector<int> rows;
    for (qsizetype line = first; line < first + lines; ++line)
        rows.push_back(EstimatedRows(FStore.LineSize(line)));
    FRows.Replace(first, last, rows);
}

void TLogView::DropLayoutsAwayFrom(qsizetype first, qsizetype last)
{
    // Off screen only a few, and only short ones: a wrapped 64 KiB line holds megabytes of glyphs.
    const auto away = [first, last](qsizetype line) { return line < first || line > last; };
    qsizetype awayChars = 0;
    for (const auto &[line, layout] : FLayouts)
        if (away(line))
            awayChars += layout->TextSize();
    const bool tooMuch = awayChars > MaxAwayChars;
    if (!tooMuch && qsizetype(FLayouts.size()) <= (last - first + 1) + 2 * LayoutSlack)
        return;
    for (auto it = FLayouts.begin(); it != FLayouts.end();) {
        if (it->first < first - LayoutSlack || it->first > last + LayoutSlack || (tooMuch && away(it->first)))
            it = FLayouts.erase(it);
        else
            ++it;
    }
}

// ---- scrolling -----------------------------------------------------------------------------

void TLogView::EndPosition(qsizetype &top, int &offset) const
{
    const int height = viewport()->height();
    int below = 0;
    for (qsizetype i = lineCount() - 1; i >= 0; --i) {
        const int h = HeightOf(i);
        if (below + h >= height) {
            top = i;
            offset = below + h - height;
            return;
        }
        below += h;
    }
    top = 0;
    offset = 0;
}

void TLogView::ScrollTo(qsizetype top, int offset)
{
    const qsizetype last = lineCount() - 1;
    top = std::clamp<qsizetype>(top, 0, std::max<qsizetype>(last, 0));
    while (offset < 0 && top > 0)
        offset += HeightOf(--top);
    offset = std::max(offset, 0);
    while (top < last && offset >= HeightOf(top))
        offset -= HeightOf(top++);
    // At the end when the last line's bottom is on screen: only the lines on screen are laid
    // out to tell, not those at the end of a log scrolled far up.
    const int height = viewport()->height();
    int y = -offset;
    qsizetype i = top;
    while (i <= last && y < height)
        y += HeightOf(i++);
    FFollowEnd = i > last && y <= height;
    if (FFollowEnd)
        EndPosition(top, offset);
    FTop = top;
    FTopOffset = offset;
    SyncScrollBar();
    viewport()->update();
}

qsizetype TLogView::lastVisibleLine() const
{
    const int height = viewport()->height();
    int y = -FTopOffset;
    for (qsizetype i = FTop; i < lineCount(); ++i) {
        y += HeightOf(i);
        if (y >= height)
            return i;
    }
    return lineCount() - 1;
}

void TLogView::ScrollByPixels(int dy)
{
    ScrollTo(FTop, FTopOffset + dy);
}

void TLogView::SyncScrollBar()
{
    QScrollBar *bar = verticalScrollBar();
    const int height = viewport()->height();
    const int spacing = LineSpacing();
    // Following, the lines at the end are laid out (they are on screen): the range is exact
    // there. Scrolled up, lines appended since count by their estimates.
    if (FFollowEnd && isVisible())
        EndPosition(FTop, FTopOffset);
    // The end need not be a whole number of rows from the top: the bar's end stands for the end
    // and its start for the top, each exactly, and a place between them for a value between, so
    // the thumb is at either end exactly when that end is shown. A log within its bound of
    // characters has fewer rows than an int counts.
    const qint64 end = std::max<qint64>(0, FRows.Total() * spacing - height);
    const auto maximum = int(std::min<qint64>(INT_MAX, (end + spacing - 1) / spacing));
    int value = maximum;
    if (!FFollowEnd) {
        const qint64 place = FRows.RowOf(FTop) * spacing + FTopOffset;
        value = int(std::clamp<qint64>((place + spacing - 1) / spacing, 0, std::max(0, maximum - 1)));
    }
    FSyncingBar = true;
    bar->setPageStep(std::max(1, height / spacing));
    bar->setRange(0, maximum);
    bar->setValue(value);
    FBarValue = value;
    FSyncingBar = false;
    if (isVisible())
        DropLayoutsAwayFrom(FTop, lastVisibleLine());
}

void TLogView::scrollContentsBy(int, int)
{
    if (!FSyncingBar)
        ScrollToRow(verticalScrollBar()->value());
}

void TLogView::ScrollToRow(int value)
{
    const QScrollBar *bar = verticalScrollBar();
    if (value >= bar->maximum()) {
        FFollowEnd = true;
        SyncScrollBar();
        viewport()->update();
        return;
    }
    // Arrows, page clicks and a thumb moved a little: that many rows from the view as it is,
    // which lays out the rows it comes to. Further: the row as the estimates place it.
    const int rows = value - FBarValue;
    if (std::abs(rows) <= bar->pageStep()) {
        ScrollByPixels(rows * LineSpacing());
        return;
    }
    qint64 lineRow = 0;
    const qsizetype line = FRows.LineAt(value, &lineRow);
    ScrollTo(line, int(std::min<qint64>(INT_MAX / 2, (value - lineRow) * LineSpacing())));
}

void TLogView::wheelEvent(QWheelEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        ZoomBy(event->angleDelta().y() / 120.0);
        event->accept();
        return;
    }
    int dy = 0;
    if (!event->pixelDelta().isNull())
        dy = -event->pixelDelta().y();
    else
        dy = -event->angleDelta().y() * QApplication::wheelScrollLines() * LineSpacing() / 120;
    if (dy == 0) {
        event->ignore();
        return;
    }
    ScrollByPixels(dy);
    event->accept();
}

void TLogView::ZoomBy(qreal points)
{
    QFont f = font();
    // A font sized in pixels grows by pixels.
    if (f.pointSizeF() > 0) {
        const qreal size = f.pointSizeF() + points;
        if (size <= 0)
            return;
        f.setPointSizeF(size);
    } else {
        const int size = f.pixelSize() + qRound(points);
        if (size <= 0)
            return;
        f.setPixelSize(size);
    }
    // Lines are laid out anew (see changeEvent).
    setFont(f);
}

void TLogView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (WrapWidth() != FEstimateWidth)
        DropLayouts();
    if (FFollowEnd)
        SyncScrollBar();
    else
        ScrollTo(FTop, FTopOffset);
}

void TLogView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        DropLayouts();
        SyncScrollBar();
        viewport()->update();
    }
}

void TLogView::EnsureCaretVisible()
{
    if (lineCount() == 0)
        return;
    const int caretY = LayoutOf(FCaret.line).RowOf(FCaret.column) * LineSpacing();
    const int spacing = LineSpacing();
    const int height = viewport()->height();
    int y = -FTopOffset;
    qsizetype i = FTop;
    for (; i < FCaret.line && y < height; ++i)
        y += HeightOf(i);
    if (i == FCaret.line && y + caretY >= 0 && y + caretY + spacing <= height)
        return;
    if (FCaret.line < FTop || (i == FCaret.line && y + caretY < 0))
        ScrollTo(FCaret.line, caretY);
    else
        ScrollTo(FCaret.line, caretY + spacing - height);
}

// ---- painting ------------------------------------------------------------------------------

void TLogView::paintEvent(QPaintEvent *event)
{
    if (FFollowEnd)
        EndPosition(FTop, FTopOffset);
    QPainter p(viewport());
    p.setPen(palette().color(QPalette::Text));
    const QRect clip = event->rect();
    const int height = viewport()->height();
    TLogPosition from = FAnchor;
    TLogPosition to = FCaret;
    if (to < from)
        std::swap(from, to);
    QTextCharFormat selected;
    selected.setBackground(palette().brush(QPalette::Highlight));
    selected.setForeground(palette().brush(QPalette::HighlightedText));
    QTextCharFormat preedit;
    preedit.setFontUnderline(true);
    const bool caretShown = hasFocus() && FCaretOn;

    int y = -FTopOffset;
    qsizetype i = FTop;
    for (; i < lineCount() && y < height; ++i) {
        const int h = HeightOf(i);
        if (y + h > clip.top() && y < clip.bottom() + 1) {
            const TLineLayout &layout = LayoutOf(i);
            qsizetype start = 0;
            qsizetype end = 0;
            if (from != to && i >= from.line && i <= to.line) {
                start = i == from.line ? from.column : 0;
                end = i == to.line ? to.column : lineSize(i);
            }
            const QPointF at(Margin, y);
            start = ShownColumn({i, start});
            end = ShownColumn({i, end});
            const qsizetype preeditEnd = FCaret.column + (Composing(i) ? FPreedit.size() : 0);
            layout.Draw(&p, at, {{start, end, &selected}, {FCaret.column, preeditEnd, &preedit}}, clip);
            if (caretShown && i == FCaret.line && (!Composing(i) || FPreeditCursorShown))
                layout.DrawCursor(&p, at, FCaret.column + (Composing(i) ? FPreeditCursor : 0));
        }
        y += h;
    }
    if (caretShown && lineCount() == 0)
        p.fillRect(QRect(Margin, 0, 1, LineSpacing()), palette().color(QPalette::Text));
    DropLayoutsAwayFrom(FTop, i);
}

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

void TLogView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == FShowTimer.timerId()) {
        ShowAppended();
    } else if (event->timerId() == FDragScroll.timerId()) {
        ScrollByPixels(FDragPoint.y() < 0 ? -LineSpacing() : LineSpacing());
        DragSelect(FDragPoint);
    } else if (event->timerId() == FBlink.timerId()) {
        FCaretOn = !FCaretOn;
        viewport()->update(CaretRect().adjusted(-2, 0, 2, 0));
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

void TLogView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (flash > 0)
        FBlink.start(flash / 2, this);
    FCaretOn = true;
    viewport()->update();
}

void TLogView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    FBlink.stop();
    viewport()->update();
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
