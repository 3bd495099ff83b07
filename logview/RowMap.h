#pragma once
// The rows each line of the receive log takes at the box's width, and where each line starts in
// rows: what the scroll bar counts in. A line laid out counts its real rows; a line not laid out
// yet counts an estimate from its length, replaced when it is laid out, as large-file editors do:
// an append costs the same at a million lines, and nothing off screen is laid out for the bar.
// The rows are summed in blocks, so the row of a line and the line at a row cost one pass over
// the block sums (about two thousand at the log's bound of lines) and one block, not the log.

#include <deque>
#include <functional>
#include <vector>

// Qt
#include <QtGlobal>

class TRowMap {
public:
    qsizetype LineCount() const { return qsizetype(FRows.size()); }
    int Rows(qsizetype line) const { return FRows[size_t(line)]; }
    qint64 Total() const { return FTotal; }

    void Append(int rows);
    // The line now takes this many rows.
    void Set(qsizetype line, int rows);
    // Lines first to last (none when last < first) became lines of these rows.
    void Replace(qsizetype first, qsizetype last, const std::vector<int> &rows);
    // Every line anew, as rowsOf counts it.
    void Reset(qsizetype lines, const std::function<int(qsizetype)> &rowsOf);

    // The rows before a line.
    qint64 RowOf(qsizetype line) const;
    // The line that holds a row (past the end: the last line), and the rows before it.
    qsizetype LineAt(qint64 row, qint64 *lineRow) const;

private:
    void SumFrom(size_t block);

    std::deque<qint32> FRows;
    // The rows of each block of lines.
    std::vector<qint64> FSums;
    qint64 FTotal = 0;
};
