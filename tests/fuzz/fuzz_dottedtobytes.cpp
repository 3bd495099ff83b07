// DottedToBytes on any text: never crashes; whatever it accepts names four bytes whose plain
// dotted form reads back the same; any four bytes in plain dotted form are accepted.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Qt
#include <QString>

#include "netcardinfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    if (const auto bytes = DottedToBytes(text)) {
        const QString plain = QStringLiteral("%1.%2.%3.%4").arg((*bytes)[0]).arg((*bytes)[1]).arg((*bytes)[2]).arg((*bytes)[3]);
        const auto again = DottedToBytes(plain);
        if (!again || *again != *bytes)
            std::abort();
    }

    if (size >= 4) {
        const QString plain = QStringLiteral("%1.%2.%3.%4").arg(data[0]).arg(data[1]).arg(data[2]).arg(data[3]);
        const auto parsed = DottedToBytes(plain);
        if (!parsed || (*parsed)[0] != data[0] || (*parsed)[1] != data[1] || (*parsed)[2] != data[2] || (*parsed)[3] != data[3])
            std::abort();
    }
    return 0;
}
