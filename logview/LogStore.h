#pragma once
// The lines of a receive log: appended at the end in O(1), dropped from the front cheaply,
// edited anywhere by the user.
//
// A log holds up to two million lines, most of them made by a flood, so a line must cost little:
// a string of its own per line (about 90 bytes for an empty datagram's line) made a flood of tiny
// datagrams grow the program by 150 MiB. A receive line is kept as what it is made of (its
// time's text, the bytes shown, the hex switch) and its text is made when it is drawn or asked
// for; any other line keeps its text in one byte a character when Latin-1 holds it, else in
// UTF-16. Their bytes lie one after another in large blocks (TLogArena), so a line costs 16
// bytes and what it shows; only a line the user edits gets a string of its own. A move hands
// the whole store over in O(1).

#include <cstdint>
#include <deque>

// Qt
#include <QString>

#include "LogArena.h"

class QByteArray;
class QTime;

// A place between two characters of the log: a line and a column in its UTF-16 text.
struct TLogPosition {
    qsizetype line = 0;
    qsizetype column = 0;
    friend bool operator==(const TLogPosition &a, const TLogPosition &b)
    {
        return a.line == b.line && a.column == b.column;
    }
    friend bool operator!=(const TLogPosition &a, const TLogPosition &b) { return !(a == b); }
    friend bool operator<(const TLogPosition &a, const TLogPosition &b)
    {
        return a.line < b.line || (a.line == b.line && a.column < b.column);
    }
};

class TLogStore {
public:
    TLogStore() = default;
    ~TLogStore();
    TLogStore(TLogStore &&other) noexcept;
    TLogStore &operator=(TLogStore &&other) noexcept;
    TLogStore(const TLogStore &) = delete;
    TLogStore &operator=(const TLogStore &) = delete;

    // Appends text as new lines: a line feed, carriage return (alone or before a line feed),
    // paragraph or line separator inside it starts another line.
    void Append(const QString &text);
    // Appends the receive line of a block received at time, as LoggedReceiveLine writes it (a
    // line break in the data starts another line, as with Append), its text in a code page of
    // CodePages.h.
    void AppendReceived(const QTime &time, const QByteArray &bytes, bool hex, int codePage = 0);

    qsizetype LineCount() const { return qsizetype(FLines.size()); }
    // The text of a line, made when asked for.
    QString Line(qsizetype i) const;
    // Its length, without making it.
    qsizetype LineSize(qsizetype i) const { return FLines[size_t(i)].chars; }
    // Characters of all lines plus one separator per line (at least one), as a text document
    // counts them.
    qsizetype CharacterCount() const { return FChars + (FLines.empty() ? 1 : LineCount()); }
    // The lines joined with line feeds.
    QString Text() const;
    QString Text(TLogPosition from, TLogPosition to) const;

    // Replaces the first count lines by one line.
    void ReplaceFront(qsizetype count, const QString &line);

    // The nearest valid position.
    TLogPosition Clamp(TLogPosition p) const;
    TLogPosition End() const;
    // Inserts text (split into lines as Append splits it) at a position; returns the position
    // after it.
    TLogPosition Insert(TLogPosition at, const QString &text);
    // Removes the text between two positions, joining their lines.
    void Remove(TLogPosition from, TLogPosition to);

    // Places in Text(): the offset of a position (line feeds between lines), and back. The line
    // starts are indexed on first use and kept through appends, front trims and typing within a
    // line; an edit that adds or joins lines drops the index after the edited line.
    qsizetype Offset(TLogPosition p) const;
    TLogPosition PositionOf(qsizetype offset) const;
    // The length of Text().
    qsizetype TextSize() const { return FLines.empty() ? 0 : FChars + LineCount() - 1; }

    // Memory the lines take, in bytes, as far as the store knows it: their entries, their bytes
    // in the arena (with what edited or trimmed lines left there) and their own strings. Kept as
    // the lines change: asking costs nothing.
    qsizetype MemoryBytes() const;
    // How many of the oldest lines must go (for one note line in their place) to bring a log past
    // either bound back below it by a slice of it, so that trims come seldom: 0 while within both.
    // Never all lines.
    qsizetype FrontLinesOver(qsizetype maxBytes, qsizetype maxLines) const;
    // Each trim takes away this share of the bounds.
    static constexpr int TrimSlices = 32;

    // True for the characters that end a line.
    static bool IsBreak(QChar c);

private:
    // How a line keeps its text.
    enum Kind : uint32_t {
        Latin1 = 0,   // one byte a character, in the arena
        Utf16 = 1,    // in the arena
        Received = 2, // a receive line: in the arena the shown bytes' count, the total when cut,
                      // the code page's number when not the local one, the bytes; its time's
                      // text in FTimes
        Owned = 3,    // a string of its own (a line the user edited, a trim note)
    };
    static constexpr uint32_t KindMask = 3;
    static constexpr uint32_t HexFlag = 4;
    static constexpr uint32_t CutFlag = 8;
    static constexpr uint32_t CodePageFlag = 16;
    // The rest holds a receive line's time: the number of its text in FTimes, counted from the
    // first text the store ever held, modulo 2^27 (a new text comes once a second at most, as
    // the time changes, so that is more than a log's lines can span).
    static constexpr int TimeShift = 5;
    static constexpr uint32_t TimeNumbers = 1u << (32 - TimeShift);

    struct Entry {
        // The place in the arena, or the owned string (a QString *).
        uint64_t where;
        uint32_t chars;
        uint32_t meta;
        Kind kind() const { return Kind(meta & KindMask); }
    };
    static_assert(sizeof(Entry) == 16, "a line's entry is 16 bytes");

    // A time text and the receive lines that use it.
    struct TimeText {
        QString text;
        qsizetype lines;
    };

    // Appends one line without a break in it.
    void AppendText(const QString &line);
    void AppendLineTo(QString &text, qsizetype line) const;
    Entry OwnedEntry(const QString &text);
    // What a line of its own costs besides its entry.
    static qsizetype OwnedCost(uint32_t chars) { return qsizetype(sizeof(QString)) + 2 * qsizetype(chars); }
    // Puts a line's text in place of what it had, as a string of its own.
    void SetOwned(qsizetype line, const QString &text);
    // Lets go of what an entry holds but its arena bytes.
    void Release(const Entry &e);
    void ReleaseAll();
    // Leaves a store whose lines were moved away empty, releasing nothing.
    void Forget();
    void DropUnusedTimes();
    void DropUnusedBytes();
    const QString &TimeOf(const Entry &e) const;
    TimeText &TimeEntryOf(const Entry &e);

    std::deque<Entry> FLines;
    TLogArena FArena;
    std::deque<TimeText> FTimes;
    // The number of FTimes.front() (see TimeShift).
    uint64_t FFirstTime = 0;
    // The time of the last receive line, and its text.
    int FLastTimeMs = -2;
    QString FLastTimeText;

    void IndexStarts(qsizetype line) const;
    qsizetype Start(qsizetype line) const;
    void DropStartsAfter(qsizetype line);
    // A line grew or shrank by delta characters.
    void LineResized(qsizetype line, qsizetype delta);
    void ApplyShift();

    // Characters of all lines, without separators.
    qsizetype FChars = 0;
    // What the lines of their own cost (OwnedCost).
    qsizetype FOwnedBytes = 0;
    // The place in the arena of the first line that keeps its bytes there, as of the last trim.
    uint64_t FArenaFrom = 0;
    // Where the first lines start, counted from a fixed point before the first line: a trim at
    // the front keeps the rest valid.
    mutable std::deque<qsizetype> FStarts;
    // Typing within one line moves every later start alike: that is kept aside, not applied to
    // each of them, while the typing stays in that line.
    qsizetype FShiftAfter = -1;
    qsizetype FShift = 0;
};
