#pragma once
// The standard integer conversion of typed numbers (ports, repeat counts, address components).

#include <cstdint>

class QString;

// The whole text must be one 32-bit integer: leading blanks, then either an optional sign and
// decimal digits, or a hex prefix ($, x, X, 0x, 0X) and hex digits. Hex takes up to 32 bits and
// reads them as a two's-complement value ($FFFFFFFF is -1); more than 32 bits fails.
// Trailing blanks, an empty text, any other character or a decimal value outside the signed
// 32-bit range fail with EConvertError("'<text>' is not a valid integer value").
int32_t StrToInt(const QString &text);

// As StrToInt, but reports failure by its result instead of throwing.
bool TryStrToInt(const QString &text, int32_t &value);
