#include "LogStore.h"

#include <algorithm>

// Qt
#include <QStringList>

namespace {

constexpr qsizetype SpareChars = 256;

// The pieces of a text between its line breaks; "\r\n" is one break.
QStringList splitLines(const QString &text)
{
    QStringList pieces;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (!TLogStore::IsBreak(c))
            continue;
        pieces << text.mid(start, i - start);
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (pieces.isEmpty())
        pieces << text;
    else
        pieces << text.mid(start);
    return pieces;
}

} // namespace

bool TLogStore::IsBreak(QChar c)
{
    const char16_t u = c.unicode();
    return u == u'\n' || u == u'\r' || u == QChar::ParagraphSeparator || u == QChar::LineSeparator;
}

namespace {

// The same test as IsBreak over a whole line, in one tight loop: every line of a flood passes
// here, most of them a kilobyte or more without a break.
bool hasBreak(const QString &text)
{
    const char16_t *p = reinterpret_cast<const char16_t *>(text.constData());
    const char16_t *const end = p + text.size();
    for (; p != end; ++p) {
        const char16_t u = *p;
        // U+2028 and U+2029 differ in the last bit only.
        if (u <= u'\r' ? (u == u'\n' || u == u'\r') : (u | 1) == QChar::ParagraphSeparator)
            return true;
    }
    return false;
}

} // namespace

void TLogStore::Append(const QString &text)
{
    // Most lines have no break: they are kept as given, sharing their data.
    if (!hasBreak(text)) {
        FLines.push_back(text);
        // A line built by appending may hold spare room the size of half its text: the log keeps
        // it for good, so it is kept without.
        if (text.capacity() - text.size() > SpareChars)
            FLines.back().squeeze();
        FChars += text.size();
        return;
    }
    for (QString &piece : splitLines(text)) {
        FChars += piece.size();
        FLines.push_back(std::move(piece));
    }
}

QString TLogStore::Text() const
{
    QString text;
    text.reserve(CharacterCount());
    for (const QString &line : FLines) {
        if (&line != &FLines.front())
            text += u'\n';
        text += line;
    }
    return text;
}

QString TLogStore::Text(TLogPosition from, TLogPosition to) const
{
    from = Clamp(from);
    to = Clamp(to);
    if (to < from)
        std::swap(from, to);
    if (from.line == to.line)
        return FLines.empty() ? QString() : Line(from.line).mid(from.column, to.column - from.column);
    QString text = Line(from.line).mid(from.column);
    for (qsizetype l = from.line + 1; l < to.line; ++l)
        text.append(u'\n').append(Line(l));
    return text.append(u'\n').append(Line(to.line).left(to.column));
}

void TLogStore::ReplaceFront(qsizetype count, const QString &line)
{
    count = std::clamp<qsizetype>(count, 0, LineCount());
    for (qsizetype i = 0; i < count; ++i)
        FChars -= FLines[size_t(i)].size();
    FLines.erase(FLines.begin(), FLines.begin() + count);
    FLines.push_front(line);
    FChars += line.size();
    ApplyShift();
    if (qsizetype(FStarts.size()) > count) {
        FStarts.erase(FStarts.begin(), FStarts.begin() + count);
        FStarts.push_front(FStarts.front() - line.size() - 1);
    } else {
        FStarts.clear();
    }
}

void TLogStore::IndexStarts(qsizetype line) const
{
    line = std::min(line, LineCount() - 1);
    if (FStarts.empty() && line >= 0)
        FStarts.push_back(0);
    for (auto i = qsizetype(FStarts.size()); i <= line; ++i)
        FStarts.push_back(FStarts.back() + Line(i - 1).size() + 1);
}

qsizetype TLogStore::Start(qsizetype line) const
{
    return FStarts[size_t(line)] + (FShiftAfter >= 0 && line > FShiftAfter ? FShift : 0);
}

void TLogStore::DropStartsAfter(qsizetype line)
{
    if (qsizetype(FStarts.size()) > line + 1)
        FStarts.resize(size_t(std::max<qsizetype>(line + 1, 0)));
    if (FShiftAfter >= line) {
        FShiftAfter = -1;
        FShift = 0;
    }
}

void TLogStore::ApplyShift()
{
    if (FShiftAfter < 0)
        return;
    for (auto i = size_t(FShiftAfter) + 1; i < FStarts.size(); ++i)
        FStarts[i] += FShift;
    FShiftAfter = -1;
    FShift = 0;
}

void TLogStore::LineResized(qsizetype line, qsizetype delta)
{
    // Nothing indexed after the line: nothing moves.
    if (delta == 0 || qsizetype(FStarts.size()) <= line + 1)
        return;
    if (FShiftAfter != line)
        ApplyShift();
    FShiftAfter = line;
    FShift += delta;
}

qsizetype TLogStore::Offset(TLogPosition p) const
{
    if (FLines.empty())
        return 0;
    p = Clamp(p);
    IndexStarts(p.line);
    return Start(p.line) - Start(0) + p.column;
}

TLogPosition TLogStore::PositionOf(qsizetype offset) const
{
    if (FLines.empty())
        return {};
    IndexStarts(LineCount() - 1);
    const qsizetype at = std::clamp<qsizetype>(offset, 0, TextSize()) + Start(0);
    // The first line starting after the offset, by bisection.
    qsizetype low = 0;
    qsizetype high = qsizetype(FStarts.size());
    while (low < high) {
        const qsizetype mid = low + (high - low) / 2;
        if (Start(mid) <= at)
            low = mid + 1;
        else
            high = mid;
    }
    const qsizetype line = std::max<qsizetype>(0, low - 1);
    return Clamp({line, at - Start(line)});
}

TLogPosition TLogStore::Clamp(TLogPosition p) const
{
    if (FLines.empty())
        return {};
    p.line = std::clamp<qsizetype>(p.line, 0, LineCount() - 1);
    p.column = std::clamp<qsizetype>(p.column, 0, Line(p.line).size());
    return p;
}

TLogPosition TLogStore::End() const
{
    return FLines.empty() ? TLogPosition{} : TLogPosition{LineCount() - 1, FLines.back().size()};
}

TLogPosition TLogStore::Insert(TLogPosition at, const QString &text)
{
    if (FLines.empty())
        FLines.emplace_back();
    at = Clamp(at);
    QStringList pieces = splitLines(text);
    if (pieces.size() == 1)
        LineResized(at.line, pieces.front().size());
    else
        DropStartsAfter(at.line);
    QString &first = FLines[size_t(at.line)];
    const QString tail = first.mid(at.column);
    first.truncate(at.column);
    FChars -= tail.size();
    first += pieces.front();
    FChars += pieces.front().size();
    if (pieces.size() == 1) {
        first += tail;
        FChars += tail.size();
        return {at.line, at.column + pieces.front().size()};
    }
    const TLogPosition end{at.line + pieces.size() - 1, pieces.back().size()};
    pieces.back() += tail;
    for (qsizetype i = 1; i < pieces.size(); ++i)
        FChars += pieces[i].size();
    FLines.insert(FLines.begin() + at.line + 1, pieces.begin() + 1, pieces.end());
    return end;
}

void TLogStore::Remove(TLogPosition from, TLogPosition to)
{
    from = Clamp(from);
    to = Clamp(to);
    if (to < from)
        std::swap(from, to);
    if (FLines.empty() || from == to)
        return;
    if (from.line == to.line)
        LineResized(from.line, from.column - to.column);
    else
        DropStartsAfter(from.line);
    QString &first = FLines[size_t(from.line)];
    const QString &last = FLines[size_t(to.line)];
    const QString tail = last.mid(to.column);
    for (qsizetype l = from.line; l <= to.line; ++l)
        FChars -= FLines[size_t(l)].size();
    first.truncate(from.column);
    first += tail;
    FChars += first.size();
    FLines.erase(FLines.begin() + from.line + 1, FLines.begin() + to.line + 1);
    // A box emptied by the user is empty: the next line goes first again.
    if (FLines.size() == 1 && FLines.front().isEmpty()) {
        FLines.clear();
        FStarts.clear();
        FShiftAfter = -1;
        FShift = 0;
    }
}
