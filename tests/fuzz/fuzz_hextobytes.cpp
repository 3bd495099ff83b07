// HexToBytes and HexBlock on any text: one byte per pair, odd tail dropped, and the hex of any
// bytes reads back as those bytes.

#include <cstddef>
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

    const QByteArray block = HexBlock(text);
    if (block.size() != 2 + 3 * text.size() || !block.startsWith('{') || !block.endsWith('}'))
        std::abort();
    return 0;
}
