#include "LogStore.h"

#include <algorithm>
#include <cstring>
#include <vector>

// Qt
#include <QByteArray>
#include <QStringList>
#include <QTime>

#include "LogLines.h"

namespace {

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

bool isLatin1(const QString &text)
{
    // No branch per character: the compiler takes many at a time.
    char16_t all = 0;
    for (const QChar c : text)
        all |= c.unicode();
    return all < 0x100;
}

// Counts in the arena: seven bits a byte, the high bit set on all but the last, so that the
// count of an empty datagram's line takes one byte.
int countSize(uint64_t value)
{
    int n = 1;
    for (; value >= 0x80; value >>= 7)
        ++n;
    return n;
}

char *putCount(char *out, uint64_t value)
{
    for (; value >= 0x80; value >>= 7)
        *out++ = char(value | 0x80);
    *out++ = char(value);
    return out;
}

const char *getCount(const char *in, uint64_t *value)
{
    uint64_t v = 0;
    for (int shift = 0;; shift += 7) {
        const auto b = static_cast<unsigned char>(*in++);
        v |= uint64_t(b & 0x7F) << shift;
        if (b < 0x80)
            break;
    }
    *value = v;
    return in;
}

} // namespace

// ---- lines ---------------------------------------------------------------------------------

TLogStore::~TLogStore()
{
    ReleaseAll();
}

TLogStore::TLogStore(TLogStore &&other) noexcept
    : FLines(std::move(other.FLines)), FArena(std::move(other.FArena)), FTimes(std::move(other.FTimes)),
      FFirstTime(other.FFirstTime), FLastTimeMs(other.FLastTimeMs), FLastTimeText(std::move(other.FLastTimeText)),
      FChars(other.FChars), FOwnedBytes(other.FOwnedBytes), FArenaFrom(other.FArenaFrom),
      FStarts(std::move(other.FStarts)), FShiftAfter(other.FShiftAfter), FShift(other.FShift)
{
    other.Forget();
}

TLogStore &TLogStore::operator=(TLogStore &&other) noexcept
{
    if (this == &other)
        return *this;
    ReleaseAll();
    FLines = std::move(other.FLines);
    FArena = std::move(other.FArena);
    FTimes = std::move(other.FTimes);
    FFirstTime = other.FFirstTime;
    FLastTimeMs = other.FLastTimeMs;
    FLastTimeText = std::move(other.FLastTimeText);
    FChars = other.FChars;
    FOwnedBytes = other.FOwnedBytes;
    FArenaFrom = other.FArenaFrom;
    FStarts = std::move(other.FStarts);
    FShiftAfter = other.FShiftAfter;
    FShift = other.FShift;
    other.Forget();
    return *this;
}

void TLogStore::Forget()
{
    // What was moved away is not released here: it lives on in the store it went to.
    FLines.clear();
    FArena.Clear();
    FTimes.clear();
    FLastTimeMs = -2;
    FLastTimeText.clear();
    FChars = 0;
    FOwnedBytes = 0;
    FArenaFrom = FArena.End();
    FStarts.clear();
    FShiftAfter = -1;
    FShift = 0;
}

bool TLogStore::IsBreak(QChar c)
{
    const char16_t u = c.unicode();
    return u == u'\n' || u == u'\r' || u == QChar::ParagraphSeparator || u == QChar::LineSeparator;
}

void TLogStore::Append(const QString &text)
{
    if (!hasBreak(text)) {
        AppendText(text);
        return;
    }
    for (const QString &piece : splitLines(text))
        AppendText(piece);
}

void TLogStore::AppendText(const QString &line)
{
    Entry e{0, uint32_t(line.size()), Latin1};
    char *at = nullptr;
    if (isLatin1(line)) {
        e.where = FArena.Put(line.size(), false, &at);
        const QChar *from = line.constData();
        for (qsizetype i = 0; i < line.size(); ++i)
            at[i] = char(from[i].unicode());
    } else {
        e.meta = Utf16;
        e.where = FArena.Put(2 * line.size(), true, &at);
        std::memcpy(at, line.constData(), size_t(2 * line.size()));
    }
    FLines.push_back(e);
    FChars += line.size();
}

void TLogStore::AppendReceived(const QTime &time, const QByteArray &bytes, bool hex, int codePage)
{
    const qsizetype total = bytes.size();
    const QByteArray shown = total > MaxShownBytes ? QByteArray::fromRawData(bytes.constData(), MaxShownBytes) : bytes;
    const int ms = time.isValid() ? time.msecsSinceStartOfDay() : -1;
    if (ms != FLastTimeMs || ms < 0) {
        FLastTimeText = LineTimeText(time);
        FLastTimeMs = ms;
    }
    const TReceiveLineSize size = ReceiveLineSize(FLastTimeText, shown, total, hex, codePage);
    if (size.breaks) {
        // Line breaks in the data start other lines: those lines keep their text.
        Append(ReceiveLineText(FLastTimeText, shown, total, hex, codePage));
        return;
    }
    if (FTimes.empty() || FTimes.back().text != FLastTimeText)
        FTimes.push_back({FLastTimeText, 0});
    ++FTimes.back().lines;
    const uint64_t number = (FFirstTime + FTimes.size() - 1) % TimeNumbers;

    const qsizetype n = shown.size();
    const bool cut = total > n;
    char *at = nullptr;
    Entry e;
    const bool named = codePage != 0;
    e.where = FArena.Put(countSize(uint64_t(n)) + (cut ? countSize(uint64_t(total)) : 0) + (named ? 1 : 0) + n, false, &at);
    at = putCount(at, uint64_t(n));
    if (cut)
        at = putCount(at, uint64_t(total));
    if (named)
        *at++ = char(codePage);
    std::memcpy(at, shown.constData(), size_t(n));
    e.chars = uint32_t(size.chars);
    e.meta = Received | (hex ? HexFlag : 0) | (cut ? CutFlag : 0) | (named ? CodePageFlag : 0)
        | uint32_t(number << TimeShift);
    FLines.push_back(e);
    FChars += size.chars;
}

const QString &TLogStore::TimeOf(const Entry &e) const
{
    const uint64_t number = e.meta >> TimeShift;
    return FTimes[size_t((number + TimeNumbers - FFirstTime % TimeNumbers) % TimeNumbers)].text;
}

TLogStore::TimeText &TLogStore::TimeEntryOf(const Entry &e)
{
    const uint64_t number = e.meta >> TimeShift;
    return FTimes[size_t((number + TimeNumbers - FFirstTime % TimeNumbers) % TimeNumbers)];
}

QString TLogStore::Line(qsizetype i) const
{
    const Entry &e = FLines[size_t(i)];
    switch (e.kind()) {
    case Latin1:
        return e.chars ? QString::fromLatin1(FArena.At(e.where), e.chars) : QString();
    case Utf16:
        return e.chars ? QString(reinterpret_cast<const QChar *>(FArena.At(e.where)), e.chars) : QString();
    case Received: {
        uint64_t shown = 0;
        const char *p = getCount(FArena.At(e.where), &shown);
        uint64_t total = shown;
        if (e.meta & CutFlag)
            p = getCount(p, &total);
        const int codePage = (e.meta & CodePageFlag) ? static_cast<unsigned char>(*p++) : 0;
        return ReceiveLineText(TimeOf(e), QByteArray::fromRawData(p, qsizetype(shown)), int64_t(total),
                               e.meta & HexFlag, codePage);
    }
    case Owned:
        break;
    }
    return *reinterpret_cast<const QString *>(e.where);
}

void TLogStore::AppendLineTo(QString &text, qsizetype i) const
{
    const Entry &e = FLines[size_t(i)];
    if (e.kind() == Latin1 && e.chars)
        text.append(QLatin1StringView(FArena.At(e.where), e.chars));
    else if (e.kind() == Utf16 && e.chars)
        text.append(QStringView(reinterpret_cast<const QChar *>(FArena.At(e.where)), e.chars));
    else if (e.kind() == Received || e.kind() == Owned)
        text.append(Line(i));
}

void TLogStore::Release(const Entry &e)
{
    if (e.kind() == Owned) {
        FOwnedBytes -= OwnedCost(e.chars);
        delete reinterpret_cast<QString *>(e.where);
    } else if (e.kind() == Received)
        --TimeEntryOf(e).lines;
}

void TLogStore::ReleaseAll()
{
    for (const Entry &e : FLines)
        if (e.kind() == Owned)
            delete reinterpret_cast<QString *>(e.where);
    FLines.clear();
    FTimes.clear();
    FArena.Clear();
    FOwnedBytes = 0;
    FArenaFrom = FArena.End();
}

void TLogStore::DropUnusedTimes()
{
    while (!FTimes.empty() && FTimes.front().lines == 0) {
        FTimes.pop_front();
        ++FFirstTime;
    }
}

void TLogStore::DropUnusedBytes()
{
    // Lines keep the arena's order: the first line with bytes there holds the oldest still used.
    for (const Entry &e : FLines) {
        if (e.kind() != Owned) {
            FArena.DropBefore(e.where);
            FArenaFrom = e.where;
            return;
        }
    }
    FArena.Clear();
    FArenaFrom = FArena.End();
}

void TLogStore::SetOwned(qsizetype line, const QString &text)
{
    Entry &e = FLines[size_t(line)];
    FChars += text.size() - qsizetype(e.chars);
    if (e.kind() == Owned) {
        FOwnedBytes += OwnedCost(uint32_t(text.size())) - OwnedCost(e.chars);
        e.chars = uint32_t(text.size());
        *reinterpret_cast<QString *>(e.where) = text;
        return;
    }
    Release(e);
    e.chars = uint32_t(text.size());
    FOwnedBytes += OwnedCost(e.chars);
    e.where = uint64_t(reinterpret_cast<uintptr_t>(new QString(text)));
    e.meta = Owned;
    DropUnusedTimes();
}

TLogStore::Entry TLogStore::OwnedEntry(const QString &text)
{
    FOwnedBytes += OwnedCost(uint32_t(text.size()));
    return Entry{uint64_t(reinterpret_cast<uintptr_t>(new QString(text))), uint32_t(text.size()), Owned};
}

QString TLogStore::Text() const
{
    QString text;
    text.reserve(CharacterCount());
    for (qsizetype i = 0; i < LineCount(); ++i) {
        if (i > 0)
            text += u'\n';
        AppendLineTo(text, i);
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
    for (qsizetype l = from.line + 1; l < to.line; ++l) {
        text.append(u'\n');
        AppendLineTo(text, l);
    }
    return text.append(u'\n').append(Line(to.line).left(to.column));
}

void TLogStore::ReplaceFront(qsizetype count, const QString &line)
{
    count = std::clamp<qsizetype>(count, 0, LineCount());
    for (qsizetype i = 0; i < count; ++i) {
        FChars -= FLines[size_t(i)].chars;
        Release(FLines[size_t(i)]);
    }
    FLines.erase(FLines.begin(), FLines.begin() + count);
    FLines.push_front(OwnedEntry(line));
    FChars += line.size();
    DropUnusedTimes();
    DropUnusedBytes();
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
        FStarts.push_back(FStarts.back() + LineSize(i - 1) + 1);
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
    p.column = std::clamp<qsizetype>(p.column, 0, LineSize(p.line));
    return p;
}

TLogPosition TLogStore::End() const
{
    return FLines.empty() ? TLogPosition{} : TLogPosition{LineCount() - 1, LineSize(LineCount() - 1)};
}

TLogPosition TLogStore::Insert(TLogPosition at, const QString &text)
{
    if (FLines.empty())
        FLines.push_back(OwnedEntry(QString()));
    at = Clamp(at);
    QStringList pieces = splitLines(text);
    if (pieces.size() == 1)
        LineResized(at.line, pieces.front().size());
    else
        DropStartsAfter(at.line);
    QString first = Line(at.line);
    const QString tail = first.mid(at.column);
    first.truncate(at.column);
    first += pieces.front();
    if (pieces.size() == 1) {
        first += tail;
        SetOwned(at.line, first);
        return {at.line, at.column + pieces.front().size()};
    }
    SetOwned(at.line, first);
    const TLogPosition end{at.line + pieces.size() - 1, pieces.back().size()};
    pieces.back() += tail;
    std::vector<Entry> added;
    added.reserve(size_t(pieces.size() - 1));
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        added.push_back(OwnedEntry(pieces[i]));
        FChars += pieces[i].size();
    }
    FLines.insert(FLines.begin() + at.line + 1, added.begin(), added.end());
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
    QString first = Line(from.line);
    first.truncate(from.column);
    first += Line(to.line).mid(to.column);
    for (qsizetype l = from.line + 1; l <= to.line; ++l) {
        FChars -= FLines[size_t(l)].chars;
        Release(FLines[size_t(l)]);
    }
    FLines.erase(FLines.begin() + from.line + 1, FLines.begin() + to.line + 1);
    SetOwned(from.line, first);
    DropUnusedTimes();
    // A box emptied by the user is empty: the next line goes first again.
    if (FLines.size() == 1 && FLines.front().chars == 0) {
        ReleaseAll();
        FChars = 0;
        FStarts.clear();
        FShiftAfter = -1;
        FShift = 0;
    }
}

qsizetype TLogStore::MemoryBytes() const
{
    return LineCount() * qsizetype(sizeof(Entry)) + FArena.UsedFrom(FArenaFrom) + FOwnedBytes;
}

qsizetype TLogStore::FrontLinesOver(qsizetype maxBytes, qsizetype maxLines) const
{
    const qsizetype lines = LineCount();
    if (MemoryBytes() <= maxBytes && lines <= maxLines)
        return 0;
    // Down to the bounds less a slice of them, so that a trim comes seldom.
    const qsizetype byteGoal = maxBytes - maxBytes / TrimSlices;
    const qsizetype lineGoal = maxLines - maxLines / TrimSlices;
    // The arena's bytes go from the front: those of the kept lines are the bytes from the first
    // kept line's place to the end (the unused ends of blocks between counted too, at most).
    const qsizetype arenaUsed = FArena.UsedFrom(FArenaFrom);
    const uint64_t arenaEnd = FArena.End();
    qsizetype owned = FOwnedBytes;
    // The note that takes the dropped lines' place is a line of its own.
    qsizetype drop = std::clamp<qsizetype>(lines + 1 - lineGoal, 0, std::max<qsizetype>(lines - 1, 0));
    for (qsizetype i = 0; i < drop; ++i)
        if (FLines[size_t(i)].kind() == Owned)
            owned -= OwnedCost(FLines[size_t(i)].chars);
    const auto arenaAfter = [&](qsizetype first) {
        for (qsizetype i = first; i < lines; ++i)
            if (FLines[size_t(i)].kind() != Owned)
                return std::min(arenaUsed, qsizetype(arenaEnd - FLines[size_t(i)].where));
        return qsizetype(0);
    };
    // And it costs what a line of its own does.
    const qsizetype note = qsizetype(sizeof(Entry)) + OwnedCost(64);
    while (drop < lines - 1
           && (lines - drop) * qsizetype(sizeof(Entry)) + arenaAfter(drop) + owned + note > byteGoal) {
        if (FLines[size_t(drop)].kind() == Owned)
            owned -= OwnedCost(FLines[size_t(drop)].chars);
        ++drop;
    }
    return std::min(drop, lines - 1);
}
