// The receive log box: its line store, following the end while lines arrive, scrolling through
// long wrapped lines, selecting with mouse and keys, copying, and editing as a text box does.

#include <gtest/gtest.h>

#include <memory>

// Qt
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QInputMethodEvent>
#include <QMenu>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTime>
#include <QWheelEvent>

#include "EditHistory.h"
#include "LineLayout.h"
#include "LogLines.h"
#include "LogStore.h"
#include "LogView.h"
#include "LogViewAccessible.h"
#include "RowMap.h"
#include "TestSupport.h"

// Readable failure messages.
void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

using testing_support::WaitUntil;

QStringList LinesOf(const TLogStore &store)
{
    QStringList lines;
    for (qsizetype i = 0; i < store.LineCount(); ++i)
        lines << store.Line(i);
    return lines;
}

QStringList LinesOf(const TLogView &view)
{
    QStringList lines;
    for (qsizetype i = 0; i < view.lineCount(); ++i)
        lines << view.line(i);
    return lines;
}

// ---- store ---------------------------------------------------------------------------------

struct SplitRow {
    const char *name;
    QString appended;
    QStringList lines;
};

class StoreSplit : public ::testing::TestWithParam<SplitRow> {};

TEST_P(StoreSplit, AppendedTextBecomesLines)
{
    const SplitRow &row = GetParam();
    TLogStore store;
    store.Append(QStringLiteral("before"));
    store.Append(row.appended);
    const QStringList expected = QStringList{QStringLiteral("before")} + row.lines;
    EXPECT_EQ(LinesOf(store), expected);
    EXPECT_EQ(store.Text(), expected.join(u'\n'));
    qsizetype chars = 0;
    for (const QString &l : expected)
        chars += l.size() + 1;
    EXPECT_EQ(store.CharacterCount(), chars);
}

INSTANTIATE_TEST_SUITE_P(
    LogStore, StoreSplit,
    ::testing::Values(SplitRow{"plain", "abc", {"abc"}}, SplitRow{"empty", "", {""}},
                      SplitRow{"line_feed", "a\nb", {"a", "b"}}, SplitRow{"cr_lf_is_one_break", "a\r\nb", {"a", "b"}},
                      SplitRow{"lone_cr", "a\rb", {"a", "b"}}, SplitRow{"cr_then_lf_apart", "a\r\r\nb", {"a", "", "b"}},
                      SplitRow{"trailing_break", "c\r\n", {"c", ""}},
                      SplitRow{"paragraph_separator", QStringLiteral("a\u2029b"), {"a", "b"}},
                      SplitRow{"line_separator", QStringLiteral("a\u2028b"), {"a", "b"}},
                      SplitRow{"breaks_only", "\n\n", {"", "", ""}}),
    [](const ::testing::TestParamInfo<SplitRow> &info) { return std::string(info.param.name); });

TEST(LogStore, EmptyStoreHasNoLines)
{
    TLogStore store;
    EXPECT_EQ(store.LineCount(), 0);
    EXPECT_EQ(store.CharacterCount(), 1);
    EXPECT_EQ(store.Text(), QString());
    EXPECT_EQ(store.End(), TLogPosition{});
}

TEST(LogStore, InsertAndRemoveSplitAndJoinLines)
{
    TLogStore store;
    store.Append(QStringLiteral("abcdef"));
    store.Append(QStringLiteral("ghi"));
    EXPECT_EQ(store.Insert({0, 3}, QStringLiteral("1\n2\r\n3")), (TLogPosition{2, 1}));
    EXPECT_EQ(LinesOf(store), (QStringList{"abc1", "2", "3def", "ghi"}));
    EXPECT_EQ(store.Text({0, 2}, {2, 2}), QStringLiteral("c1\n2\n3d"));
    // Backwards is the same range.
    EXPECT_EQ(store.Text({2, 2}, {0, 2}), QStringLiteral("c1\n2\n3d"));
    store.Remove({2, 1}, {0, 3});
    EXPECT_EQ(LinesOf(store), (QStringList{"abcdef", "ghi"}));
    // Removing a line end joins two lines.
    store.Remove({0, 6}, {1, 0});
    EXPECT_EQ(LinesOf(store), QStringList{"abcdefghi"});
    EXPECT_EQ(store.CharacterCount(), 10);
    // Emptied by hand, the store has no lines again: the next append is the first line.
    store.Remove({0, 0}, store.End());
    EXPECT_EQ(store.LineCount(), 0);
    store.Append(QStringLiteral("x"));
    EXPECT_EQ(store.Text(), QStringLiteral("x"));
}

TEST(LogStore, ReplaceFrontCountsCharactersOfWhatStays)
{
    TLogStore store;
    for (int i = 0; i < 10; ++i)
        store.Append(QString::number(i * 11));
    store.ReplaceFront(4, QStringLiteral("note"));
    EXPECT_EQ(LinesOf(store), (QStringList{"note", "44", "55", "66", "77", "88", "99"}));
    EXPECT_EQ(store.CharacterCount(), 5 + 6 * 3);
    EXPECT_EQ(store.Clamp({40, 7}), (TLogPosition{6, 2}));
}

TEST(LogStore, KeepsNoSpareRoomOfALineBuiltByAppending)
{
    QString line;
    line.reserve(100000);
    line += QStringLiteral("short");
    TLogStore store;
    store.Append(line);
    EXPECT_EQ(store.Line(0), QStringLiteral("short"));
    EXPECT_LT(store.Line(0).capacity(), 1000);
}

// Every position's offset in the text, found the slow way, and back.
void ExpectOffsetsMatchText(const TLogStore &store)
{
    qsizetype offset = 0;
    for (qsizetype l = 0; l < store.LineCount(); ++l) {
        for (qsizetype c = 0; c <= store.Line(l).size(); ++c) {
            ASSERT_EQ(store.Offset({l, c}), offset + c) << l << ':' << c;
            ASSERT_EQ(store.PositionOf(offset + c), (TLogPosition{l, c})) << l << ':' << c;
        }
        offset += store.Line(l).size() + 1;
    }
    EXPECT_EQ(store.TextSize(), store.Text().size());
}

TEST(LogStore, OffsetsFollowAppendsTrimsAndEdits)
{
    TLogStore store;
    EXPECT_EQ(store.Offset({3, 3}), 0);
    EXPECT_EQ(store.PositionOf(7), TLogPosition{});
    for (int i = 0; i < 30; ++i)
        store.Append(QString(i % 7, QChar(u'a' + i % 26)));
    ExpectOffsetsMatchText(store);
    // Indexed: appends, trims and edits keep it right.
    for (int i = 0; i < 5; ++i)
        store.Append(QStringLiteral("more %1").arg(i));
    ExpectOffsetsMatchText(store);
    store.ReplaceFront(4, QStringLiteral("trimmed"));
    ExpectOffsetsMatchText(store);
    store.Insert({10, 1}, QStringLiteral("x\ny"));
    ExpectOffsetsMatchText(store);
    store.Remove({3, 0}, {12, 1});
    ExpectOffsetsMatchText(store);
    // Typing within a line, then in another, then a trim and appends after it.
    store.Insert({5, 0}, QStringLiteral("typed"));
    ExpectOffsetsMatchText(store);
    store.Insert({5, 2}, QStringLiteral("more"));
    store.Remove({5, 1}, {5, 3});
    ExpectOffsetsMatchText(store);
    store.Remove({5, 0}, {5, 1});
    store.Insert({8, 0}, QStringLiteral("elsewhere"));
    ExpectOffsetsMatchText(store);
    store.Insert({2, 0}, QStringLiteral("x"));
    store.ReplaceFront(3, QStringLiteral("trimmed again"));
    store.Append(QStringLiteral("after"));
    ExpectOffsetsMatchText(store);
    // A line added after typing in the last one.
    store.Insert(store.End(), QStringLiteral("end"));
    store.Insert({3, 0}, QStringLiteral("\n"));
    ExpectOffsetsMatchText(store);
    store.ReplaceFront(store.LineCount(), QStringLiteral("all gone"));
    ExpectOffsetsMatchText(store);
    store.Remove({0, 0}, store.End());
    EXPECT_EQ(store.TextSize(), 0);
    store.Append(QStringLiteral("again"));
    ExpectOffsetsMatchText(store);
    // Past the end is the end.
    EXPECT_EQ(store.PositionOf(1000), (TLogPosition{0, 5}));
}

// ---- receive lines kept as records -----------------------------------------------------------

struct ReceivedRow {
    const char *name;
    QByteArray bytes;
    bool hex;
};

class ReceivedLines : public ::testing::TestWithParam<ReceivedRow> {};

// A receive line kept as its parts reads as the line made at once would, and counts the same.
TEST_P(ReceivedLines, ReadAsTheLineMadeAtOnce)
{
    const ReceivedRow &row = GetParam();
    const QTime at(13, 5, 9, 120);
    TLogStore records;
    TLogStore texts;
    for (TLogStore *store : {&records, &texts})
        store->Append(QStringLiteral("before"));
    records.AppendReceived(at, row.bytes, row.hex);
    texts.Append(LoggedReceiveLine(at, row.bytes, row.hex));
    records.Append(QStringLiteral("after"));
    texts.Append(QStringLiteral("after"));
    EXPECT_EQ(LinesOf(records), LinesOf(texts));
    for (qsizetype i = 0; i < records.LineCount(); ++i)
        EXPECT_EQ(records.LineSize(i), records.Line(i).size()) << i;
    EXPECT_EQ(records.CharacterCount(), texts.CharacterCount());
    EXPECT_EQ(records.Text(), texts.Text());
    EXPECT_EQ(records.Offset(records.End()), texts.Offset(texts.End()));
    EXPECT_EQ(records.PositionOf(texts.TextSize() - 3), texts.PositionOf(texts.TextSize() - 3));
}

INSTANTIATE_TEST_SUITE_P(
    LogStore, ReceivedLines,
    ::testing::Values(ReceivedRow{"plain", "hello", false}, ReceivedRow{"hex", "AB", true},
                      ReceivedRow{"empty", "", false}, ReceivedRow{"empty_hex", "", true},
                      ReceivedRow{"controls_and_invalid", QByteArray("\x00\xff\x1b" "a", 4), true},
                      ReceivedRow{"multibyte", "\xe4\xbd\xa0\xe5\xa5\xbd", false},
                      ReceivedRow{"line_breaks", "a\r\nb\nc", true},
                      ReceivedRow{"separator_in_the_code_page", "a\xe2\x80\xa8" "b", false},
                      ReceivedRow{"cut", QByteArray(70000, 'x'), false},
                      ReceivedRow{"cut_hex", QByteArray(70000, '\x01'), true},
                      ReceivedRow{"break_past_the_shown_bytes", QByteArray(MaxShownBytes, 'y') + "\nz", false}),
    [](const ::testing::TestParamInfo<ReceivedRow> &info) { return std::string(info.param.name); });

// Receive lines from many seconds, trimmed at the front, edited and trimmed again: each keeps
// its own time and bytes.
TEST(LogStore, ReceiveLinesKeepTheirTimesThroughTrimsAndEdits)
{
    TLogStore store;
    QStringList expected;
    for (int i = 0; i < 3000; ++i) {
        const QTime at = QTime(10, 0, 0).addMSecs(i * 7);
        const QByteArray bytes = QByteArray::number(i).repeated(1 + i % 40);
        store.AppendReceived(at, bytes, i % 3 == 0);
        expected << LoggedReceiveLine(at, bytes, i % 3 == 0);
    }
    store.ReplaceFront(2000, QStringLiteral("note"));
    expected = QStringList{QStringLiteral("note")} + expected.mid(2000);
    EXPECT_EQ(LinesOf(store), expected);
    // An edited receive line becomes text of its own; its neighbours stay as they were.
    store.Insert({500, 3}, QStringLiteral("typed\n"));
    expected[500].insert(3, QStringLiteral("typed"));
    expected.insert(501, expected[500].mid(8));
    expected[500].truncate(8);
    store.Remove({700, 2}, {702, 4});
    expected[700] = expected[700].left(2) + expected[702].mid(4);
    expected.remove(701, 2);
    EXPECT_EQ(LinesOf(store), expected);
    ExpectOffsetsMatchText(store);
    store.ReplaceFront(store.LineCount() - 1, QStringLiteral("note"));
    EXPECT_EQ(LinesOf(store), (QStringList{QStringLiteral("note"), expected.back()}));
}

// What a flood of empty and one-byte datagrams costs a line, and a Latin-1 line a character; and
// a trim lets go of what the lines that went held.
TEST(LogStore, LinesAreCompact)
{
    TLogStore tiny;
    const QTime at(9, 30);
    constexpr int Lines = 100000;
    for (int i = 0; i < Lines; ++i)
        tiny.AppendReceived(at.addMSecs(i / 100), i % 2 ? QByteArray("x") : QByteArray(), false);
    EXPECT_LE(tiny.MemoryBytes(), 20 * Lines);
    EXPECT_EQ(tiny.Line(Lines - 1), LoggedReceiveLine(at.addMSecs((Lines - 1) / 100), "x", false));

    TLogStore latin1;
    for (int i = 0; i < 10000; ++i)
        latin1.Append(QString(1000, QChar(u'a' + i % 26)) + QChar(0xE9));
    const qsizetype full = latin1.MemoryBytes();
    EXPECT_LE(full, 1100 * 10000);
    EXPECT_EQ(latin1.Line(9999), QString(1000, QChar(u'a' + 9999 % 26)) + QChar(0xE9));
    latin1.ReplaceFront(7000, QStringLiteral("note"));
    EXPECT_LT(latin1.MemoryBytes(), full / 2);
}

// A move hands every kind of line over and leaves an empty store that works as a new one.
TEST(LogStore, MovesWithEveryKindOfLine)
{
    TLogStore from;
    from.Append(QStringLiteral("text"));
    from.Append(QStringLiteral("漢字"));
    from.AppendReceived(QTime(1, 2, 3), "rx", true);
    from.Insert({0, 4}, QStringLiteral(" edited"));
    const QStringList lines = LinesOf(from);
    const qsizetype chars = from.CharacterCount();
    TLogStore to(std::move(from));
    EXPECT_EQ(LinesOf(to), lines);
    EXPECT_EQ(to.CharacterCount(), chars);
    EXPECT_EQ(from.LineCount(), 0);
    EXPECT_EQ(from.CharacterCount(), 1);
    from.AppendReceived(QTime(1, 2, 4), "again", false);
    EXPECT_EQ(from.LineCount(), 1);
    TLogStore assigned;
    assigned.Append(QStringLiteral("dropped"));
    assigned.Insert({0, 0}, QStringLiteral("owned "));
    assigned = std::move(to);
    EXPECT_EQ(LinesOf(assigned), lines);
    ExpectOffsetsMatchText(assigned);
}

// ---- rows of the lines -----------------------------------------------------------------------

// The row map against a plain list of rows, over appends, changed rows, edits that add or join
// lines and trims, across many blocks of lines.
TEST(RowMap, CountsRowsAsAPlainListWould)
{
    TRowMap map;
    std::vector<int> plain;
    const auto expectSame = [&](int step) {
        ASSERT_EQ(map.LineCount(), qsizetype(plain.size())) << step;
        qint64 row = 0;
        for (size_t i = 0; i < plain.size(); i += 1 + i % 97) {
            row = 0;
            for (size_t k = 0; k < i; ++k)
                row += plain[k];
            ASSERT_EQ(map.RowOf(qsizetype(i)), row) << step << ' ' << i;
            qint64 lineRow = -1;
            ASSERT_EQ(map.LineAt(row + plain[i] - 1, &lineRow), qsizetype(i)) << step << ' ' << i;
            ASSERT_EQ(lineRow, row);
        }
        qint64 total = 0;
        for (const int r : plain)
            total += r;
        ASSERT_EQ(map.Total(), total) << step;
        qint64 lineRow = 0;
        if (!plain.empty()) {
            ASSERT_EQ(map.LineAt(total + 5, &lineRow), qsizetype(plain.size()) - 1);
        }
    };
    unsigned seed = 7;
    const auto next = [&seed](unsigned below) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % below;
    };
    for (int step = 0; step < 40; ++step) {
        for (unsigned i = 0, n = next(900); i < n; ++i) {
            plain.push_back(1 + int(next(5)));
            map.Append(plain.back());
        }
        if (plain.empty())
            continue;
        const auto line = qsizetype(next(unsigned(plain.size())));
        switch (step % 4) {
        case 0:
            plain[size_t(line)] = 40;
            map.Set(line, 40);
            break;
        case 1: { // a line split in three
            plain.insert(plain.begin() + line, {2, 3});
            map.Replace(line, line, {2, 3, plain[size_t(line) + 2]});
            break;
        }
        case 2: { // lines joined
            const qsizetype last = std::min<qsizetype>(line + 1500, qsizetype(plain.size()) - 1);
            plain.erase(plain.begin() + line + 1, plain.begin() + last + 1);
            map.Replace(line, last, {plain[size_t(line)]});
            break;
        }
        default: // the front trimmed to a note
            plain.erase(plain.begin(), plain.begin() + line);
            plain.insert(plain.begin(), 1);
            map.Replace(0, line - 1, {1});
            break;
        }
        expectSame(step);
    }
    map.Reset(3000, [](qsizetype i) { return int(i % 3) + 1; });
    plain.clear();
    for (int i = 0; i < 3000; ++i)
        plain.push_back(i % 3 + 1);
    expectSame(-1);
    map.Replace(0, 2999, {});
    plain.clear();
    expectSame(-2);
    EXPECT_EQ(map.LineAt(3, nullptr), 0);
}

// ---- line layout ---------------------------------------------------------------------------

struct LayoutRow {
    const char *name;
    QString text;
    int width;
};

class LineLayout : public ::testing::TestWithParam<LayoutRow> {};

// Every column is on one row, within it, and found again from its place; the caret steps
// through every column, across the places where a long run is laid out on its own.
TEST_P(LineLayout, ColumnsAndRowsAgree)
{
    const LayoutRow &row = GetParam();
    const QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const TLineLayout layout(row.text, font, row.width, 15);
    ASSERT_GE(layout.Rows(), 1);
    int previousRow = 0;
    for (qsizetype c = 0; c <= row.text.size(); ++c) {
        const int r = layout.RowOf(c);
        ASSERT_GE(r, previousRow) << c;
        ASSERT_LT(r, layout.Rows()) << c;
        ASSERT_LE(layout.RowStart(r), c) << c;
        ASSERT_GE(layout.RowEnd(r), c) << c;
        ASSERT_EQ(layout.ColumnAt(r, layout.XOf(c)), c) << c;
        if (c < row.text.size()) {
            ASSERT_EQ(layout.NextCursor(c), c + 1) << c;
        }
        if (c > 0) {
            ASSERT_EQ(layout.PreviousCursor(c), c - 1) << c;
        }
        previousRow = r;
    }
    // The rows cover the text in order, without gaps.
    EXPECT_EQ(layout.RowStart(0), 0);
    for (int r = 1; r < layout.Rows(); ++r)
        ASSERT_EQ(layout.RowStart(r), layout.RowEnd(r - 1)) << r;
    EXPECT_EQ(layout.RowEnd(layout.Rows() - 1), row.text.size());
}

QString hexLine(int pairs, int run)
{
    return QStringLiteral("12:00:00 收到数据：{") + QStringLiteral("78 ").repeated(pairs) + QStringLiteral("}")
        + QString(run, u'x');
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LineLayout,
    ::testing::Values(LayoutRow{"empty", "", 200}, LayoutRow{"words", QStringLiteral("ab cd ").repeated(60), 200},
                      LayoutRow{"hex_then_long_run", hexLine(300, 3000), 300},
                      LayoutRow{"long_runs_between_words", "a " + QString(1500, u'y') + "  b c " + QString(2000, u'z') + " d",
                                250},
                      LayoutRow{"narrow", hexLine(50, 1200), 40}),
    [](const ::testing::TestParamInfo<LayoutRow> &info) { return std::string(info.param.name); });

TEST(LineLayoutWrap, HexPairsStayWholeBeforeALongRun)
{
    const QString text = hexLine(400, 5000);
    const TLineLayout layout(text, QFontDatabase::systemFont(QFontDatabase::FixedFont), 300, 15);
    const qsizetype run = text.indexOf(u'}');
    int rowsBeforeRun = 0;
    for (int r = 1; r < layout.Rows(); ++r) {
        const qsizetype start = layout.RowStart(r);
        if (start > run)
            break;
        ++rowsBeforeRun;
        // Each row of the hex block starts with a pair, after the blank the row before broke at.
        ASSERT_EQ(text[start - 1], u' ') << r;
    }
    EXPECT_GT(rowsBeforeRun, 10);
    // The run breaks anywhere, in full rows.
    EXPECT_GT(layout.Rows(), rowsBeforeRun + 10);
}

// ---- view ----------------------------------------------------------------------------------

class LogView : public ::testing::Test {
protected:
    void SetUp() override
    {
        view = std::make_unique<TLogView>();
        // Columns line up between lines: a caret moved up or down keeps its column.
        view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        view->resize(320, 140);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    void append(int count, const QString &prefix = QStringLiteral("line "))
    {
        for (int i = 0; i < count; ++i)
            view->AppendLine(prefix + QString::number(next++));
        view->ShowAppended();
    }
    int spacing() const { return view->fontMetrics().lineSpacing(); }
    // The middle of row r of the screen, x pixels into the text.
    QPoint rowPoint(int row, int x = 0) const { return QPoint(4 + x, row * spacing() + spacing() / 2); }
    QWidget *port() const { return view->viewport(); }
    QScrollBar *bar() const { return view->verticalScrollBar(); }
    void wheel(int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QPoint at(20, 20);
        QWheelEvent e(at, port()->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(port(), &e);
    }

    std::unique_ptr<TLogView> view;
    int next = 0;
};

TEST_F(LogView, FollowsTheEndUntilScrolledUp)
{
    append(200);
    EXPECT_TRUE(view->followsEnd());
    EXPECT_EQ(bar()->value(), bar()->maximum());
    // The last line is on the last row of the screen.
    const int rows = port()->height() / spacing();
    EXPECT_GE(view->firstVisibleLine(), 200 - rows - 1);
    EXPECT_EQ(view->lastVisibleLine(), 199);

    append(50);
    EXPECT_EQ(bar()->value(), bar()->maximum());
    EXPECT_EQ(view->lastVisibleLine(), 249);

    // Scrolled up: the screen stays put while lines arrive, and the bar's range grows.
    bar()->setValue(10);
    EXPECT_FALSE(view->followsEnd());
    const int maximum = bar()->maximum();
    append(100);
    EXPECT_EQ(view->firstVisibleLine(), 10);
    EXPECT_EQ(bar()->value(), 10);
    EXPECT_EQ(bar()->maximum(), maximum + 100);

    // Back at the bar's end, it follows again.
    bar()->setValue(bar()->maximum());
    EXPECT_TRUE(view->followsEnd());
    append(10);
    EXPECT_EQ(view->lastVisibleLine(), 359);
}

TEST_F(LogView, AppendsWaitForTheNextShow)
{
    append(5);
    view->AppendLine(QStringLiteral("late"));
    EXPECT_TRUE(view->AppendsWaiting());
    EXPECT_EQ(view->line(5), QStringLiteral("late"));
    ASSERT_TRUE(WaitUntil([&] { return !view->AppendsWaiting(); }));
}

class WrappedLine : public LogView, public ::testing::WithParamInterface<bool> {};

// Words, or one run without a blank (as a long read of binary data shows).
TEST_P(WrappedLine, WheelScrollsThroughIt)
{
    append(3);
    QString longLine;
    for (int i = 0; i < 400; ++i)
        longLine += GetParam() ? QStringLiteral("w%1 ").arg(i) : QStringLiteral("w%1_").arg(i);
    view->AppendLine(longLine);
    append(3);
    bar()->setValue(0);
    ASSERT_EQ(view->firstVisibleLine(), 0);

    // Down a notch at a time: the long line (line 3) is passed through in steps within it.
    int stepsInside = 0;
    qsizetype lastTop = 0;
    int lastOffset = 0;
    for (int i = 0; i < 200 && !view->followsEnd(); ++i) {
        wheel(-1);
        const qsizetype top = view->firstVisibleLine();
        const int offset = view->firstLineOffset();
        ASSERT_TRUE(top > lastTop || (top == lastTop && offset > lastOffset)) << i;
        if (top == 3 && offset > 0)
            ++stepsInside;
        lastTop = top;
        lastOffset = offset;
    }
    EXPECT_TRUE(view->followsEnd());
    EXPECT_GE(stepsInside, 3);
    // And back up to the very top.
    for (int i = 0; i < 200 && (view->firstVisibleLine() > 0 || view->firstLineOffset() > 0); ++i)
        wheel(1);
    EXPECT_EQ(view->firstVisibleLine(), 0);
    EXPECT_EQ(view->firstLineOffset(), 0);
    EXPECT_FALSE(view->followsEnd());
}

INSTANTIATE_TEST_SUITE_P(LogView, WrappedLine, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool> &info) { return info.param ? "words" : "one_run"; });

// ---- the scroll bar through long lines -----------------------------------------------------

struct LongLinesRow {
    const char *name;
    int characters;
    bool words; // blanks between words, or one run (binary data)
};

// Long receive lines in a narrow box, a short line before each: every long line is many screens
// tall. Places are counted in pixels from the log's top, with the rows each line takes laid out
// here as the box lays them out.
class LongLines : public LogView, public ::testing::WithParamInterface<LongLinesRow> {
protected:
    void SetUp() override
    {
        LogView::SetUp();
        view->resize(150, 140);
        for (int i = 0; i < 3; ++i)
            appendLong();
        testing_support::DrainEvents();
        ASSERT_TRUE(bar()->isVisible());
    }
    void appendLong()
    {
        view->AppendLine(QStringLiteral("short %1").arg(view->lineCount()));
        const QString unit = GetParam().words ? QStringLiteral("7A 3F ") : QStringLiteral("x%_");
        view->AppendLine(QStringLiteral("12:00:00 收到数据：") + unit.repeated(GetParam().characters / unit.size()));
        view->ShowAppended();
    }
    int rowsOf(qsizetype line)
    {
        while (qsizetype(rows.size()) <= line) {
            const TLineLayout layout(view->line(qsizetype(rows.size())), view->font(), port()->width() - 8, spacing());
            rows.push_back(layout.Rows());
        }
        return rows[size_t(line)];
    }
    qint64 placeOf(qsizetype line, int offset)
    {
        qint64 y = offset;
        for (qsizetype l = 0; l < line; ++l)
            y += qint64(rowsOf(l)) * spacing();
        return y;
    }
    qint64 place() { return placeOf(view->firstVisibleLine(), view->firstLineOffset()); }
    qint64 endPlace() { return placeOf(view->lineCount(), 0) - port()->height(); }
    // Where a part of the bar is, to click it.
    QPoint partOfBar(QStyle::SubControl part) const
    {
        QStyleOptionSlider option;
        option.initFrom(bar());
        option.subControls = QStyle::SC_All;
        option.orientation = Qt::Vertical;
        option.minimum = bar()->minimum();
        option.maximum = bar()->maximum();
        option.sliderPosition = bar()->sliderPosition();
        option.sliderValue = bar()->value();
        option.singleStep = bar()->singleStep();
        option.pageStep = bar()->pageStep();
        return bar()->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar()).center();
    }
    void click(QStyle::SubControl part) { QTest::mouseClick(bar(), Qt::LeftButton, Qt::NoModifier, partOfBar(part)); }
    void dragThumbTo(int y)
    {
        const QPoint at(bar()->width() / 2, y);
        QMouseEvent move(QEvent::MouseMove, at, bar()->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(bar(), &move);
    }
    // The bar's end and the log's end go together.
    void expectThumbAtEndExactlyWhenEndShown()
    {
        EXPECT_EQ(bar()->value() == bar()->maximum(), place() == endPlace())
            << bar()->value() << '/' << bar()->maximum() << ' ' << place() << '/' << endPlace();
    }

    std::vector<int> rows;
};

TEST_P(LongLines, ArrowsStepOneRow)
{
    bar()->setValue(0);
    ASSERT_EQ(place(), 0);
    // Down from the top, into the first long line, out of it near its end, into the next.
    for (int i = 1; i <= 5; ++i) {
        click(QStyle::SC_ScrollBarAddLine);
        ASSERT_EQ(place(), qint64(i) * spacing()) << i;
        ASSERT_EQ(bar()->value(), i);
    }
    bar()->setValue(rowsOf(0) + rowsOf(1) - 3);
    ASSERT_EQ(view->firstVisibleLine(), 1);
    for (int i = 0; i < 6; ++i) {
        const qint64 before = place();
        const int value = bar()->value();
        click(QStyle::SC_ScrollBarAddLine);
        ASSERT_EQ(place(), before + spacing()) << i;
        ASSERT_EQ(bar()->value(), value + 1) << i;
    }
    EXPECT_GE(view->firstVisibleLine(), 2);
    // And up again over the line starts, one row each.
    for (int i = 0; i < 6; ++i) {
        const qint64 before = place();
        click(QStyle::SC_ScrollBarSubLine);
        ASSERT_EQ(place(), before - spacing()) << i;
    }
    EXPECT_EQ(view->firstVisibleLine(), 1);
}

TEST_P(LongLines, PageClicksStepOnePageAndTheThumbEndsWithTheLog)
{
    bar()->setValue(0);
    const qint64 page = qint64(bar()->pageStep()) * spacing();
    EXPECT_EQ(bar()->pageStep(), port()->height() / spacing());
    click(QStyle::SC_ScrollBarAddPage);
    EXPECT_EQ(place(), page);
    int steps = 0;
    while (bar()->value() < bar()->maximum() && steps < 100000) {
        const qint64 before = place();
        bar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        ++steps;
        expectThumbAtEndExactlyWhenEndShown();
        if (place() != endPlace()) {
            ASSERT_EQ(place(), before + page) << steps;
        }
        ASSERT_LE(place(), endPlace());
    }
    EXPECT_EQ(place(), endPlace());
    EXPECT_TRUE(view->followsEnd());
    EXPECT_GT(steps, 3 * rowsOf(1) / bar()->pageStep() - 3);
    // Back up by pages: the same steps, to the very top.
    click(QStyle::SC_ScrollBarSubPage);
    EXPECT_EQ(place(), endPlace() - page);
    expectThumbAtEndExactlyWhenEndShown();
    while (bar()->value() > 0) {
        const qint64 before = place();
        bar()->triggerAction(QAbstractSlider::SliderPageStepSub);
        ASSERT_EQ(place(), std::max<qint64>(0, before - page));
    }
    EXPECT_EQ(place(), 0);
}

TEST_P(LongLines, DraggingTheThumbGoesThroughTheLogToItsEnd)
{
    bar()->setValue(0);
    const QPoint thumb = partOfBar(QStyle::SC_ScrollBarSlider);
    QTest::mousePress(bar(), Qt::LeftButton, Qt::NoModifier, thumb);
    ASSERT_TRUE(bar()->isSliderDown());
    qint64 last = place();
    for (int y = thumb.y(); y < bar()->height() + 20; y += 3) {
        dragThumbTo(y);
        ASSERT_GE(place(), last) << y;
        ASSERT_LE(place(), endPlace()) << y;
        expectThumbAtEndExactlyWhenEndShown();
        last = place();
    }
    EXPECT_EQ(place(), endPlace());
    EXPECT_TRUE(view->followsEnd());
    // Back to the middle of the bar: about the middle of the log.
    dragThumbTo(bar()->height() / 2);
    EXPECT_GT(place(), endPlace() / 4);
    EXPECT_LT(place(), endPlace() * 3 / 4);
    EXPECT_FALSE(view->followsEnd());
    dragThumbTo(-20);
    EXPECT_EQ(place(), 0);
    QTest::mouseRelease(bar(), Qt::LeftButton, Qt::NoModifier, QPoint(bar()->width() / 2, 0));
}

TEST_P(LongLines, AtTheEndTheBoxFollowsNewLinesAndElsewhereItStays)
{
    ASSERT_TRUE(view->followsEnd());
    expectThumbAtEndExactlyWhenEndShown();
    appendLong();
    EXPECT_EQ(place(), endPlace());
    expectThumbAtEndExactlyWhenEndShown();

    // One row up: a new line leaves the screen where it is, and the bar can reach it.
    click(QStyle::SC_ScrollBarSubLine);
    const qint64 reading = place();
    EXPECT_EQ(reading, endPlace() - spacing());
    EXPECT_FALSE(view->followsEnd());
    const int value = bar()->value();
    const int maximum = bar()->maximum();
    appendLong();
    EXPECT_EQ(place(), reading);
    EXPECT_EQ(bar()->value(), value);
    EXPECT_GT(bar()->maximum(), maximum + 1);
    click(QStyle::SC_ScrollBarAddLine);
    EXPECT_EQ(place(), reading + spacing());
    while (bar()->value() < bar()->maximum())
        bar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(place(), endPlace());
    EXPECT_TRUE(view->followsEnd());
    // Following again.
    appendLong();
    EXPECT_EQ(place(), endPlace());
    expectThumbAtEndExactlyWhenEndShown();
}

INSTANTIATE_TEST_SUITE_P(LogView, LongLines,
                         ::testing::Values(LongLinesRow{"kib4_words", 4096, true}, LongLinesRow{"kib4_one_run", 4096, false},
                                           LongLinesRow{"kib64_words", 65536, true},
                                           LongLinesRow{"kib64_one_run", 65536, false}),
                         [](const ::testing::TestParamInfo<LongLinesRow> &info) { return std::string(info.param.name); });

TEST_F(LogView, CtrlWheelZoomsAndLaysOutAgain)
{
    view->AppendLine(QStringLiteral("wwwww wwwww"));
    append(40);
    view->setCaret({0, 6});
    bar()->setValue(0);
    view->repaint();
    const auto caretRect = [this] {
        return static_cast<QWidget *>(view.get())->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    };
    const auto caretX = [this] {
        return port()->x() + 4 + view->fontMetrics().horizontalAdvance(QStringLiteral("wwwww "));
    };
    const qreal size = view->font().pointSizeF();
    ASSERT_GT(size, 0);
    const int before = caretRect().left();
    wheel(2, Qt::ControlModifier);
    EXPECT_EQ(view->font().pointSizeF(), size + 2);
    // The wheel zoomed instead of scrolling.
    EXPECT_EQ(view->firstVisibleLine(), 0);
    EXPECT_EQ(view->firstLineOffset(), 0);
    // Laid out in the new font.
    view->repaint();
    EXPECT_GT(caretRect().left(), before);
    EXPECT_NEAR(caretRect().left(), caretX(), 1);
    EXPECT_EQ(caretRect().height(), view->fontMetrics().lineSpacing());
    wheel(-2, Qt::ControlModifier);
    EXPECT_EQ(view->font().pointSizeF(), size);
    EXPECT_NEAR(caretRect().left(), caretX(), 1);
    view->zoomIn(3);
    EXPECT_EQ(view->font().pointSizeF(), size + 3);
    view->zoomOut(3);
    EXPECT_EQ(view->font().pointSizeF(), size);
    // Never down to nothing.
    view->zoomOut(int(size) + 5);
    EXPECT_EQ(view->font().pointSizeF(), size);
}

TEST_F(LogView, MouseDragSelectsAndCtrlCCopiesTheExactText)
{
    view->AppendLine(QStringLiteral("alpha beta"));
    view->AppendLine(QStringLiteral("gamma\tdelta 收到"));
    view->AppendLine(QStringLiteral("epsilon"));
    view->ShowAppended();
    const int alpha = view->fontMetrics().horizontalAdvance(QStringLiteral("alpha "));
    QTest::mousePress(port(), Qt::LeftButton, Qt::NoModifier, rowPoint(0, alpha));
    QTest::mouseMove(port(), rowPoint(1, 280));
    QTest::mouseRelease(port(), Qt::LeftButton, Qt::NoModifier, rowPoint(1, 280));
    EXPECT_EQ(view->selectedText(), QStringLiteral("beta\ngamma\tdelta 收到"));

    QApplication::clipboard()->clear();
    QTest::keyClick(view.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("beta\ngamma\tdelta 收到"));

    // Shift+click moves the caret end of the selection only.
    QTest::mouseClick(port(), Qt::LeftButton, Qt::ShiftModifier, rowPoint(2, 280));
    EXPECT_EQ(view->selectedText(), QStringLiteral("beta\ngamma\tdelta 收到\nepsilon"));
    // A double click selects one word; Ctrl+Insert copies too.
    QTest::mouseDClick(port(), Qt::LeftButton, Qt::NoModifier, rowPoint(0, alpha + 2));
    EXPECT_EQ(view->selectedText(), QStringLiteral("beta"));
    QTest::keyClick(view.get(), Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("beta"));
}

TEST_F(LogView, TripleClickSelectsTheWholeLine)
{
    view->AppendLine(QStringLiteral("first"));
    view->AppendLine(QStringLiteral("alpha beta-gamma"));
    view->AppendLine(QStringLiteral("last"));
    view->ShowAppended();
    const QPoint at = rowPoint(1, view->fontMetrics().horizontalAdvance(QStringLiteral("alpha be")));
    QTest::mouseDClick(port(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(view->selectedText(), QStringLiteral("beta"));
    QTest::mousePress(port(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(port(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(view->selectedText(), QStringLiteral("alpha beta-gamma"));
    EXPECT_EQ(view->caret(), (TLogPosition{1, 16}));
    // Dragged on from there: whole lines, down and then up.
    QTest::mouseDClick(port(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mousePress(port(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseMove(port(), rowPoint(2, 2));
    EXPECT_EQ(view->selectedText(), QStringLiteral("alpha beta-gamma\nlast"));
    QTest::mouseMove(port(), rowPoint(0, 30));
    EXPECT_EQ(view->selectedText(), QStringLiteral("first\nalpha beta-gamma"));
    QTest::mouseRelease(port(), Qt::LeftButton, Qt::NoModifier, rowPoint(0, 30));
    // A click long after a double click is a click.
    QTest::mouseDClick(port(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseClick(port(), Qt::LeftButton, Qt::NoModifier, at, QTest::mouseDoubleClickInterval + 1);
    EXPECT_FALSE(view->hasSelection());
}

TEST_F(LogView, DraggingPastTheBottomScrollsAndExtendsTheSelection)
{
    append(100);
    bar()->setValue(0);
    QTest::mousePress(port(), Qt::LeftButton, Qt::NoModifier, rowPoint(0));
    QTest::mouseMove(port(), QPoint(30, port()->height() + 20));
    ASSERT_TRUE(WaitUntil([&] { return view->firstVisibleLine() >= 20; }));
    QTest::mouseRelease(port(), Qt::LeftButton, Qt::NoModifier, QPoint(30, port()->height() + 20));
    const QStringList selected = view->selectedText().split(u'\n');
    EXPECT_GE(selected.size(), 20);
    EXPECT_EQ(selected.first(), QStringLiteral("line 0"));
    // No autoscroll once the button is up.
    const qsizetype top = view->firstVisibleLine();
    testing_support::DrainEvents();
    EXPECT_EQ(view->firstVisibleLine(), top);
}

struct KeyMoveRow {
    const char *name;
    int key;
    Qt::KeyboardModifiers modifiers;
    TLogPosition from;
    QString selected; // with Shift added
};

class KeyMoves : public LogView, public ::testing::WithParamInterface<KeyMoveRow> {};

TEST_P(KeyMoves, ShiftExtendsWhatTheKeyMoves)
{
    view->AppendLine(QStringLiteral("first line"));
    view->AppendLine(QStringLiteral("second"));
    view->AppendLine(QStringLiteral("third one"));
    view->ShowAppended();
    const KeyMoveRow &row = GetParam();
    view->setCaret(row.from);
    QTest::keyClick(view.get(), Qt::Key(row.key), row.modifiers | Qt::ShiftModifier);
    EXPECT_EQ(view->selectedText(), row.selected);
    // Without Shift the caret goes to the same place and selects nothing.
    const TLogPosition to = view->caret();
    view->setCaret(row.from);
    QTest::keyClick(view.get(), Qt::Key(row.key), row.modifiers);
    EXPECT_EQ(view->caret(), to);
    EXPECT_FALSE(view->hasSelection());
}

INSTANTIATE_TEST_SUITE_P(
    LogView, KeyMoves,
    ::testing::Values(KeyMoveRow{"right", Qt::Key_Right, {}, {0, 0}, "f"},
                      KeyMoveRow{"right_over_line_end", Qt::Key_Right, {}, {0, 10}, "\n"},
                      KeyMoveRow{"left_over_line_start", Qt::Key_Left, {}, {1, 0}, "\n"},
                      KeyMoveRow{"word_right", Qt::Key_Right, Qt::ControlModifier, {0, 0}, "first"},
                      KeyMoveRow{"down", Qt::Key_Down, {}, {0, 3}, "st line\nsec"},
                      KeyMoveRow{"up", Qt::Key_Up, {}, {2, 2}, "cond\nth"},
                      KeyMoveRow{"home", Qt::Key_Home, {}, {1, 4}, "seco"},
                      KeyMoveRow{"end", Qt::Key_End, {}, {1, 4}, "nd"},
                      KeyMoveRow{"ctrl_home", Qt::Key_Home, Qt::ControlModifier, {1, 2}, "first line\nse"},
                      KeyMoveRow{"ctrl_end", Qt::Key_End, Qt::ControlModifier, {1, 2}, "cond\nthird one"},
                      KeyMoveRow{"page_down", Qt::Key_PageDown, {}, {0, 0}, "first line\nsecond\nthird one"}),
    [](const ::testing::TestParamInfo<KeyMoveRow> &info) { return std::string(info.param.name); });

TEST_F(LogView, UpAndDownKeepTheColumnAcrossShorterLines)
{
    view->AppendLine(QStringLiteral("a long line here"));
    view->AppendLine(QStringLiteral("ab"));
    view->AppendLine(QString());
    view->AppendLine(QStringLiteral("another long line"));
    view->ShowAppended();
    view->setCaret({0, 10});
    QTest::keyClick(view.get(), Qt::Key_Down);
    EXPECT_EQ(view->caret(), (TLogPosition{1, 2}));
    QTest::keyClick(view.get(), Qt::Key_Down);
    EXPECT_EQ(view->caret(), (TLogPosition{2, 0}));
    QTest::keyClick(view.get(), Qt::Key_Down);
    EXPECT_EQ(view->caret(), (TLogPosition{3, 10}));
    QTest::keyClick(view.get(), Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(view.get(), Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(view.get(), Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(view->caret(), (TLogPosition{0, 10}));

    // A move sideways sets a new column to keep.
    view->setCaret({0, 10});
    QTest::keyClick(view.get(), Qt::Key_Down);
    QTest::keyClick(view.get(), Qt::Key_Left);
    QTest::keyClick(view.get(), Qt::Key_Down);
    QTest::keyClick(view.get(), Qt::Key_Down);
    EXPECT_EQ(view->caret(), (TLogPosition{3, 1}));
    // So does typing.
    view->setCaret({0, 10});
    QTest::keyClick(view.get(), Qt::Key_Down);
    QTest::keyClicks(view.get(), QStringLiteral("c"));
    QTest::keyClick(view.get(), Qt::Key_Up);
    EXPECT_EQ(view->caret(), (TLogPosition{0, 3}));
}

TEST_F(LogView, PageDownAndUpReturnToTheSameColumn)
{
    for (int i = 0; i < 40; ++i)
        view->AppendLine(QString(i % 2 ? 2 : 20, u'x'));
    view->ShowAppended();
    view->setCaret({0, 12});
    QTest::keyClick(view.get(), Qt::Key_PageDown);
    const TLogPosition down = view->caret();
    ASSERT_GT(down.line, 1);
    EXPECT_EQ(down.column, down.line % 2 ? 2 : 12);
    QTest::keyClick(view.get(), Qt::Key_PageUp);
    EXPECT_EQ(view->caret(), (TLogPosition{0, 12}));
}

TEST_F(LogView, CtrlAThenTypingReplacesEverything)
{
    append(30);
    QTest::keyClick(view.get(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(view->selectedText(), view->toPlainText());
    QTest::keyClicks(view.get(), QStringLiteral("new"));
    EXPECT_EQ(LinesOf(*view), QStringList{"new"});
    EXPECT_EQ(view->caret(), (TLogPosition{0, 3}));
    // The system's next line goes below what the user typed.
    view->AppendLine(QStringLiteral("arrived"));
    EXPECT_EQ(view->toPlainText(), QStringLiteral("new\narrived"));
}

TEST_F(LogView, EnterSplitsAndBackspaceOrDeleteJoinLines)
{
    view->AppendLine(QStringLiteral("abcdef"));
    view->AppendLine(QStringLiteral("ghi"));
    view->setCaret({0, 3});
    QTest::keyClick(view.get(), Qt::Key_Return);
    EXPECT_EQ(LinesOf(*view), (QStringList{"abc", "def", "ghi"}));
    EXPECT_EQ(view->caret(), (TLogPosition{1, 0}));
    QTest::keyClick(view.get(), Qt::Key_Tab);
    EXPECT_EQ(view->line(1), QStringLiteral("\tdef"));
    QTest::keyClick(view.get(), Qt::Key_Backspace);
    QTest::keyClick(view.get(), Qt::Key_Backspace);
    EXPECT_EQ(LinesOf(*view), (QStringList{"abcdef", "ghi"}));
    QTest::keyClick(view.get(), Qt::Key_End);
    QTest::keyClick(view.get(), Qt::Key_Delete);
    EXPECT_EQ(LinesOf(*view), QStringList{"abcdefghi"});
    QTest::keyClick(view.get(), Qt::Key_Backspace);
    QTest::keyClick(view.get(), Qt::Key_Delete);
    EXPECT_EQ(LinesOf(*view), QStringList{"abcdehi"});
    // A selection goes as a whole, whichever key.
    view->setCaret({0, 1});
    view->setCaret({0, 6}, true);
    QTest::keyClick(view.get(), Qt::Key_Backspace);
    EXPECT_EQ(LinesOf(*view), QStringList{"ai"});
}

// ---- undo and redo ---------------------------------------------------------------------------

struct UndoRow {
    const char *name;
    TLogPosition anchor;
    TLogPosition caret;
    void (*edit)(QWidget *box);
};

class UndoEdits : public LogView, public ::testing::WithParamInterface<UndoRow> {};

// One edit of the user's, lines appended after it; the undo takes back that edit whole, in one
// step, and leaves the appended lines; the redo brings the edit back.
TEST_P(UndoEdits, UndoAndRedoTakeTheEditBackAndForthPastAppendedLines)
{
    view->AppendLine(QStringLiteral("alpha beta"));
    view->AppendLine(QStringLiteral("gamma delta"));
    view->ShowAppended();
    const QString before = view->toPlainText();
    view->setCaret(GetParam().anchor);
    view->setCaret(GetParam().caret, true);
    QApplication::clipboard()->setText(QStringLiteral("P1\nP2"));
    GetParam().edit(view.get());
    const QString after = view->toPlainText();
    ASSERT_NE(after, before);
    const TLogPosition caretAfter = view->caret();
    // Lines appended to a box the edit emptied are its first lines.
    const bool emptied = view->lineCount() == 0;
    append(2);
    const QString appended = QStringLiteral("\nline 0\nline 1");
    const auto afterWith = [&](const QString &lines) { return emptied ? lines.mid(1) : after + lines; };

    QTest::keyClick(view.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(view->toPlainText(), before + appended);
    EXPECT_FALSE(view->isUndoAvailable());
    QTest::keyClick(view.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(view->toPlainText(), before + appended);
    QTest::keyClick(view.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(view->toPlainText(), afterWith(appended));
    EXPECT_EQ(view->caret(), caretAfter);
    EXPECT_FALSE(view->isRedoAvailable());
    QTest::keyClick(view.get(), Qt::Key_Z, Qt::ControlModifier);
    append(1);
    QTest::keyClick(view.get(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(view->toPlainText(), afterWith(appended + QStringLiteral("\nline 2")));
}

INSTANTIATE_TEST_SUITE_P(
    LogView, UndoEdits,
    ::testing::Values(
        UndoRow{"typing", {0, 5}, {0, 5}, [](QWidget *b) { QTest::keyClicks(b, QStringLiteral(" and more")); }},
        UndoRow{"typing_over_a_selection", {0, 0}, {0, 5}, [](QWidget *b) { QTest::keyClicks(b, QStringLiteral("omega")); }},
        UndoRow{"tab", {1, 0}, {1, 0}, [](QWidget *b) { QTest::keyClick(b, Qt::Key_Tab); }},
        UndoRow{"enter", {0, 5}, {0, 5}, [](QWidget *b) { QTest::keyClick(b, Qt::Key_Return); }},
        UndoRow{"backspaces_over_a_line_start", {1, 2}, {1, 2},
                [](QWidget *b) {
                    for (int i = 0; i < 5; ++i)
                        QTest::keyClick(b, Qt::Key_Backspace);
                }},
        UndoRow{"deletes_over_a_line_end", {0, 8}, {0, 8},
                [](QWidget *b) {
                    for (int i = 0; i < 5; ++i)
                        QTest::keyClick(b, Qt::Key_Delete);
                }},
        UndoRow{"delete_a_selection", {0, 6}, {1, 5}, [](QWidget *b) { QTest::keyClick(b, Qt::Key_Delete); }},
        UndoRow{"cut", {0, 2}, {1, 1}, [](QWidget *b) { QTest::keyClick(b, Qt::Key_X, Qt::ControlModifier); }},
        UndoRow{"paste", {1, 0}, {1, 5}, [](QWidget *b) { QTest::keyClick(b, Qt::Key_V, Qt::ControlModifier); }},
        UndoRow{"select_all_and_delete", {0, 0}, {1, 11}, [](QWidget *b) { QTest::keyClick(b, Qt::Key_Backspace); }},
        UndoRow{"input_method", {0, 5}, {0, 5},
                [](QWidget *b) {
                    QInputMethodEvent commit;
                    commit.setCommitString(QStringLiteral("你好"));
                    QApplication::sendEvent(b, &commit);
                }}),
    [](const ::testing::TestParamInfo<UndoRow> &info) { return std::string(info.param.name); });

TEST_F(LogView, EditsApartAreStepsApartAndTrimsLeaveThemInPlace)
{
    append(20);
    view->setCaret({10, 0});
    QTest::keyClicks(view.get(), QStringLiteral("ab"));
    view->setCaret({15, 4});
    QTest::keyClicks(view.get(), QStringLiteral("cd"));
    append(3);
    // The oldest lines go: the edits' lines are numbered anew.
    view->ReplaceFront(5, QStringLiteral("note"));
    EXPECT_EQ(view->line(6), QStringLiteral("abline 10"));
    EXPECT_EQ(view->line(11), QStringLiteral("linecd 15"));
    QTest::keyClick(view.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(view->line(11), QStringLiteral("line 15"));
    EXPECT_EQ(view->line(6), QStringLiteral("abline 10"));
    QTest::keyClick(view.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(view->line(6), QStringLiteral("line 10"));
    EXPECT_EQ(view->caret(), (TLogPosition{6, 0}));
    // A new edit drops what there was to redo.
    QTest::keyClicks(view.get(), QStringLiteral("x"));
    EXPECT_FALSE(view->isRedoAvailable());
    // The lines of an edit trimmed away: nothing to undo there.
    view->ReplaceFront(8, QStringLiteral("note"));
    EXPECT_FALSE(view->isUndoAvailable());
    EXPECT_EQ(view->line(1), QStringLiteral("line 12"));
}

TEST_F(LogView, UndoInAnEmptiedBoxKeepsTheLinesAppendedSince)
{
    // Typed into the empty box, lines arrived, the typing undone: only those lines stay.
    QTest::keyClicks(view.get(), QStringLiteral("typed"));
    append(2);
    QTest::keyClick(view.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(LinesOf(*view), (QStringList{"line 0", "line 1"}));
    QTest::keyClick(view.get(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(LinesOf(*view), (QStringList{"typed", "line 0", "line 1"}));
    // Undone with nothing arrived, redone after a line arrived.
    QTest::keyClick(view.get(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view.get(), Qt::Key_Delete);
    EXPECT_EQ(view->lineCount(), 0);
    append(1);
    QTest::keyClick(view.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(LinesOf(*view), (QStringList{"typed", "line 0", "line 1", "line 2"}));
    QTest::keyClick(view.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(LinesOf(*view), (QStringList{"line 0", "line 1", "line 2"}));
    append(1);
    QTest::keyClick(view.get(), Qt::Key_Y, Qt::ControlModifier);
    QTest::keyClick(view.get(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(LinesOf(*view), (QStringList{"line 2", "line 3"}));
    QTest::keyClick(view.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(LinesOf(*view), (QStringList{"typed", "line 0", "line 1", "line 2", "line 3"}));
}

TEST_F(LogView, UndoKeepsABoundedNumberOfSteps)
{
    append(3);
    for (int i = 0; i < TEditHistory::MaxSteps + 20; ++i) {
        view->setCaret({1, 0});
        QTest::keyClicks(view.get(), QStringLiteral("x"));
    }
    int steps = 0;
    while (view->isUndoAvailable() && steps < 1000) {
        view->undo();
        ++steps;
    }
    EXPECT_EQ(steps, TEditHistory::MaxSteps);
    EXPECT_EQ(view->line(1), QString(20, u'x') + QStringLiteral("line 1"));
}

// Steps keep text only of what left the log, and not beyond a bound.
TEST(EditHistory, HoldsTheTextTakenOutOfTheLogWithinABound)
{
    TEditHistory history;
    for (int i = 0; i < 300; ++i) {
        // A paste of 1 Mi characters: the step that undoes it holds none of them.
        history.Record({i, 0, 0, 1 << 20, QString(), false, false}, TEditHistory::Kind::Other);
        history.Close();
    }
    EXPECT_EQ(history.HeldChars(), 0);
    for (int i = 0; i < 40; ++i) {
        // A deletion of 1 Mi characters.
        history.Record({i, 0, 0, 0, QString(1 << 20, u'd'), false, false}, TEditHistory::Kind::Other);
        history.Close();
    }
    EXPECT_LE(history.HeldChars(), TEditHistory::MaxChars);
    EXPECT_GT(history.HeldChars(), TEditHistory::MaxChars / 2);
    int steps = 0;
    for (; history.CanUndo(); ++steps)
        history.PutRedo(history.TakeUndo());
    EXPECT_LE(steps, TEditHistory::MaxSteps);
    EXPECT_EQ(history.TakeRedo().line, 39 - steps + 1);
}

TEST_F(LogView, LinesMovedByAnEditAreLaidOutAsTheyNowRead)
{
    view->AppendLine(QStringLiteral("a"));
    view->AppendLine(QStringLiteral("bbbbbbbb"));
    view->AppendLine(QStringLiteral("cc"));
    view->ShowAppended();
    view->repaint(); // every line laid out
    view->setCaret({0, 1});
    QTest::keyClick(view.get(), Qt::Key_Return);
    view->setCaret({2, 0});
    QTest::keyClick(view.get(), Qt::Key_End);
    EXPECT_EQ(view->caret(), (TLogPosition{2, 8}));
    view->repaint();
    view->setCaret({0, 0});
    view->setCaret({1, 0}, true);
    QTest::keyClick(view.get(), Qt::Key_Delete);
    view->setCaret({2, 0});
    QTest::keyClick(view.get(), Qt::Key_End);
    EXPECT_EQ(view->caret(), (TLogPosition{2, 2}));
    // The oldest lines replaced by a note.
    view->repaint();
    view->ReplaceFront(2, QStringLiteral("note: gone"));
    view->setCaret({0, 0});
    QTest::keyClick(view.get(), Qt::Key_End);
    EXPECT_EQ(view->caret(), (TLogPosition{0, 10}));
}

TEST_F(LogView, CutAndPasteGoThroughTheClipboard)
{
    view->AppendLine(QStringLiteral("one two"));
    view->setCaret({0, 3});
    view->setCaret({0, 7}, true);
    QTest::keyClick(view.get(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral(" two"));
    EXPECT_EQ(view->toPlainText(), QStringLiteral("one"));
    QApplication::clipboard()->setText(QStringLiteral("A\r\nB\nC"));
    view->setCaret({0, 1});
    QTest::keyClick(view.get(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(LinesOf(*view), (QStringList{"oA", "B", "Cne"}));
    EXPECT_EQ(view->caret(), (TLogPosition{2, 1}));

    // Characters an input method commits are typed at the caret.
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("你好"));
    QApplication::sendEvent(view.get(), &commit);
    EXPECT_EQ(view->line(2), QStringLiteral("C你好ne"));
}

TEST_F(LogView, PreeditIsShownAtTheCaretButNotStored)
{
    view->AppendLine(QStringLiteral("abc def"));
    view->ShowAppended();
    view->setCaret({0, 3});
    const auto query = [this](Qt::InputMethodQuery q) {
        return static_cast<QWidget *>(view.get())->inputMethodQuery(q);
    };
    const QRect before = query(Qt::ImCursorRectangle).toRect();
    // In the box's coordinates: past the frame, the margin and "abc".
    const int abc = view->fontMetrics().horizontalAdvance(QStringLiteral("abc"));
    EXPECT_NEAR(before.left(), port()->x() + 4 + abc, 1);
    EXPECT_EQ(before.top(), port()->y());
    const QImage plain = port()->grab().toImage();

    const auto compose = [this](const QString &text, int cursor) {
        QInputMethodEvent event(text, {{QInputMethodEvent::Cursor, cursor, 1, QVariant()}});
        QApplication::sendEvent(view.get(), &event);
    };
    compose(QStringLiteral("ni"), 2);
    EXPECT_EQ(view->toPlainText(), QStringLiteral("abc def"));
    EXPECT_EQ(view->preeditText(), QStringLiteral("ni"));
    EXPECT_EQ(view->caret(), (TLogPosition{0, 3}));
    const int ni = view->fontMetrics().horizontalAdvance(QStringLiteral("ni"));
    EXPECT_NEAR(query(Qt::ImCursorRectangle).toRect().left(), before.left() + ni, 1);
    EXPECT_EQ(query(Qt::ImSurroundingText).toString(), QStringLiteral("abc def"));
    EXPECT_EQ(query(Qt::ImCursorPosition).toInt(), 3);
    EXPECT_EQ(query(Qt::ImAnchorPosition).toInt(), 3);
    EXPECT_NE(port()->grab().toImage(), plain);
    // The input method's cursor inside its text.
    compose(QStringLiteral("ni"), 1);
    EXPECT_NEAR(query(Qt::ImCursorRectangle).toRect().left(),
                before.left() + view->fontMetrics().horizontalAdvance(QStringLiteral("n")), 1);

    // Given up: nothing was typed and the line looks as before.
    compose(QString(), 0);
    EXPECT_TRUE(view->preeditText().isEmpty());
    EXPECT_EQ(port()->grab().toImage(), plain);
    EXPECT_EQ(query(Qt::ImCursorRectangle).toRect(), before);

    // Committed: typed at the caret.
    compose(QStringLiteral("ni"), 2);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("你"));
    QApplication::sendEvent(view.get(), &commit);
    EXPECT_EQ(view->toPlainText(), QStringLiteral("abc你 def"));
    EXPECT_TRUE(view->preeditText().isEmpty());
    EXPECT_EQ(view->caret(), (TLogPosition{0, 4}));
}

TEST_F(LogView, MiddleClickPastesThePrimarySelection)
{
    view->AppendLine(QStringLiteral("alpha beta"));
    view->AppendLine(QStringLiteral("gamma"));
    view->ShowAppended();
    QClipboard *clipboard = QApplication::clipboard();
    const QPoint gamma = rowPoint(1, view->fontMetrics().horizontalAdvance(QStringLiteral("gam")));
    if (!clipboard->supportsSelection()) {
        // As a plain text box: without a primary selection the middle button pastes nothing.
        clipboard->setText(QStringLiteral("clip"));
        QTest::mouseClick(port(), Qt::MiddleButton, Qt::NoModifier, gamma);
        EXPECT_EQ(view->toPlainText(), QStringLiteral("alpha beta\ngamma"));
        GTEST_SKIP() << "this platform's clipboard has no primary selection";
    }
    // Selected with Shift and a key: that is the primary selection.
    view->setCaret({0, 0});
    QTest::keyClick(view.get(), Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(clipboard->text(QClipboard::Selection), QStringLiteral("alpha"));
    // Selected with the mouse: so is that.
    const QPoint beta = rowPoint(0, view->fontMetrics().horizontalAdvance(QStringLiteral("alpha b")));
    QTest::mouseDClick(port(), Qt::LeftButton, Qt::NoModifier, beta);
    QTest::mouseRelease(port(), Qt::LeftButton, Qt::NoModifier, beta);
    EXPECT_EQ(clipboard->text(QClipboard::Selection), QStringLiteral("beta"));
    // The middle button pastes it where it is clicked, not at the caret and not the clipboard.
    clipboard->setText(QStringLiteral("clip"));
    QTest::mouseClick(port(), Qt::MiddleButton, Qt::NoModifier, gamma);
    EXPECT_EQ(view->line(1), QStringLiteral("gambetama"));
    EXPECT_EQ(view->line(0), QStringLiteral("alpha beta"));
}

TEST_F(LogView, AppendsAndTrimsKeepTheSelectionOnItsText)
{
    append(40);
    view->setCaret({30, 2});
    view->setCaret({32, 4}, true);
    const QString selected = view->selectedText();
    ASSERT_EQ(selected, QStringLiteral("ne 30\nline 31\nline"));
    append(500);
    EXPECT_EQ(view->selectedText(), selected);
    // The oldest lines go, replaced by a note: the selection moves with its lines.
    view->ReplaceFront(20, QStringLiteral("note"));
    EXPECT_EQ(view->line(0), QStringLiteral("note"));
    EXPECT_EQ(view->selectedText(), selected);
    EXPECT_EQ(view->caret(), (TLogPosition{13, 4}));
    // A caret in the dropped lines goes to the first line kept.
    view->setCaret({5, 1});
    view->ReplaceFront(10, QStringLiteral("note 2"));
    EXPECT_EQ(view->caret(), (TLogPosition{1, 0}));
    EXPECT_EQ(view->line(1), QStringLiteral("line 29"));
}

TEST_F(LogView, ContextMenuOffersTheEditingCommands)
{
    view->AppendLine(QStringLiteral("text"));
    view->setCaret({0, 0});
    view->setCaret({0, 2}, true);
    QContextMenuEvent event(QContextMenuEvent::Mouse, rowPoint(0), port()->mapToGlobal(rowPoint(0)));
    QApplication::sendEvent(port(), &event);
    QMenu *menu = view->findChild<QMenu *>();
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (const QAction *a : menu->actions())
        if (!a->isSeparator())
            texts << a->text().section(u'\t', 0, 0);
    // The toolkit's own entries of a text box's menu, in its words (see test_translations).
    const QStringList entries{QCoreApplication::translate("QWidgetTextControl", "&Undo"),
                              QCoreApplication::translate("QWidgetTextControl", "&Redo"),
                              QCoreApplication::translate("QWidgetTextControl", "Cu&t"),
                              QCoreApplication::translate("QWidgetTextControl", "&Copy"),
                              QCoreApplication::translate("QWidgetTextControl", "&Paste"),
                              QCoreApplication::translate("QWidgetTextControl", "Delete"),
                              QCoreApplication::translate("QWidgetTextControl", "Select All")};
    EXPECT_EQ(texts, entries);
    // Nothing to undo yet.
    const auto entry = [&](int i) { return menu->actions().at(i + (i >= 2) + (i >= 6)); };
    EXPECT_FALSE(entry(0)->isEnabled());
    EXPECT_FALSE(entry(1)->isEnabled());
    // Delete takes the selection away without the clipboard.
    QApplication::clipboard()->setText(QStringLiteral("kept"));
    entry(5)->trigger();
    EXPECT_EQ(view->toPlainText(), QStringLiteral("xt"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("kept"));
    menu->close();
    delete menu;

    // Now there is, and then something to redo.
    QApplication::sendEvent(port(), &event);
    menu = view->findChild<QMenu *>();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(entry(0)->isEnabled());
    EXPECT_FALSE(entry(1)->isEnabled());
    entry(0)->trigger();
    EXPECT_EQ(view->toPlainText(), QStringLiteral("text"));
    menu->close();
    delete menu;
    QApplication::sendEvent(port(), &event);
    menu = view->findChild<QMenu *>();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(entry(1)->isEnabled());
    entry(1)->trigger();
    EXPECT_EQ(view->toPlainText(), QStringLiteral("xt"));
    menu->close();
}

TEST_F(LogView, IsAnEditableTextToAssistiveTools)
{
    view->setAccessibleName(QStringLiteral("log"));
    view->AppendLine(QStringLiteral("a"));
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(view.get());
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::EditableText);
    EXPECT_TRUE(iface->state().editable);
    EXPECT_TRUE(iface->state().multiLine);
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("log"));
    EXPECT_EQ(iface->text(QAccessible::Value), QStringLiteral("a"));
    EXPECT_FALSE(view->isReadOnly());
}

// What the box told assistive tools, while a test listens.
struct ToldEvent {
    QAccessible::Event type;
    int offset;
    QString text;
    friend bool operator==(const ToldEvent &a, const ToldEvent &b)
    {
        return a.type == b.type && a.offset == b.offset && a.text == b.text;
    }
    friend void PrintTo(const ToldEvent &e, std::ostream *os)
    {
        *os << '{' << int(e.type) << ", " << e.offset << ", \"" << e.text.toStdString() << "\"}";
    }
};
std::vector<ToldEvent> told;

void listen(QAccessibleEvent *event)
{
    switch (event->type()) {
    case QAccessible::TextCaretMoved:
        told.push_back({event->type(), static_cast<QAccessibleTextCursorEvent *>(event)->cursorPosition(), {}});
        break;
    case QAccessible::TextSelectionChanged: {
        auto *e = static_cast<QAccessibleTextSelectionEvent *>(event);
        told.push_back({event->type(), e->selectionStart(), QString::number(e->selectionEnd())});
        break;
    }
    case QAccessible::TextInserted: {
        auto *e = static_cast<QAccessibleTextInsertEvent *>(event);
        told.push_back({event->type(), e->changePosition(), e->textInserted()});
        break;
    }
    case QAccessible::TextRemoved: {
        auto *e = static_cast<QAccessibleTextRemoveEvent *>(event);
        told.push_back({event->type(), e->changePosition(), e->textRemoved()});
        break;
    }
    default:
        break;
    }
}

class AccessibleText : public LogView {
protected:
    void SetUp() override
    {
        LogView::SetUp();
        iface = QAccessible::queryAccessibleInterface(view.get());
        ASSERT_NE(iface, nullptr);
        text = iface->textInterface();
        ASSERT_NE(text, nullptr);
    }
    // The offset of a line's start, counted the slow way.
    int startOf(qsizetype line) const
    {
        qsizetype offset = 0;
        for (qsizetype l = 0; l < line; ++l)
            offset += view->line(l).size() + 1;
        return int(offset);
    }
    QAccessibleInterface *iface = nullptr;
    QAccessibleTextInterface *text = nullptr;
};

TEST_F(AccessibleText, ReadsLinesNearTheEndOfALargeLog)
{
    for (int i = 0; i < 200000; ++i)
        view->AppendLine(QStringLiteral("rx %1 bytes ok").arg(i));
    view->ShowAppended();
    const qsizetype last = view->lineCount() - 1;
    EXPECT_EQ(text->characterCount(), startOf(last) + view->line(last).size());

    const int at = startOf(last - 1) + 3; // in "199998"
    int start = 0;
    int end = 0;
    EXPECT_EQ(text->textAtOffset(at, QAccessible::LineBoundary, &start, &end),
              QStringLiteral("rx 199998 bytes ok\n"));
    EXPECT_EQ(start, startOf(last - 1));
    EXPECT_EQ(text->textAtOffset(at + 2, QAccessible::WordBoundary, &start, &end), QStringLiteral("199998"));
    EXPECT_EQ(start, at);
    EXPECT_EQ(end, at + 6);
    EXPECT_EQ(text->textAtOffset(at, QAccessible::CharBoundary, &start, &end), QStringLiteral("1"));
    EXPECT_EQ(text->textBeforeOffset(at, QAccessible::LineBoundary, &start, &end),
              QStringLiteral("rx 199997 bytes ok\n"));
    EXPECT_EQ(text->textAfterOffset(at, QAccessible::LineBoundary, &start, &end), QStringLiteral("rx 199999 bytes ok"));
    EXPECT_EQ(end, text->characterCount());
    EXPECT_EQ(text->textAfterOffset(at, QAccessible::WordBoundary, &start, &end), QStringLiteral(" "));
    // The last word of a line, then the line feed, then the next line's first word.
    const int ok = startOf(last - 1) + 16;
    EXPECT_EQ(text->textAtOffset(ok, QAccessible::WordBoundary, &start, &end), QStringLiteral("ok"));
    EXPECT_EQ(text->textAfterOffset(ok, QAccessible::WordBoundary, &start, &end), QStringLiteral("\n"));
    EXPECT_EQ(text->textBeforeOffset(startOf(last), QAccessible::WordBoundary, &start, &end), QStringLiteral("\n"));
    EXPECT_EQ(text->text(at, at + 9), QStringLiteral("199998 by"));

    view->setCaret({last, 3});
    EXPECT_EQ(text->cursorPosition(), startOf(last) + 3);
    text->setSelection(0, startOf(last - 2), startOf(last - 1) + 2);
    EXPECT_EQ(view->selectedText(), QStringLiteral("rx 199997 bytes ok\nrx"));
    int from = 0;
    int to = 0;
    ASSERT_EQ(text->selectionCount(), 1);
    text->selection(0, &from, &to);
    EXPECT_EQ(from, startOf(last - 2));
    EXPECT_EQ(to, startOf(last - 1) + 2);

    // The oldest lines trimmed: offsets count from the new first line.
    view->ReplaceFront(150000, QStringLiteral("[trimmed]"));
    const qsizetype kept = view->lineCount() - 1;
    EXPECT_EQ(view->line(1), QStringLiteral("rx 150000 bytes ok"));
    EXPECT_EQ(text->characterCount(), startOf(kept) + view->line(kept).size());
    EXPECT_EQ(text->textAtOffset(startOf(kept) + 1, QAccessible::LineBoundary, &start, &end),
              QStringLiteral("rx 199999 bytes ok"));
    EXPECT_EQ(start, startOf(kept));
    EXPECT_EQ(text->textAtOffset(3, QAccessible::LineBoundary, &start, &end), QStringLiteral("[trimmed]\n"));
    EXPECT_EQ(text->textAtOffset(10, QAccessible::LineBoundary, &start, &end), QStringLiteral("rx 150000 bytes ok\n"));
    EXPECT_EQ(text->cursorPosition(), startOf(kept - 1) + 2);
}

TEST_F(AccessibleText, ToldOfAppendsEditsAndCaretMoves)
{
    append(3);
    TLogViewAccessible::SetEventSinkForTests(listen);
    told.clear();
    append(2);
    view->setCaret({1, 2});
    QTest::keyClicks(view.get(), QStringLiteral("x"));
    QTest::keyClick(view.get(), Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(view.get(), Qt::Key_Backspace);
    QTest::keyClick(view.get(), Qt::Key_Z, Qt::ControlModifier);
    TLogViewAccessible::SetEventSinkForTests(nullptr);
    using A = QAccessible;
    const std::vector<ToldEvent> expected{{A::TextInserted, 20, "\nline 3\nline 4"},
                                          {A::TextCaretMoved, 9, {}},
                                          {A::TextInserted, 9, "x"},
                                          {A::TextCaretMoved, 10, {}},
                                          {A::TextSelectionChanged, 9, "10"},
                                          {A::TextRemoved, 9, "x"},
                                          {A::TextCaretMoved, 9, {}},
                                          {A::TextInserted, 9, "x"},
                                          {A::TextCaretMoved, 10, {}}};
    EXPECT_EQ(told, expected);
}

TEST_F(AccessibleText, EditsAndGeometryUseTheSameOffsets)
{
    append(20);
    const int line5 = startOf(5);
    ASSERT_EQ(text->text(line5, line5 + 6), QStringLiteral("line 5"));
    // An edit in the middle moves the text after it.
    auto *editable = iface->editableTextInterface();
    ASSERT_NE(editable, nullptr);
    editable->insertText(startOf(2), QStringLiteral("new\n"));
    EXPECT_EQ(view->line(2), QStringLiteral("new"));
    EXPECT_EQ(text->text(line5 + 4, line5 + 10), QStringLiteral("line 5"));
    editable->replaceText(startOf(3), startOf(3) + 4, QStringLiteral("LINE"));
    EXPECT_EQ(view->line(3), QStringLiteral("LINE 2"));
    editable->deleteText(startOf(2), startOf(3));
    EXPECT_EQ(view->line(2), QStringLiteral("LINE 2"));
    EXPECT_EQ(text->characterCount(), view->toPlainText().size());

    // A character on screen is found again at the middle of its rectangle.
    const int offset = startOf(view->firstVisibleLine() + 1) + 2;
    const QRect rect = text->characterRect(offset);
    ASSERT_FALSE(rect.isEmpty());
    EXPECT_EQ(text->offsetAtPoint(rect.center()), offset);
    EXPECT_EQ(text->offsetAtPoint(port()->mapToGlobal(QPoint(-50, -50))), -1);
}

} // namespace
