// HexToBytes and HexBlock on any text: one byte per pair, odd tail dropped, and the hex of any
// bytes reads back as those bytes. ReadHexText on the same text as UTF-8: it reads exactly the
// digits paired when only blanks lie between them, and otherwise names the first character that
// is neither, by its place counted in characters.

#include <cctype>
#include <cstddef>
#include <string>
#include <cstdint>
#include <cstdlib>

#include "HexCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    const QByteArray bytes = HexToBytes(text);
    if (bytes.size() != text.size() / 2)
        std::abort();

    // The input taken as bytes: their digits back to back read back as the same bytes.
    QByteArray digits;
    for (char c : text)
        digits += ByteToHex(static_cast<uint8_t>(c));
    if (HexToBytes(digits) != text)
        std::abort();

    const std::u32string characters = QString::fromUtf8(text).toStdU32String();
    QByteArray digits2;
    qsizetype firstOther = 0;
    for (size_t i = 0; i < characters.size() && firstOther == 0; ++i) {
        const char32_t c = characters[i];
        if (c < 128 && std::isxdigit(int(c)))
            digits2 += char(c);
        else if (!IsHexBlank(c))
            firstOther = qsizetype(i) + 1;
    }
    QByteArray read;
    THexFault fault;
    if (ReadHexText(QString::fromUtf8(text), &read, &fault) != (firstOther == 0))
        std::abort();
    if (firstOther == 0 && (read != HexToBytes(digits2) || read.size() != digits2.size() / 2))
        std::abort();
    if (firstOther != 0 && (fault.position != firstOther || fault.character != characters[size_t(firstOther - 1)]))
        std::abort();

    const QByteArray block = HexBlock(text);
    if (block.size() != 2 + 3 * text.size() || !block.startsWith('{') || !block.endsWith('}'))
        std::abort();
    return 0;
}
