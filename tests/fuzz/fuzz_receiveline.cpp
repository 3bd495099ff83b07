// The receive line for any received block: label and exact hex block in place, nothing in the
// data part that the log box would drop or take for structure, and the line kept as a record
// reads and counts as the line made at once.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Qt
#include <QByteArray>
#include <QString>
#include <QTime>

#include "HexCodec.h"
#include "LogLines.h"
#include "LogStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QTime time(12, 34, 56);
    const QString label = QStringLiteral(" 收到数据：");

    const QString visible = VisibleText(bytes);
    for (QChar c : visible) {
        const char16_t u = c.unicode();
        if (u == 0 || u == 0xFDD0 || u == 0xFDD1 || u == 0xFFFC)
            std::abort();
    }
    if (!bytes.isEmpty() && visible.isEmpty())
        std::abort();

    const QString plain = ReceiveLine(time, bytes, false);
    const int at = plain.indexOf(label);
    if (at <= 0 || plain.mid(at + label.size()) != visible)
        std::abort();

    const QString hex = ReceiveLine(time, bytes, true);
    const QString block = QString::fromLatin1(HexBlock(bytes));
    const int hat = hex.indexOf(label);
    if (hat <= 0 || hex.mid(hat + label.size()) != block + visible)
        std::abort();

    for (const bool withHex : {false, true}) {
        TLogStore record;
        TLogStore text;
        record.AppendReceived(time, bytes, withHex);
        text.Append(LoggedReceiveLine(time, bytes, withHex));
        if (record.LineCount() != text.LineCount() || record.CharacterCount() != text.CharacterCount()
            || record.Text() != text.Text())
            std::abort();
        for (qsizetype i = 0; i < record.LineCount(); ++i)
            if (record.LineSize(i) != record.Line(i).size())
                std::abort();
    }
    return 0;
}
