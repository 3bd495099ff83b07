#include "LogView.h"

// The log box's scrolling: the rows the scroll bar counts, the wheel and zoom, the width the
// lines wrap at, and keeping the caret on screen.

#include <algorithm>

// Qt
#include <QApplication>
#include <QScrollBar>
#include <QWheelEvent>

#include "LineLayout.h"

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
