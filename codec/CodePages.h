#pragma once
// The code pages a data window can show and send its text in: the local one (the default) and
// the few that devices on the wire speak most, by number. Number 0 is the local code page, so a
// window that never chose one keeps what it always did.

#include <utility>

// Qt
#include <QByteArray>
#include <QString>

constexpr int LocalCodePageNumber = 0;
int CodePageCount();
// As the menu shows it: "本地代码页（UTF-8）" for the local one, else the code page's own name.
QString CodePageTitle(int number);
// Bytes as text in that code page, and back (see FromCodePage, ToCodePage).
QString FromCodePageNumber(const QByteArray &bytes, int number);
QByteArray ToCodePageNumber(const QString &text, int number);

// Received text as it comes, read by read: a character whose first bytes end one read and whose
// last bytes start the next is shown whole in the second read's line, not as two replacement
// characters. Only what a read ends with and the code page cannot have finished is held back
// (at most three bytes); a byte sequence that no character has stays in its own line.
class TSplitCharacters {
public:
    // The bytes the next receive line shows: what was held back from the read before, then the
    // block, less an unfinished character at its end, which waits for the next read.
    QByteArray Take(const QByteArray &block, int codePage);
    // What waits, handed out to be shown as it is (the code page or the hex switch changes, the
    // link closes, the peer goes quiet): nothing waits after.
    QByteArray Release() { return std::exchange(FHeld, QByteArray()); }
    bool Holds() const { return !FHeld.isEmpty(); }

private:
    QByteArray FHeld;
};
