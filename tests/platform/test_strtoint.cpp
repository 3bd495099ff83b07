// The standard integer conversion of typed numbers: what it accepts, what it refuses, and the
// message of a refusal.

#include <gtest/gtest.h>

// Qt
#include <QString>

#include "Exception.h"
#include "StrToInt.h"

namespace {

struct Accepted {
    const char16_t *text;
    int32_t value;
};

const Accepted acceptedRows[] = {
    {u"60000", 60000},
    {u" 8000", 8000},
    {u"     8000", 8000},
    {u"$1F40", 8000},
    {u"$EA60", 60000},
    {u"$ea60", 60000},
    {u"x1F40", 8000},
    {u"X1F40", 8000},
    {u"0x1F40", 8000},
    {u"0X1f40", 8000},
    {u" $10", 16},
    {u"0", 0},
    {u"-0", 0},
    {u"+17", 17},
    {u"-17", -17},
    {u"007", 7},
    {u"2147483647", INT32_MAX},
    {u"-2147483648", INT32_MIN},
    {u"00000000002147483647", INT32_MAX},
    {u"$7FFFFFFF", INT32_MAX},
    {u"$80000000", INT32_MIN},
    {u"$FFFFFFFF", -1},
    {u"$00000000FFFF", 65535},
    {u"70000", 70000},
};

const char16_t *const refusedRows[] = {
    u"",
    u" ",
    u"8000 ",
    u"8000\t",
    u"\t8000",
    u"2147483648",
    u"-2147483649",
    u"99999999999999999999",
    u"$100000000",
    u"$",
    u"0x",
    u"x",
    u"+",
    u"-",
    u"+-1",
    u"-$10",
    u"+0x10",
    u"$-10",
    u"12a",
    u"1 2",
    u"1.5",
    u"1e3",
    u"$1G",
    u"#10",
    u"0b101",
    u"８０００", // full-width digits
    u"٣",      // another script's digit
    u"abc",
};

} // namespace

TEST(StrToInt, AcceptedTexts)
{
    for (const Accepted &row : acceptedRows) {
        const QString text = QString::fromUtf16(row.text);
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(StrToInt(text), row.value);
        int32_t v = 12345;
        EXPECT_TRUE(TryStrToInt(text, v));
        EXPECT_EQ(v, row.value);
    }
}

TEST(StrToInt, RefusedTextsNameThemselvesInTheMessage)
{
    for (const char16_t *row : refusedRows) {
        const QString text = QString::fromUtf16(row);
        SCOPED_TRACE(text.toStdString());
        int32_t v = 12345;
        EXPECT_FALSE(TryStrToInt(text, v));
        EXPECT_EQ(v, 12345) << "a refused text must leave the value alone";
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted";
        } catch (const EConvertError &e) {
            EXPECT_EQ(e.Message(), QLatin1Char('\'') + text + QStringLiteral("' is not a valid integer value"));
        }
    }
}

TEST(StrToInt, MessageKeepsTheTextAsTyped)
{
    // A text that itself looks like a format placeholder must come out unchanged.
    try {
        StrToInt(QStringLiteral("%1 port"));
        ADD_FAILURE() << "accepted";
    } catch (const EConvertError &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'%1 port' is not a valid integer value"));
    }
    EXPECT_THROW(StrToInt(QString(QChar(0)) + QStringLiteral("1")), EConvertError);
    EXPECT_THROW(StrToInt(QStringLiteral("1") + QChar(0)), EConvertError);
}
