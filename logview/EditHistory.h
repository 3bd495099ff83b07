#pragma once
// The user's own edits of the receive log, to be undone and redone as in a plain text box.
// Lines the program appends never come here, so they never cost memory twice. A step holds the
// text it puts back and, of the text it takes away, only where it ends: a piece of text is held
// by the log or by a step, not by both. A step's line counts from the first line the log ever
// had, so lines appended at the end and lines trimmed from the front between two edits leave it
// in its place. Memory stays bounded: so many steps at most, and the oldest go first once the
// steps hold too much text.

#include <deque>

// Qt
#include <QString>

struct TEditStep {
    // Where the step applies: a line counted from the first the log ever had, and a column.
    qint64 line = 0;
    qsizetype column = 0;
    // The text it takes away ends this many line breaks further, at endColumn (without a
    // break: endColumn columns further).
    qsizetype breaks = 0;
    qsizetype endColumn = 0;
    // The text it puts in its place.
    QString text;
    // When the step was made, applying it left the box empty: lines appended since stay, so it
    // takes the line break before them too.
    bool empties = false;
    // When the step was made, it applied to an empty box: its text goes before lines appended
    // since, as lines of its own.
    bool fillsEmpty = false;
};

class TEditHistory {
public:
    // How an edit was made: typing, Backspace and Delete run on into the step before.
    enum class Kind { Typing, Backspace, Delete, Other };

    static constexpr int MaxSteps = 100;
    static constexpr qsizetype MaxChars = 16 * 1024 * 1024;

    // An edit of the user's, given as the step that undoes it. The steps that redid undone
    // edits are dropped.
    void Record(TEditStep undo, Kind kind);
    // The next edit starts a step of its own (the caret was moved, say).
    void Close() { FOpen = false; }

    bool CanUndo() const { return !FUndo.empty(); }
    bool CanRedo() const { return !FRedo.empty(); }
    // The step to apply now; the caller gives back the step that reverses it.
    TEditStep TakeUndo() { return Take(FUndo); }
    TEditStep TakeRedo() { return Take(FRedo); }
    void PutRedo(TEditStep step) { Put(FRedo, std::move(step)); }
    void PutUndo(TEditStep step) { Put(FUndo, std::move(step)); }

    // The lines before this one (counted from the first the log ever had) are gone: the steps
    // there go, and those that could only follow them.
    void DropBefore(qint64 line);
    qsizetype HeldChars() const { return FChars; }

private:
    TEditStep Take(std::deque<TEditStep> &steps);
    void Put(std::deque<TEditStep> &steps, TEditStep step);
    bool Merge(const TEditStep &undo, Kind kind);
    void DropOldest();

    // The next step to apply is at the back.
    std::deque<TEditStep> FUndo;
    std::deque<TEditStep> FRedo;
    Kind FKind = Kind::Other;
    bool FOpen = false;
    qsizetype FChars = 0;
};
