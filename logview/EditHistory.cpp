#include "EditHistory.h"

#include <algorithm>
#include <utility>

namespace {

using Place = std::pair<qint64, qsizetype>;

Place startOf(const TEditStep &step)
{
    return {step.line, step.column};
}

// Where the text a step takes away ends.
Place takenEnd(const TEditStep &step)
{
    return {step.line + step.breaks, step.breaks ? step.endColumn : step.column + step.endColumn};
}

// Where the text a step puts back ends.
Place textEnd(const TEditStep &step)
{
    const qsizetype breaks = step.text.count(u'\n');
    if (breaks == 0)
        return {step.line, step.column + step.text.size()};
    return {step.line + breaks, step.text.size() - step.text.lastIndexOf(u'\n') - 1};
}

bool takesNothing(const TEditStep &step)
{
    return step.breaks == 0 && step.endColumn == 0;
}

} // namespace

void TEditHistory::Record(TEditStep undo, Kind kind)
{
    for (const TEditStep &step : FRedo)
        FChars -= step.text.size();
    FRedo.clear();
    if (!Merge(undo, kind))
        Put(FUndo, std::move(undo));
    FKind = kind;
    FOpen = true;
    DropOldest();
}

bool TEditHistory::Merge(const TEditStep &undo, Kind kind)
{
    if (!FOpen || kind != FKind || kind == Kind::Other || FUndo.empty())
        return false;
    TEditStep &last = FUndo.back();
    switch (kind) {
    case Kind::Typing:
        // Typed on where the typing before stopped, with nothing selected.
        if (!undo.text.isEmpty() || undo.breaks != 0 || startOf(undo) != takenEnd(last))
            return false;
        last.endColumn += undo.endColumn;
        break;
    case Kind::Backspace:
        // What stood just before the text taken away before.
        if (!takesNothing(undo) || !takesNothing(last) || textEnd(undo) != startOf(last))
            return false;
        last.line = undo.line;
        last.column = undo.column;
        last.text.prepend(undo.text);
        break;
    case Kind::Delete:
        // What stood just after it.
        if (!takesNothing(undo) || !takesNothing(last) || startOf(undo) != startOf(last))
            return false;
        last.text.append(undo.text);
        break;
    case Kind::Other:
        return false;
    }
    last.fillsEmpty = undo.fillsEmpty;
    FChars += undo.text.size();
    return true;
}

TEditStep TEditHistory::Take(std::deque<TEditStep> &steps)
{
    TEditStep step = std::move(steps.back());
    steps.pop_back();
    FChars -= step.text.size();
    FOpen = false;
    return step;
}

void TEditHistory::Put(std::deque<TEditStep> &steps, TEditStep step)
{
    FChars += step.text.size();
    steps.push_back(std::move(step));
}

void TEditHistory::DropOldest()
{
    // The newest step stays whatever it holds: the text it puts back left the log.
    while (!FUndo.empty()
           && (qsizetype(FUndo.size() + FRedo.size()) > MaxSteps || (FChars > MaxChars && FUndo.size() > 1))) {
        FChars -= FUndo.front().text.size();
        FUndo.pop_front();
    }
}

void TEditHistory::DropBefore(qint64 line)
{
    for (std::deque<TEditStep> *steps : {&FUndo, &FRedo}) {
        // Steps nearer the front apply after those nearer the back.
        const auto gone = std::find_if(steps->rbegin(), steps->rend(),
                                       [line](const TEditStep &step) { return step.line < line; });
        for (auto it = gone; it != steps->rend(); ++it)
            FChars -= it->text.size();
        steps->erase(steps->begin(), gone.base());
    }
}
