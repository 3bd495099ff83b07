#pragma once
// Expected texts written out here, independently of the program's own formatting functions, so
// that a test never checks a text against the code that made it.

#include <cstdint>

// Qt
#include <QByteArray>
#include <QString>

namespace testing_support {

// A data window's counter line: "收：20字节，发:0字节".
inline QString CountersText(int64_t received, int64_t sent)
{
    return QStringLiteral("收：%1字节，发:%2字节").arg(received).arg(sent);
}

// The hex block of a log line: "{41 42 }", "{}" for nothing.
inline QString HexBlockText(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QStringLiteral("{}");
    return QLatin1Char('{') + QString::fromLatin1(bytes.toHex(' ').toUpper()) + QStringLiteral(" }");
}

// What follows the shown part of a read longer than a line shows.
inline QString CutNoteText(int64_t total, int64_t shown)
{
    return QStringLiteral("……(共收到%1字节，仅显示前%2字节)").arg(total).arg(shown);
}

} // namespace testing_support
