#include "HexCodec.h"

namespace {

constexpr char Digits[] = "0123456789ABCDEF";

// The value of one character of hex text; a blank, and anything that is no digit, is 0.
uint32_t digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<uint32_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<uint32_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<uint32_t>(c - 'a' + 10);
    return 0;
}

} // namespace

QByteArray ByteToHex(uint8_t value)
{
    const char pair[2] = {Digits[value >> 4], Digits[value & 0x0F]};
    return QByteArray(pair, 2);
}

QByteArray HexBlock(const QByteArray &bytes)
{
    QByteArray block(bytes.size() * 3 + 2, Qt::Uninitialized);
    char *out = block.data();
    *out++ = '{';
    for (char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        *out++ = Digits[b >> 4];
        *out++ = Digits[b & 0x0F];
        *out++ = ' ';
    }
    *out = '}';
    return block;
}

int32_t HexToInt(const QByteArray &text)
{
    uint32_t result = 0;
    for (char c : text)
        result = result * 16 + digitValue(c);
    return static_cast<int32_t>(result);
}

QByteArray HexToBytes(const QByteArray &text)
{
    const qsizetype n = text.size() / 2;
    QByteArray bytes(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        bytes[i] = static_cast<char>((digitValue(text[2 * i]) << 4) | digitValue(text[2 * i + 1]));
    return bytes;
}

bool IsHexBlank(char32_t c)
{
    // Line breaks of any kind, blanks of any width, tabs.
    return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029 || c == 0x85 || QChar::isSpace(c);
}

bool ReadHexText(const QString &text, QByteArray *bytes, THexFault *fault)
{
    QByteArray digits;
    digits.reserve(text.size());
    qsizetype position = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        // A character outside the first plane is one character, in two units.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        ++position;
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')) {
            digits += char(c);
        } else if (!IsHexBlank(c)) {
            if (fault)
                *fault = {position, c};
            return false;
        }
    }
    *bytes = HexToBytes(digits);
    return true;
}

QString HexFaultText(const THexFault &fault)
{
    // A character that shows nothing is named by its number.
    const QString shown = QString::fromUcs4(&fault.character, 1);
    const bool visible = QChar::isPrint(fault.character) && !QChar::isMark(fault.character);
    const QString name = visible ? QStringLiteral("“%1”").arg(shown)
                                 : QStringLiteral("U+%1").arg(uint(fault.character), 4, 16, QLatin1Char('0')).toUpper();
    return QStringLiteral("十六进制数据中第%1个字符%2不是十六进制数字,数据未发送!").arg(fault.position).arg(name);
}
