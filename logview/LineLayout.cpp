#include "LineLayout.h"

#include <algorithm>

// Qt
#include <QPainter>
#include <QTextLayout>

namespace {

// As a plain text box sets its tab stops.
constexpr qreal TabStop = 80;
// Word wrapping looks for a break over the whole rest of a run without a blank, once per row:
// a run of 64 KiB took a second to lay out in a narrow box. A longer run than this is laid out
// on its own and breaks anywhere; where word wrapping would also have started it on a new row.
constexpr qsizetype MaxWordRun = 1024;

} // namespace

struct TLineLayout::Piece {
    qsizetype start = 0;
    int firstRow = 0;
    QTextLayout layout;
};

TLineLayout::TLineLayout(const QString &text, const QFont &font, int width, int rowHeight)
    : FWidth(width), FRowHeight(std::max(1, rowHeight)), FSize(text.size())
{
    // Piece boundaries: the starts and ends of the long runs.
    std::vector<std::pair<qsizetype, bool>> starts{{0, false}};
    for (qsizetype i = 0; i < text.size();) {
        if (text[i].isSpace()) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && !text[end].isSpace())
            ++end;
        if (end - i > MaxWordRun) {
            if (i > 0)
                starts.emplace_back(i, true);
            else
                starts.front().second = true;
            // The blanks after the run stay on its last row.
            while (end < text.size() && text[end].isSpace())
                ++end;
            if (end < text.size())
                starts.emplace_back(end, false);
        }
        i = end;
    }

    int row = 0;
    for (size_t k = 0; k < starts.size(); ++k) {
        const qsizetype start = starts[k].first;
        const qsizetype end = k + 1 < starts.size() ? starts[k + 1].first : text.size();
        auto piece = std::make_unique<Piece>();
        piece->start = start;
        piece->firstRow = row;
        QTextLayout &layout = piece->layout;
        layout.setText(text.mid(start, end - start));
        layout.setFont(font);
        QTextOption option;
        option.setWrapMode(starts[k].second ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere);
        option.setTabStopDistance(TabStop);
        layout.setTextOption(option);
        layout.setCacheEnabled(true);
        int y = 0;
        layout.beginLayout();
        for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine()) {
            l.setLineWidth(width);
            l.setPosition(QPointF(0, y));
            y += FRowHeight;
        }
        layout.endLayout();
        row += std::max(1, layout.lineCount());
        FPieces.push_back(std::move(piece));
    }
    FRows = std::max(1, row);
}

TLineLayout::~TLineLayout() = default;

const TLineLayout::Piece &TLineLayout::PieceOfColumn(qsizetype column) const
{
    // A column where a piece starts is that piece's.
    const auto it = std::upper_bound(FPieces.begin(), FPieces.end(), column,
                                     [](qsizetype c, const std::unique_ptr<Piece> &p) { return c < p->start; });
    return it == FPieces.begin() ? *FPieces.front() : **std::prev(it);
}

const TLineLayout::Piece &TLineLayout::PieceOfRow(int row) const
{
    const auto it = std::upper_bound(FPieces.begin(), FPieces.end(), row,
                                     [](int r, const std::unique_ptr<Piece> &p) { return r < p->firstRow; });
    return it == FPieces.begin() ? *FPieces.front() : **std::prev(it);
}

int TLineLayout::RowOf(qsizetype column) const
{
    const Piece &p = PieceOfColumn(column);
    const QTextLine l = p.layout.lineForTextPosition(int(column - p.start));
    return p.firstRow + (l.isValid() ? l.lineNumber() : 0);
}

qreal TLineLayout::XOf(qsizetype column) const
{
    const Piece &p = PieceOfColumn(column);
    const QTextLine l = p.layout.lineForTextPosition(int(column - p.start));
    return l.isValid() ? l.cursorToX(int(column - p.start)) : 0;
}

qsizetype TLineLayout::RowStart(int row) const
{
    const Piece &p = PieceOfRow(row);
    const QTextLine l = p.layout.lineAt(row - p.firstRow);
    return p.start + (l.isValid() ? l.textStart() : 0);
}

qsizetype TLineLayout::RowEnd(int row) const
{
    const Piece &p = PieceOfRow(row);
    const QTextLine l = p.layout.lineAt(row - p.firstRow);
    return p.start + (l.isValid() ? l.textStart() + l.textLength() : 0);
}

qsizetype TLineLayout::ColumnAt(int row, qreal x) const
{
    const Piece &p = PieceOfRow(row);
    const QTextLine l = p.layout.lineAt(std::clamp(row - p.firstRow, 0, std::max(0, p.layout.lineCount() - 1)));
    return p.start + (l.isValid() ? l.xToCursor(x) : 0);
}

qsizetype TLineLayout::PreviousCursor(qsizetype column) const
{
    const Piece &p = PieceOfColumn(column);
    if (column == p.start)
        return std::max<qsizetype>(0, column - 1);
    return p.start + p.layout.previousCursorPosition(int(column - p.start));
}

qsizetype TLineLayout::NextCursor(qsizetype column) const
{
    const Piece &p = PieceOfColumn(column);
    return std::min(FSize, p.start + p.layout.nextCursorPosition(int(column - p.start)));
}

void TLineLayout::Draw(QPainter *painter, const QPointF &at, std::initializer_list<Span> spans,
                       const QRectF &clip) const
{
    for (const auto &p : FPieces) {
        const QPointF origin(at.x(), at.y() + p->firstRow * FRowHeight);
        const qsizetype size = p->layout.text().size();
        const qreal height = std::max(1, p->layout.lineCount()) * FRowHeight;
        if (origin.y() + height < clip.top() || origin.y() > clip.bottom())
            continue;
        QList<QTextLayout::FormatRange> ranges;
        for (const Span &span : spans) {
            const qsizetype start = std::max(span.from, p->start) - p->start;
            const qsizetype end = std::min(span.to, p->start + size) - p->start;
            if (end > start)
                ranges.append({int(start), int(end - start), *span.format});
        }
        p->layout.draw(painter, origin, ranges, clip);
    }
}

void TLineLayout::DrawCursor(QPainter *painter, const QPointF &at, qsizetype column) const
{
    const Piece &p = PieceOfColumn(column);
    p.layout.drawCursor(painter, QPointF(at.x(), at.y() + p.firstRow * FRowHeight), int(column - p.start), 1);
}
