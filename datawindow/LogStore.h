#pragma once
// The lines of a receive log: appended at the end in O(1), dropped from the front cheaply,
// edited anywhere by the user.

#include <deque>

// Qt
#include <QString>

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
    // Appends text as new lines: a line feed, carriage return (alone or before a line feed),
    // paragraph or line separator inside it starts another line.
    void Append(const QString &text);

    qsizetype LineCount() const { return qsizetype(FLines.size()); }
    const QString &Line(qsizetype i) const { return FLines[size_t(i)]; }
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

    // True for the characters that end a line.
    static bool IsBreak(QChar c);

private:
    std::deque<QString> FLines;
    void IndexStarts(qsizetype line) const;
    qsizetype Start(qsizetype line) const;
    void DropStartsAfter(qsizetype line);
    // A line grew or shrank by delta characters.
    void LineResized(qsizetype line, qsizetype delta);
    void ApplyShift();

    // Characters of all lines, without separators.
    qsizetype FChars = 0;
    // Where the first lines start, counted from a fixed point before the first line: a trim at
    // the front keeps the rest valid.
    mutable std::deque<qsizetype> FStarts;
    // Typing within one line moves every later start alike: that is kept aside, not applied to
    // each of them, while the typing stays in that line.
    qsizetype FShiftAfter = -1;
    qsizetype FShift = 0;
};
