#pragma once
// One line of the receive log laid out at a width: its rows, where a column is, and painting.

#include <initializer_list>
#include <memory>
#include <vector>

// Qt
#include <QtGlobal>

class QFont;
class QPainter;
class QPointF;
class QRectF;
class QString;
class QTextCharFormat;
class QTextLayout;

class TLineLayout {
public:
    // Words wrap as in a plain text box; a run of text without a blank longer than a few rows
    // starts on a row of its own and breaks anywhere.
    TLineLayout(const QString &text, const QFont &font, int width, int rowHeight);
    ~TLineLayout();
    TLineLayout(const TLineLayout &) = delete;
    TLineLayout &operator=(const TLineLayout &) = delete;

    int Width() const { return FWidth; }
    int Rows() const { return FRows; }
    qsizetype TextSize() const { return FSize; }

    // The row a caret at this column is on, and its x.
    int RowOf(qsizetype column) const;
    qreal XOf(qsizetype column) const;
    // The columns a row starts and ends at (its end includes the blank it broke at).
    qsizetype RowStart(int row) const;
    qsizetype RowEnd(int row) const;
    // The caret column nearest to x in a row.
    qsizetype ColumnAt(int row, qreal x) const;
    qsizetype PreviousCursor(qsizetype column) const;
    qsizetype NextCursor(qsizetype column) const;

    // Columns from to to painted in a format of their own.
    struct Span {
        qsizetype from;
        qsizetype to;
        const QTextCharFormat *format;
    };
    // Paints the rows within clip, the spans in their formats.
    void Draw(QPainter *painter, const QPointF &at, std::initializer_list<Span> spans, const QRectF &clip) const;
    void DrawCursor(QPainter *painter, const QPointF &at, qsizetype column) const;

private:
    struct Piece;
    const Piece &PieceOfColumn(qsizetype column) const;
    const Piece &PieceOfRow(int row) const;

    std::vector<std::unique_ptr<Piece>> FPieces;
    int FWidth = 0;
    int FRowHeight = 1;
    int FRows = 1;
    qsizetype FSize = 0;
};
