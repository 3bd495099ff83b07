// Hex text both ways: the log's hex block and the send box's digits read back as bytes.

#include <gtest/gtest.h>

#include <ostream>

#include "HexCodec.h"

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

struct ToHexRow {
    int value;
    const char *digits;
};

class ByteToHexRows : public ::testing::TestWithParam<ToHexRow> {};

TEST_P(ByteToHexRows, TwoUpperCaseDigits)
{
    EXPECT_EQ(ByteToHex(static_cast<uint8_t>(GetParam().value)), QByteArray(GetParam().digits));
}

INSTANTIATE_TEST_SUITE_P(HexCodec, ByteToHexRows,
                         ::testing::Values(ToHexRow{0, "00"}, ToHexRow{10, "0A"}, ToHexRow{127, "7F"},
                                           ToHexRow{171, "AB"}, ToHexRow{255, "FF"}));

TEST(HexCodec, HexBlockHasABlankAfterEveryByte)
{
    EXPECT_EQ(HexBlock(QByteArray()), QByteArray("{}"));
    EXPECT_EQ(HexBlock(bytes({0x0D})), QByteArray("{0D }"));
    EXPECT_EQ(HexBlock(bytes({0x00, 0xFF})), QByteArray("{00 FF }"));
    EXPECT_EQ(HexBlock("AB"), QByteArray("{41 42 }"));
}

struct ToIntRow {
    const char *text;
    int32_t value;
};

class HexToIntRows : public ::testing::TestWithParam<ToIntRow> {};

TEST_P(HexToIntRows, ReadsDigitsLeftToRight)
{
    EXPECT_EQ(HexToInt(QByteArray(GetParam().text)), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(HexCodec, HexToIntRows,
                         ::testing::Values(ToIntRow{"", 0}, ToIntRow{"0", 0}, ToIntRow{"41", 0x41},
                                           ToIntRow{"ff", 0xFF}, ToIntRow{"Ab", 0xAB}, ToIntRow{" 1", 0x01},
                                           ToIntRow{"4 ", 0x40}, ToIntRow{"  ", 0}, ToIntRow{"7FFFFFFF", 0x7FFFFFFF},
                                           // Past 32 bits it wraps instead of overflowing.
                                           ToIntRow{"1FFFFFFFF", -1}, ToIntRow{"G", 0}, ToIntRow{"4G", 0x40}));

struct ToBytesRow {
    const char *name;
    QByteArray text;
    QByteArray bytes;
};

class HexToBytesRows : public ::testing::TestWithParam<ToBytesRow> {};

TEST_P(HexToBytesRows, OneBytePerPair)
{
    EXPECT_EQ(HexToBytes(GetParam().text).toHex(' '), GetParam().bytes.toHex(' '));
}

INSTANTIATE_TEST_SUITE_P(
    HexCodec, HexToBytesRows,
    ::testing::Values(ToBytesRow{"empty", "", {}}, ToBytesRow{"single_digit", "4", {}},
                      ToBytesRow{"pair", "4142", "AB"}, ToBytesRow{"odd_trailing_digit_dropped", "414", "A"},
                      ToBytesRow{"lower_case", "ff", bytes({0xFF})}, ToBytesRow{"blank_then_digit", " 1", bytes({0x01})},
                      ToBytesRow{"two_blanks", "  ", bytes({0x00})}, ToBytesRow{"digit_then_blank", "4 ", bytes({0x40})},
                      ToBytesRow{"blank_takes_its_place", "41 42", bytes({0x41, 0x04})},
                      ToBytesRow{"line_break_counts_as_zero", "41\r\n42", bytes({0x41, 0x00, 0x42})},
                      ToBytesRow{"non_digit_counts_as_zero", "G1zZ", bytes({0x01, 0x00})},
                      ToBytesRow{"zero_and_high_bytes_kept", QByteArray("00\xff\xfe", 4), bytes({0x00, 0x00})},
                      ToBytesRow{"all_digits", "0123456789abcdefABCDEF",
                                 bytes({0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xAB, 0xCD, 0xEF})}),
    [](const ::testing::TestParamInfo<ToBytesRow> &info) { return std::string(info.param.name); });

TEST(HexCodec, HexToBytesIsTheInverseOfTheDigits)
{
    QByteArray all;
    QByteArray digits;
    for (int i = 0; i < 256; ++i) {
        all.append(static_cast<char>(i));
        digits += ByteToHex(static_cast<uint8_t>(i));
    }
    EXPECT_EQ(HexToBytes(digits), all);
    EXPECT_EQ(HexToBytes(digits.toLower()), all);
}

struct HexTextRow {
    const char *name;
    QString text;
    QByteArray bytes;   // when read
    qsizetype position; // of the refused character, 0 when read
    char32_t character;
};

// The row by its name in test listings.
void PrintTo(const HexTextRow &row, std::ostream *os)
{
    *os << row.name;
}

class ReadHexTextRows : public ::testing::TestWithParam<HexTextRow> {};

TEST_P(ReadHexTextRows, BlanksAreSkippedAndAnythingElseIsRefused)
{
    const HexTextRow &row = GetParam();
    QByteArray bytes = "untouched";
    THexFault fault;
    const bool read = ReadHexText(row.text, &bytes, &fault);
    EXPECT_EQ(read, row.position == 0);
    if (read) {
        EXPECT_EQ(bytes.toHex(' '), row.bytes.toHex(' '));
    } else {
        EXPECT_EQ(bytes, QByteArray("untouched"));
        EXPECT_EQ(fault.position, row.position);
        EXPECT_EQ(fault.character, row.character);
    }
}

INSTANTIATE_TEST_SUITE_P(
    HexCodec, ReadHexTextRows,
    ::testing::Values(
        HexTextRow{"empty", QString(), {}, 0, 0}, HexTextRow{"blanks_only", QStringLiteral(" \t\n"), {}, 0, 0},
        HexTextRow{"dump", QStringLiteral("41 42 43"), "ABC", 0, 0},
        HexTextRow{"lines_and_tabs", QStringLiteral("41\t42\r\n43\n"), "ABC", 0, 0},
        HexTextRow{"pair_split_by_a_blank", QStringLiteral("4 1"), "A", 0, 0},
        HexTextRow{"wide_blank", QStringLiteral("41\u300042"), "AB", 0, 0},
        HexTextRow{"odd_last_digit_dropped", QStringLiteral("41 4"), "A", 0, 0},
        HexTextRow{"letter", QStringLiteral("Hi中 ab"), {}, 1, U'H'},
        HexTextRow{"chinese", QStringLiteral("ab 中"), {}, 4, U'中'},
        HexTextRow{"line_break_is_one_character", QStringLiteral("41\r\n\nx"), {}, 6, U'x'},
        HexTextRow{"outside_the_first_plane_is_one_character", QStringLiteral("\U0001F600 G"), {}, 1, U'\U0001F600'},
        HexTextRow{"after_one_outside_the_first_plane", QStringLiteral("41\U0001F600"), {}, 3, U'\U0001F600'},
        HexTextRow{"full_width_digit", QStringLiteral("4１"), {}, 2, U'１'},
        HexTextRow{"control_character", QStringLiteral("41\x01"), {}, 3, 1}),
    [](const ::testing::TestParamInfo<HexTextRow> &info) { return std::string(info.param.name); });

TEST(HexCodec, ARefusedCharacterIsNamedByItselfOrItsNumber)
{
    EXPECT_EQ(HexFaultText({3, U'中'}), QStringLiteral("十六进制数据中第3个字符“中”不是十六进制数字,数据未发送!"));
    EXPECT_EQ(HexFaultText({12, 1}), QStringLiteral("十六进制数据中第12个字符U+0001不是十六进制数字,数据未发送!"));
}

} // namespace
