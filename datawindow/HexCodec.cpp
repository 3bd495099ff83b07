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
