// Hex text both ways: the log's hex block and the send box's digits read back as bytes.

#include <gtest/gtest.h>

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

} // namespace
