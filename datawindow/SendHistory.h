#pragma once
// What a data window sent from its send box, newest last, to be recalled into the box: the text as
// it stood in the box and whether it went as hex. Only sends that went out join it, the same send
// twice in a row once; the oldest go past MaxEntries, or once the texts hold more than MaxChars
// (the newest stays whatever its size).
//
// Recalling walks from the newest back (Older) and forth (Newer); what the box held when the walk
// began comes back past the newest.

#include <deque>

// Qt
#include <QString>

struct TSentText {
    QString text;
    bool hex = false;
    friend bool operator==(const TSentText &a, const TSentText &b) { return a.hex == b.hex && a.text == b.text; }
};

class TSendHistory {
public:
    static constexpr int MaxEntries = 50;
    static constexpr qsizetype MaxChars = 8 * 1024 * 1024;

    // A send that went out; the walk starts again from the box.
    void Add(const TSentText &sent);
    // Newest last.
    const std::deque<TSentText> &Entries() const { return FEntries; }

    // The entry before the one shown, given what the box holds now (kept when the walk begins);
    // false when there is none.
    bool Older(const TSentText &box, TSentText *shown);
    // The entry after the one shown, or what the box held before the walk; false when not walking.
    bool Newer(TSentText *shown);
    // The box was changed otherwise: the next walk starts from it.
    void Leave() { FAt = -1; }

private:
    std::deque<TSentText> FEntries;
    qsizetype FChars = 0;
    // The entry shown while walking; -1 when not walking.
    qsizetype FAt = -1;
    TSentText FDraft;
};
