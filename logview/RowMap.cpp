#include "RowMap.h"

#include <algorithm>

namespace {

constexpr size_t Block = 1024;

} // namespace

void TRowMap::Append(int rows)
{
    if (FRows.size() % Block == 0)
        FSums.push_back(0);
    FRows.push_back(rows);
    FSums.back() += rows;
    FTotal += rows;
}

void TRowMap::Set(qsizetype line, int rows)
{
    qint32 &slot = FRows[size_t(line)];
    const int delta = rows - slot;
    if (delta == 0)
        return;
    slot = rows;
    FSums[size_t(line) / Block] += delta;
    FTotal += delta;
}

void TRowMap::Replace(qsizetype first, qsizetype last, const std::vector<int> &rows)
{
    const auto replaced = size_t(std::max<qsizetype>(0, last - first + 1));
    if (replaced == rows.size()) {
        for (size_t i = 0; i < rows.size(); ++i)
            Set(first + qsizetype(i), rows[i]);
        return;
    }
    // Lines after the edit move to other blocks: their sums are made anew. Edits that add or join
    // lines are the user's (seldom) and trims (a slice of the log at a time).
    const auto at = FRows.begin() + first;
    FRows.insert(FRows.erase(at, at + qsizetype(replaced)), rows.begin(), rows.end());
    SumFrom(size_t(first) / Block);
}

void TRowMap::Reset(qsizetype lines, const std::function<int(qsizetype)> &rowsOf)
{
    FRows.resize(size_t(lines));
    for (qsizetype i = 0; i < lines; ++i)
        FRows[size_t(i)] = rowsOf(i);
    SumFrom(0);
}

void TRowMap::SumFrom(size_t block)
{
    FSums.resize((FRows.size() + Block - 1) / Block);
    for (size_t b = block; b < FSums.size(); ++b) {
        qint64 sum = 0;
        const size_t end = std::min(FRows.size(), (b + 1) * Block);
        for (size_t i = b * Block; i < end; ++i)
            sum += FRows[i];
        FSums[b] = sum;
    }
    FTotal = 0;
    for (const qint64 sum : FSums)
        FTotal += sum;
}

qint64 TRowMap::RowOf(qsizetype line) const
{
    line = std::clamp<qsizetype>(line, 0, LineCount());
    const size_t block = size_t(line) / Block;
    qint64 row = 0;
    for (size_t b = 0; b < block; ++b)
        row += FSums[b];
    for (size_t i = block * Block; i < size_t(line); ++i)
        row += FRows[i];
    return row;
}

qsizetype TRowMap::LineAt(qint64 row, qint64 *lineRow) const
{
    qint64 before = 0;
    size_t b = 0;
    while (b + 1 < FSums.size() && before + FSums[b] <= row)
        before += FSums[b++];
    size_t i = b * Block;
    while (i + 1 < FRows.size() && before + FRows[i] <= row)
        before += FRows[i++];
    if (lineRow)
        *lineRow = FRows.empty() ? 0 : before;
    return FRows.empty() ? 0 : qsizetype(i);
}
