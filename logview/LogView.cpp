#include "LogView.h"

#include <algorithm>
#include <vector>

// Qt
#include <QAccessible>
#include <QGuiApplication>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextCharFormat>

#include "LineLayout.h"
#include "LogViewAccessible.h"

// The box as lines, laid out and painted; its scrolling, selection and editing are in
// LogViewScroll.cpp, LogViewSelect.cpp and LogViewEdit.cpp.

namespace {

// While lines stream in, the box shows them at most this often: often enough to look
// immediate, seldom enough that a flood pays for a few repaints a second, not one per line.
constexpr int ShowPeriodMs = 40;
// Lines kept laid out around the screen before the rest are dropped.
constexpr qsizetype LayoutSlack = 32;
constexpr qsizetype MaxAwayChars = 128 * 1024;

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
