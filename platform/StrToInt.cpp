#include "StrToInt.h"

// Qt
#include <QString>

#include "Exception.h"

namespace {

int hexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace

bool TryStrToInt(const QString &text, int32_t &value)
{
    const qsizetype n = text.size();
    const char16_t *s = reinterpret_cast<const char16_t *>(text.constData());
    qsizetype i = 0;
    while (i < n && s[i] == u' ')
        ++i;
    if (i == n)
        return false;

    bool hex = false;
    if (s[i] == u'$' || s[i] == u'x' || s[i] == u'X') {
        hex = true;
        i += 1;
    } else if (s[i] == u'0' && i + 1 < n && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }

    if (hex) {
        if (i == n)
            return false;
        uint32_t acc = 0;
        for (; i < n; ++i) {
            const int d = hexDigit(s[i]);
            if (d < 0 || acc > 0x0FFFFFFFu)
                return false;
            acc = (acc << 4) | static_cast<uint32_t>(d);
        }
        value = static_cast<int32_t>(acc);
        return true;
    }

    bool negative = false;
    if (s[i] == u'+' || s[i] == u'-') {
        negative = s[i] == u'-';
        ++i;
    }
    if (i == n)
        return false;
    // Only ASCII digits: full-width and other Unicode digits are "other characters".
    int64_t acc = 0;
    for (; i < n; ++i) {
        if (s[i] < u'0' || s[i] > u'9')
            return false;
        acc = acc * 10 + (s[i] - u'0');
        if (acc > int64_t(INT32_MAX) + 1)
            return false;
    }
    if (negative)
        acc = -acc;
    if (acc > INT32_MAX)
        return false;
    value = static_cast<int32_t>(acc);
    return true;
}

int32_t StrToInt(const QString &text)
{
    int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError(QLatin1Char('\'') + text + QStringLiteral("' is not a valid integer value"));
    return value;
}
