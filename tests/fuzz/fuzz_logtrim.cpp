// A receive log through appends, the user's edits and trims as the data window makes them: it
// always reads as a plain list of lines kept beside it, places in it map to offsets in its text
// and back, a trim keeps the newest lines whole behind one note, and the memory it tells of is
// what its lines cost.
//
// Input: operations, each a byte and what that operation reads after it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Qt
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTime>

#include "CodePages.h"
#include "LogLines.h"
#include "LogStore.h"

namespace {

struct Input {
    const uint8_t *at;
    const uint8_t *end;
    unsigned byte() { return at < end ? *at++ : 0; }
    QByteArray bytes(size_t n)
    {
        at += (n = std::min(n, size_t(end - at)));
        return QByteArray(reinterpret_cast<const char *>(at - n), qsizetype(n));
    }
    // Text with line breaks of every kind now and then, Latin-1 or UTF-16.
    QString text()
    {
        const unsigned kind = byte();
        const QByteArray b = bytes(kind % 24);
        if (!(kind & 0x80))
            return QString::fromLatin1(b);
        QString s;
        for (qsizetype i = 0; i + 1 < b.size(); i += 2)
            s += QChar(char16_t(uint8_t(b[i]) << 8 | uint8_t(b[i + 1])));
        return s;
    }
    TLogPosition position() { return {qsizetype(byte()) - 2, qsizetype(byte()) - 2}; }
};

// The lines a text makes: "\r\n", "\r", "\n", U+2028 and U+2029 each end one.
QStringList linesOf(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (const char16_t c : {u'\r', u'\x2028', u'\x2029'})
        text.replace(QChar(c), u'\n');
    return text.split(u'\n');
}

TLogPosition clamped(const QStringList &lines, TLogPosition p)
{
    if (lines.isEmpty())
        return {};
    p.line = std::clamp<qsizetype>(p.line, 0, lines.size() - 1);
    p.column = std::clamp<qsizetype>(p.column, 0, lines[p.line].size());
    return p;
}

qsizetype offsetOf(const QStringList &lines, TLogPosition p)
{
    p = clamped(lines, p);
    qsizetype offset = p.column;
    for (qsizetype i = 0; i < p.line; ++i)
        offset += lines[i].size() + 1;
    return offset;
}

// What a log holding just this line costs.
qsizetype costOfOnly(const QString &line)
{
    TLogStore one;
    one.ReplaceFront(0, line);
    return one.MemoryBytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input in{data, data + size};
    TLogStore log;
    QStringList lines;
    int64_t dropped = 0;
    for (int ops = 0; in.at < in.end && ops < 200; ++ops) {
        const unsigned op = in.byte() % 8;
        if (op == 0) {
            const QString text = in.text();
            log.Append(text);
            lines += linesOf(text);
        } else if (op <= 2) {
            const unsigned second = in.byte();
            const QTime time = second % 5 == 4 ? QTime() : QTime(23, 59, 57 + int(second % 3), int(second % 2));
            const unsigned flags = in.byte();
            const QByteArray bytes = in.bytes(in.byte() % 48);
            const int codePage = int(flags >> 1) % CodePageCount();
            log.AppendReceived(time, bytes, flags & 1, codePage);
            lines += linesOf(LoggedReceiveLine(time, bytes, flags & 1, codePage));
        } else if (op == 3) {
            const TLogPosition at = in.position();
            const QString text = in.text();
            const QString added = linesOf(text).join(u'\n');
            if (lines.isEmpty())
                lines << QString();
            const qsizetype start = offsetOf(lines, at);
            lines = lines.join(u'\n').insert(start, added).split(u'\n');
            // The position returned is right after what went in.
            const TLogPosition end = log.Insert(at, text);
            if (clamped(lines, end) != end || offsetOf(lines, end) != start + added.size())
                std::abort();
        } else if (op == 4) {
            TLogPosition from = clamped(lines, in.position());
            TLogPosition to = clamped(lines, in.position());
            if (to < from)
                std::swap(from, to);
            log.Remove(from, to);
            if (from != to) {
                const qsizetype start = offsetOf(lines, from);
                lines = lines.join(u'\n').remove(start, offsetOf(lines, to) - start).split(u'\n');
                // A box the user emptied is empty.
                if (lines.size() == 1 && lines[0].isEmpty())
                    lines.clear();
            }
        } else {
            const qsizetype maxBytes = qsizetype(in.byte()) * 32;
            const qsizetype maxLines = in.byte() % 48;
            const qsizetype before = log.LineCount();
            const qsizetype bytesBefore = log.MemoryBytes();
            const qsizetype drop = log.FrontLinesOver(maxBytes, maxLines);
            // Never every line, and none while within both bounds.
            if (drop < 0 || drop >= std::max<qsizetype>(before, 1)
                || (drop > 0 && bytesBefore <= maxBytes && before <= maxLines))
                std::abort();
            if (drop > 0) {
                dropped += drop - (dropped > 0 ? 1 : 0);
                const QString note = TrimNote(dropped);
                log.ReplaceFront(drop, note);
                lines = QStringList{note} + lines.mid(drop);
                // The note, then the newest lines, whole.
                if (log.LineCount() != before - drop + 1)
                    std::abort();
                for (qsizetype i = 0; i < log.LineCount(); ++i)
                    if (log.Line(i) != lines[i])
                        std::abort();
                // Unless that takes all but one line, the log is back within both bounds, the
                // note counted.
                if (drop < before - 1 && (log.LineCount() > maxLines || log.MemoryBytes() > maxBytes))
                    std::abort();
                // Lines gone cost nothing any more: only the note is new.
                if (log.MemoryBytes() > bytesBefore + costOfOnly(note))
                    std::abort();
            }
        }

        const QString text = log.Text();
        if (log.LineCount() != lines.size() || text != lines.join(u'\n') || log.TextSize() != text.size()
            || log.CharacterCount() != text.size() + 1)
            std::abort();
        if (log.MemoryBytes() < 0 || (log.LineCount() == 0 && log.MemoryBytes() != 0))
            std::abort();
        const TLogPosition p = in.position();
        const qsizetype offset = log.Offset(p);
        if (offset != offsetOf(lines, p) || log.PositionOf(offset) != clamped(lines, p))
            std::abort();
    }

    // Every line dropped for one: the log costs what a fresh log of that line does, nothing left
    // over from edits, trims or the arena.
    if (log.LineCount() > 0) {
        log.ReplaceFront(log.LineCount(), QStringLiteral("x"));
        if (log.MemoryBytes() != costOfOnly(QStringLiteral("x")))
            std::abort();
    }
    return 0;
}
