// A text stream received in a code page, in reads cut anywhere: every byte shows once, in order,
// at most three wait, and a character cut between two reads shows whole in the second line (the
// lines decoded one by one read as the whole stream decoded at once).
//
// Input: code page, flags, count of cuts, the cuts (read lengths, used in turn), then the stream:
// the bytes as they are, or (flag 1) UTF-16 text, two bytes a character mapped into the ranges
// the code pages have, encoded into the code page.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Qt
#include <QByteArray>
#include <QList>
#include <QString>

#include "CodePages.h"

namespace {

constexpr QChar Replacement(0xFFFD);

// Two input bytes to a character (or a surrogate pair): ASCII, Latin and Greek and Cyrillic,
// kana and CJK punctuation, CJK ideographs, Hangul, full-width forms, beyond the BMP.
QString textOf(const uint8_t *data, size_t size)
{
    QString text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        const unsigned v = unsigned(data[i] & 0x1F) << 8 | data[i + 1];
        const unsigned range = data[i] >> 5;
        if (range == 7) {
            text += QChar(QChar::highSurrogate(0x20000 + v));
            text += QChar(QChar::lowSurrogate(0x20000 + v));
            continue;
        }
        const unsigned first[] = {0, 0x80, 0x3000, 0x4E00, 0x6E00, 0xAC00, 0xFF00};
        text += QChar(char16_t(first[range] + (range == 0 ? v & 0x7F : range == 6 ? v & 0xEF : v)));
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const int codePage = data[0] % CodePageCount();
    const bool encoded = data[1] & 1;
    // A quiet peer: what waits is shown as it is before the next read.
    const bool releases = data[1] & 2;
    // Where every byte is a character.
    const bool singleByte = CodePageTitle(codePage) == QLatin1String("ISO-8859-1");
    const size_t cutCount = 1 + data[2] % 16;
    if (size < 3 + cutCount)
        return 0;
    const uint8_t *cuts = data + 3;
    const uint8_t *rest = cuts + cutCount;
    // A few dozen reads find what more would: longer streams only slow the runs down.
    const size_t restSize = std::min<size_t>(size - 3 - cutCount, 48);

    const QByteArray stream = encoded ? ToCodePageNumber(textOf(rest, restSize), codePage)
                                      : QByteArray(reinterpret_cast<const char *>(rest), qsizetype(restSize));

    TSplitCharacters split;
    QList<QByteArray> lines;
    QByteArray shown;
    qsizetype taken = 0;
    bool released = false;
    for (size_t k = 0; taken < stream.size(); ++k) {
        const uint8_t cut = cuts[k % cutCount];
        // Short reads mostly, now and then a long one.
        const qsizetype length = std::min(stream.size() - taken, qsizetype(cut < 0xE0 ? 1 + cut % 8 : cut));
        if (releases && (cut & 0x10) && split.Holds()) {
            lines << split.Release();
            released = true;
        } else {
            lines << split.Take(stream.mid(taken, length), codePage);
            taken += length;
        }
        // What is shown is what came, in order, and what waits is the rest: three bytes at most.
        if (lines.back() != stream.mid(shown.size(), lines.back().size()))
            std::abort();
        shown += lines.back();
        const qsizetype waiting = taken - shown.size();
        if (waiting < 0 || waiting > 3 || split.Holds() != (waiting > 0))
            std::abort();
        if (singleByte && waiting > 0)
            std::abort();
    }
    lines << split.Release();
    shown += lines.back();
    if (shown != stream || split.Holds() || !split.Release().isEmpty())
        std::abort();

    if (!encoded || released)
        return 0;
    // Text in the code page (what it has not became its substitute), cut anywhere: each line
    // ends where a character does.
    const QString whole = FromCodePageNumber(stream, codePage);
    QString joined;
    for (const QByteArray &line : lines) {
        const QString text = FromCodePageNumber(line, codePage);
        if (text.contains(Replacement) && !whole.contains(Replacement))
            std::abort();
        joined += text;
    }
    if (joined != whole)
        std::abort();
    return 0;
}
