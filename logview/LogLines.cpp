#include "LogLines.h"

#include <charconv>

// Qt
#include <QByteArray>
#include <QString>
#include <QTime>

// platform
#include "TimeText.h"

#include "HexCodec.h"
#include "CodePages.h"

namespace {

const QStringView ReceiveLabel = u" 收到数据：";

QString dataPart(const QByteArray &bytes, bool hex, int codePage)
{
    QString part;
    if (hex)
        part = QString::fromLatin1(HexBlock(bytes));
    return part + VisibleText(bytes, codePage);
}

// Printable ASCII, tab and line ends read the same in every code page a locale can have, and
// need no control pictures: most floods are made of them.
enum class TBytes { Plain, PlainWithBreaks, Other };

TBytes classify(const QByteArray &bytes)
{
    const char *p = bytes.constData();
    const qsizetype n = bytes.size();
    bool breaks = false;
    const auto slow = [&breaks](const char *from, qsizetype count) {
        for (qsizetype i = 0; i < count; ++i) {
            const auto u = static_cast<unsigned char>(from[i]);
            if (u >= 0x20 && u < 0x7F)
                continue;
            if (u == '\n' || u == '\r')
                breaks = true;
            else if (u != '\t')
                return false;
        }
        return true;
    };
    // Every line of a flood passes here: whole blocks are checked without a branch per byte, so
    // that the compiler checks many bytes at a time, and only a block with a byte outside the
    // printable range is looked at byte by byte.
    constexpr qsizetype Block = 32;
    qsizetype i = 0;
    for (; i + Block <= n; i += Block) {
        unsigned outside = 0;
        for (qsizetype j = 0; j < Block; ++j)
            outside |= unsigned(static_cast<unsigned char>(p[i + j] - 0x20) > 0x5E);
        if (outside && !slow(p + i, Block))
            return TBytes::Other;
    }
    if (!slow(p + i, n - i))
        return TBytes::Other;
    return breaks ? TBytes::PlainWithBreaks : TBytes::Plain;
}

bool hasBreak(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n' || u == u'\r' || u == QChar::ParagraphSeparator || u == QChar::LineSeparator)
            return true;
    }
    return false;
}

} // namespace

QString VisibleText(const QByteArray &bytes, int codePage)
{
    if (classify(bytes) != TBytes::Other)
        return QString::fromLatin1(bytes);
    QString text = FromCodePageNumber(bytes, codePage);
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

QString LineTimeText(const QTime &time)
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

QString ReceiveLineText(const QString &timeText, const QByteArray &shown, int64_t total, bool hex, int codePage)
{
    // Made in one piece: in a flood every copy of a line counts.
    const bool plain = classify(shown) != TBytes::Other;
    const QString visible = plain ? QString() : VisibleText(shown, codePage);
    const QString cut = total > shown.size() ? CutNote(total, shown.size()) : QString();
    QString line;
    line.reserve(timeText.size() + ReceiveLabel.size() + (hex ? 3 * shown.size() + 2 : 0)
                 + (plain ? shown.size() : visible.size()) + cut.size());
    line.append(timeText).append(ReceiveLabel);
    if (hex)
        line.append(QLatin1String(HexBlock(shown)));
    // Plain text goes straight into the line, without a text of its own first.
    if (plain)
        line.append(QLatin1StringView(shown));
    else
        line.append(visible);
    return line.append(cut);
}

TReceiveLineSize ReceiveLineSize(const QString &timeText, const QByteArray &shown, int64_t total, bool hex,
                                 int codePage)
{
    TReceiveLineSize size;
    qsizetype visible = shown.size();
    switch (classify(shown)) {
    case TBytes::Plain:
        break;
    case TBytes::PlainWithBreaks:
        size.breaks = true;
        break;
    case TBytes::Other: {
        const QString text = VisibleText(shown, codePage);
        visible = text.size();
        size.breaks = hasBreak(text);
        break;
    }
    }
    size.chars = timeText.size() + ReceiveLabel.size() + (hex ? 3 * shown.size() + 2 : 0) + visible
        + (total > shown.size() ? CutNote(total, shown.size()).size() : 0);
    return size;
}

QString ReceiveLine(const QTime &time, const QByteArray &bytes, bool hex, int codePage)
{
    return ReceiveLineText(LineTimeText(time), bytes, bytes.size(), hex, codePage);
}

QString LoggedReceiveLine(const QTime &time, const QByteArray &bytes, bool hex, int codePage)
{
    if (bytes.size() <= MaxShownBytes)
        return ReceiveLine(time, bytes, hex, codePage);
    return ReceiveLineText(LineTimeText(time), bytes.first(MaxShownBytes), bytes.size(), hex, codePage);
}

QString CutNote(int64_t total, int64_t shown)
{
    return QStringLiteral("……(共收到%1字节，仅显示前%2字节)").arg(total).arg(shown);
}

QString TrimNote(int64_t droppedLines)
{
    return QStringLiteral("……(日志过长，最早的%1行已删除)……").arg(droppedLines);
}

QString SendLine(const QTime &time, const QByteArray &bytes, bool hex, const QString &repeatText, int codePage)
{
    return LineTimeText(time) + QStringLiteral(" 发送数据：") + dataPart(bytes, hex, codePage) + QLatin1Char('[') + repeatText
        + QStringLiteral("次]");
}

QString FileSendLine(const QTime &time, const QString &fileName, int64_t size)
{
    return LineTimeText(time) + QStringLiteral(" 发送数据：文件") + fileName + QStringLiteral("（%1字节）[1次]").arg(size);
}

QString FileShortLine(const QTime &time, const QString &fileName, int64_t sent, const QString &why)
{
    return LineTimeText(time) + QStringLiteral(" 发送数据：文件") + fileName + QStringLiteral("实际发出%1字节（").arg(sent)
        + why + QStringLiteral("）");
}

QString ConnectFailedLine(const QTime &time, const QString &host, int port, const QString &why)
{
    return LineTimeText(time) + QStringLiteral(" 连接失败：") + host + QLatin1Char('[') + QString::number(port)
        + QStringLiteral("]，") + why;
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
