#include "LogLines.h"

#include <charconv>

// Qt
#include <QByteArray>
#include <QString>
#include <QTime>

// platform
#include "TimeText.h"

#include "HexCodec.h"
#include "LocalCodePage.h"

namespace {

// A flood logs many lines within one millisecond, and formatting the time costs more than the
// rest of a short line: the text of the last time is kept.
QString lineTime(const QTime &time)
{
    static int last = -1;
    static QString text;
    const int ms = time.isValid() ? time.msecsSinceStartOfDay() : -1;
    if (ms < 0 || ms != last) {
        text = LongTimeText(time);
        last = ms;
    }
    return text;
}

QString dataPart(const QByteArray &bytes, bool hex)
{
    QString part;
    if (hex)
        part = QString::fromLatin1(HexBlock(bytes));
    return part + VisibleText(bytes);
}

} // namespace

namespace {

// Printable ASCII, tab and line ends read the same in every code page a locale can have, and
// need no control pictures: most floods are made of them.
bool isPlainText(const QByteArray &bytes)
{
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        if (u >= 0x7F || (u < 0x20 && u != '\t' && u != '\n' && u != '\r'))
            return false;
    }
    return true;
}

} // namespace

QString VisibleText(const QByteArray &bytes)
{
    if (isPlainText(bytes))
        return QString::fromLatin1(bytes);
    QString text = FromLocalCodePage(bytes);
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F)
            continue;
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0x7F) {
            // NUL and the other C0 controls as their control pictures (U+2400 + code, DEL U+2421).
            c = QChar(u == 0x7F ? char16_t(0x2421) : char16_t(0x2400 + u));
        } else if (u == 0xFDD0 || u == 0xFDD1 || u == 0xFFFC) {
            // The text document's own frame and object markers.
            c = QChar::ReplacementCharacter;
        }
    }
    return text;
}

QString ReceiveLine(const QTime &time, const QByteArray &bytes, bool hex)
{
    // Made in one piece: in a flood every copy of a line counts.
    const QString when = lineTime(time);
    const bool plain = isPlainText(bytes);
    const QString visible = plain ? QString() : VisibleText(bytes);
    const QStringView label = u" 收到数据：";
    QString line;
    line.reserve(when.size() + label.size() + (hex ? 3 * bytes.size() + 2 : 0)
                 + (plain ? bytes.size() : visible.size()));
    line.append(when).append(label);
    if (hex)
        line.append(QLatin1String(HexBlock(bytes)));
    // Plain text goes straight into the line, without a text of its own first.
    return plain ? line.append(QLatin1StringView(bytes)) : line.append(visible);
}

QString LoggedReceiveLine(const QTime &time, const QByteArray &bytes, bool hex)
{
    if (bytes.size() <= MaxShownBytes)
        return ReceiveLine(time, bytes, hex);
    return ReceiveLine(time, bytes.first(MaxShownBytes), hex) + CutNote(bytes.size(), MaxShownBytes);
}

QString CutNote(int64_t total, int64_t shown)
{
    return QStringLiteral("……(共收到%1字节，仅显示前%2字节)").arg(total).arg(shown);
}

QString TrimNote(int64_t droppedLines)
{
    return QStringLiteral("……(日志过长，最早的%1行已删除)……").arg(droppedLines);
}

QString SendLine(const QTime &time, const QByteArray &bytes, bool hex, const QString &repeatText)
{
    return lineTime(time) + QStringLiteral(" 发送数据：") + dataPart(bytes, hex) + QLatin1Char('[') + repeatText
        + QStringLiteral("次]");
}

QString FileSendLine(const QTime &time, const QString &fileName, int64_t size)
{
    return lineTime(time) + QStringLiteral(" 发送数据：文件") + fileName + QStringLiteral("（%1字节）[1次]").arg(size);
}

QString CounterLine(int64_t recvCount, int64_t sendCount)
{
    // Written on every read: one allocation.
    const auto number = [](QString &line, int64_t value) {
        char digits[24];
        const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
        line.append(QLatin1String(digits, int(end.ptr - digits)));
    };
    QString line;
    line.reserve(48);
    line.append(u"收：");
    number(line, recvCount);
    line.append(u"字节，发:");
    number(line, sendCount);
    return line.append(u"字节");
}
