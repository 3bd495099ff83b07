#include "SendHistory.h"

void TSendHistory::Add(const TSentText &sent)
{
    FAt = -1;
    if (!FEntries.empty() && FEntries.back() == sent)
        return;
    FEntries.push_back(sent);
    FChars += sent.text.size();
    while (FEntries.size() > 1 && (FEntries.size() > size_t(MaxEntries) || FChars > MaxChars)) {
        FChars -= FEntries.front().text.size();
        FEntries.pop_front();
    }
}

bool TSendHistory::Older(const TSentText &box, TSentText *shown)
{
    if (FEntries.empty() || FAt == 0)
        return false;
    if (FAt < 0) {
        FDraft = box;
        FAt = qsizetype(FEntries.size());
    }
    *shown = FEntries[size_t(--FAt)];
    return true;
}

bool TSendHistory::Newer(TSentText *shown)
{
    if (FAt < 0)
        return false;
    if (++FAt >= qsizetype(FEntries.size())) {
        FAt = -1;
        *shown = FDraft;
        FDraft = TSentText();
        return true;
    }
    *shown = FEntries[size_t(FAt)];
    return true;
}
