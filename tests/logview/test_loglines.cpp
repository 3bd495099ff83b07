// The receive, send and counter lines, and how received bytes read as text in the log.

#include <gtest/gtest.h>

#include <iterator>

// Qt
#include <QTime>

#include "CodePages.h"
#include "LocalCodePage.h"
#include "LogLines.h"
#include "TimeText.h"

// Readable failure messages.
void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QTime At(13, 5, 9);

QByteArray raw(const char *data, int size) { return QByteArray(data, size); }

TEST(LogLines, ReceiveLineIsTimeLabelHexBlockAndText)
{
    const QString label = LongTimeText(At) + QStringLiteral(" 收到数据：");
    EXPECT_EQ(ReceiveLine(At, "AB", false), label + QStringLiteral("AB"));
    EXPECT_EQ(ReceiveLine(At, "AB", true), label + QStringLiteral("{41 42 }AB"));
    EXPECT_EQ(ReceiveLine(At, QByteArray(), true), label + QStringLiteral("{}"));
    EXPECT_EQ(ReceiveLine(At, raw("\x00\xff", 2), true), label + QStringLiteral("{00 FF }␀\uFFFD"));
}

TEST(LogLines, SendLineEndsWithTheRepeatTextAsTyped)
{
    const QString label = LongTimeText(At) + QStringLiteral(" 发送数据：");
    EXPECT_EQ(SendLine(At, "12", true, QStringLiteral("10")), label + QStringLiteral("{31 32 }12[10次]"));
    EXPECT_EQ(SendLine(At, "ab", false, QStringLiteral("10")), label + QStringLiteral("ab[10次]"));
    EXPECT_EQ(SendLine(At, "ab", false, QStringLiteral("-5")), label + QStringLiteral("ab[-5次]"));
    EXPECT_EQ(SendLine(At, "ab", false, QStringLiteral("abc")), label + QStringLiteral("ab[abc次]"));
}

TEST(LogLines, TimeHasNoDateAndNoZone)
{
    const QString time = LongTimeText(At);
    EXPECT_TRUE(time.contains(QStringLiteral("05")) && time.contains(QStringLiteral("09"))) << qPrintable(time);
    EXPECT_FALSE(time.contains(QStringLiteral("UTC")) || time.contains(QStringLiteral("GMT"))) << qPrintable(time);
    EXPECT_FALSE(time.contains(QString::number(QDate::currentDate().year())));
}

TEST(LogLines, CounterLine)
{
    EXPECT_EQ(CounterLine(0, 0), QStringLiteral("收：0字节，发:0字节"));
    EXPECT_EQ(CounterLine(2, 20), QStringLiteral("收：2字节，发:20字节"));
    // 64-bit, no digit grouping.
    EXPECT_EQ(CounterLine(5000000000LL, 2147483648LL), QStringLiteral("收：5000000000字节，发:2147483648字节"));
    EXPECT_EQ(CounterLine(-1, 0), QStringLiteral("收：-1字节，发:0字节"));
}

struct VisibleRow {
    const char *name;
    QByteArray bytes;
    QString shown;
};

class VisibleTextRows : public ::testing::TestWithParam<VisibleRow> {};

TEST_P(VisibleTextRows, NothingCutsTheLineShort)
{
    EXPECT_EQ(VisibleText(GetParam().bytes), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    LogLines, VisibleTextRows,
    ::testing::Values(
        VisibleRow{"zero_bytes", raw("A\0\0B", 4), QStringLiteral("A␀␀B")},
        VisibleRow{"only_zero", raw("\0", 1), QStringLiteral("␀")},
        VisibleRow{"invalid_byte", raw("A\xff" "B", 3), QStringLiteral("A\uFFFDB")},
        VisibleRow{"character_cut_at_the_end", raw("A\xe4\xbd", 3), QStringLiteral("A\uFFFD\uFFFD")},
        VisibleRow{"controls", raw("\x01\x07\x1b\x1f\x7f" "x", 6), QStringLiteral("␁␇␛␟␡x")},
        VisibleRow{"printable_ends_and_delete", raw(" ~\x7f", 3), QStringLiteral(" ~␡")},
        VisibleRow{"tab_and_line_breaks_kept", raw("a\tb\r\nc\nd", 8), QStringLiteral("a\tb\r\nc\nd")},
        VisibleRow{"document_markers", raw("a\xef\xb7\x90" "b", 5), QStringLiteral("a\uFFFDb")},
        // A byte order mark at the start is data like any other.
        VisibleRow{"leading_bom_kept", raw("\xef\xbb\xbf" "a", 4), QStringLiteral("\uFEFFa")}),
    [](const ::testing::TestParamInfo<VisibleRow> &info) { return std::string(info.param.name); });

TEST(LocalCodePage, NamedCharsetDecodesAndEncodes)
{
    const QByteArray gbk = raw("\xc4\xe3\xba\xc3", 4);
    EXPECT_EQ(FromCodePage(gbk, "GBK"), QStringLiteral("你好"));
    EXPECT_EQ(ToCodePage(QStringLiteral("你好"), "GBK"), gbk);
    // A byte that starts no character does not take the following characters with it.
    const QString broken = FromCodePage(raw("\xff" "AB", 3), "GBK");
    EXPECT_EQ(broken.size(), 3);
    EXPECT_TRUE(broken.endsWith(QStringLiteral("AB"))) << qPrintable(broken);
    // Nor does a lead byte at the end vanish.
    EXPECT_EQ(FromCodePage(raw("A\xc4", 2), "GBK"), QStringLiteral("A\uFFFD"));
    EXPECT_EQ(FromCodePage(raw("A\xc4\n", 3), "GBK"), QStringLiteral("A\uFFFD\n"));
}

TEST(LocalCodePage, AsciiAndUnknownCharsetsFallBackToUtf8)
{
    const QByteArray utf8 = QStringLiteral("你好").toUtf8();
    for (const char *charset : {"ANSI_X3.4-1968", "", "no-such-charset"}) {
        EXPECT_EQ(FromCodePage(utf8, charset), QStringLiteral("你好")) << charset;
        EXPECT_EQ(ToCodePage(QStringLiteral("你好"), charset), utf8) << charset;
    }
    EXPECT_EQ(FromCodePage(raw("a\0b", 3), "UTF-8"), QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b")));
}

} // namespace

// Every place a read can end in a text, in every code page a window offers: the two receive
// lines read as the text, with no replacement character.
TEST(LogLines, ACharacterSplitAcrossTwoReadsShowsWholeInTheSecond)
{
    const char *const texts[] = {"温度：25℃ 𠀀", "温度：25℃ 𠀀", "温度：25℃ 𠀀", "溫度測試", "温度テスト", "온도 시험", "Grüße à 25°"};
    ASSERT_EQ(CodePageCount(), int(std::size(texts)));
    for (int page = 0; page < CodePageCount(); ++page) {
        const QString text = QString::fromUtf8(texts[page]);
        const QByteArray bytes = ToCodePageNumber(text, page);
        for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
            TSplitCharacters split;
            const QString first = VisibleText(split.Take(bytes.first(cut), page), page);
            const QString second = VisibleText(split.Take(bytes.mid(cut), page), page);
            EXPECT_EQ(first + second, text) << CodePageTitle(page).toStdString() << " cut " << cut;
            EXPECT_FALSE(split.Holds());
        }
    }
}
