// The standard integer conversion on any text: it never crashes, throws exactly when it reports
// failure, and agrees with a plain reference reading of decimal and hex texts.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Qt
#include <QString>

#include "Exception.h"
#include "StrToInt.h"

namespace {

// Reference reading: leading blanks; sign and decimal digits, or a hex prefix and hex digits.
bool reference(const QString &s, int32_t &out)
{
    int i = 0;
    while (i < s.size() && s[i] == QLatin1Char(' '))
        ++i;
    auto hexValue = [](QChar c) -> int {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) return c.unicode() - '0';
        if (c >= QLatin1Char('a') && c <= QLatin1Char('f')) return c.unicode() - 'a' + 10;
        if (c >= QLatin1Char('A') && c <= QLatin1Char('F')) return c.unicode() - 'A' + 10;
        return -1;
    };
    const QString rest = s.mid(i);
    int start = -1;
    if (rest.startsWith(QLatin1String("0x")) || rest.startsWith(QLatin1String("0X")))
        start = 2;
    else if (rest.startsWith(QLatin1Char('$')) || rest.startsWith(QLatin1Char('x')) || rest.startsWith(QLatin1Char('X')))
        start = 1;
    if (start > 0) {
        if (rest.size() == start)
            return false;
        uint64_t v = 0;
        for (int k = start; k < rest.size(); ++k) {
            const int d = hexValue(rest[k]);
            if (d < 0)
                return false;
            v = v * 16 + static_cast<uint64_t>(d);
            if (v > 0xFFFFFFFFull)
                return false;
        }
        out = static_cast<int32_t>(static_cast<uint32_t>(v));
        return true;
    }
    int k = 0;
    bool negative = false;
    if (k < rest.size() && (rest[k] == QLatin1Char('+') || rest[k] == QLatin1Char('-'))) {
        negative = rest[k] == QLatin1Char('-');
        ++k;
    }
    if (k == rest.size())
        return false;
    int64_t v = 0;
    for (; k < rest.size(); ++k) {
        if (rest[k] < QLatin1Char('0') || rest[k] > QLatin1Char('9'))
            return false;
        v = v * 10 + (rest[k].unicode() - '0');
        if (v > 2147483648LL)
            return false;
    }
    v = negative ? -v : v;
    if (v > INT32_MAX || v < INT32_MIN)
        return false;
    out = static_cast<int32_t>(v);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    int32_t value = 0;
    const bool ok = TryStrToInt(text, value);
    int32_t expected = 0;
    if (ok != reference(text, expected) || (ok && value != expected))
        std::abort();

    bool threw = false;
    try {
        if (StrToInt(text) != value)
            std::abort();
    } catch (const EConvertError &e) {
        threw = true;
        if (e.Message() != QLatin1Char('\'') + text + QLatin1String("' is not a valid integer value"))
            std::abort();
    }
    if (threw == ok)
        std::abort();
    return 0;
}
