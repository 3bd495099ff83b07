// The receive log of a data window under load: lines reach the log box in the order they
// happened, receive and send lines alike, and are shown without being asked for; whoever needs
// the text gets it whole; a window that goes away with lines not yet shown takes them with it.

#include <gtest/gtest.h>

#include <memory>

// Qt
#include <QMdiSubWindow>
#include <QCheckBox>
#include <QLabel>
#include <QMdiArea>
#include <QPointer>
#include <QScrollBar>
#include <QTime>

#include "Expected.h"
#include "HexCodec.h"
#include "LogBudget.h"
#include "LogLines.h"
#include "LogView.h"
#include "TestSupport.h"
#include "TimeText.h"
#include "datapanel.h"

// Readable failure messages.
void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

using testing_support::HexBlockText;
using testing_support::WaitUntil;

const QString Received = QStringLiteral(" 收到数据：");
const QString Sent = QStringLiteral(" 发送数据：");

// The log box's lines as they stand, without flushing anything.
QStringList Blocks(const TFrmData *window)
{
    QStringList blocks;
    for (qsizetype i = 0; i < window->Memo2->lineCount(); ++i)
        blocks << window->Memo2->line(i);
    return blocks;
}

// The box has shown every line appended to it.
bool AllShown(const TFrmData *window)
{
    return !window->Memo2->AppendsWaiting();
}

// Each block without its time: what the lines say, in order.
QStringList Untimed(const QStringList &blocks)
{
    QStringList result;
    for (const QString &b : blocks) {
        const int at = std::max(b.indexOf(Received), b.indexOf(Sent));
        result << (at > 0 ? b.mid(at) : b);
    }
    return result;
}

QString SendLineOf(const QByteArray &bytes, const QString &repeat)
{
    return SendLine(QTime::currentTime(), bytes, false, repeat);
}

class ReceiveLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        area.resize(700, 500);
        area.show();
        window = new TFrmData(&area);
        window->Build()->showMaximized();
    }

    QMdiArea area;
    QPointer<TFrmData> window; // owned by the area
};

} // namespace

TEST_F(ReceiveLog, ReceiveAndSendLinesKeepTheirOrderAcrossBatches)
{
    QStringList expected;
    // Three batches: one shown on demand, one by the box's own timer, one not yet shown.
    for (int batch = 0; batch < 3; ++batch) {
        for (int i = 0; i < 4; ++i) {
            const QByteArray data = QStringLiteral("r%1.%2").arg(batch).arg(i).toLatin1();
            window->LogReceived(data);
            expected << Received + QString::fromLatin1(data);
            if (i == 1) {
                window->AppendLogLine(SendLineOf("s", QString::number(batch)));
                expected << Sent + QStringLiteral("s[%1次]").arg(batch);
            }
        }
        if (batch == 0)
            window->FlushLog();
        if (batch == 1) {
            ASSERT_TRUE(WaitUntil([&] { return AllShown(window); }));
            EXPECT_EQ(Blocks(window).size(), expected.size());
        }
    }
    EXPECT_EQ(window->RecvCount, 12 * 4);
    window->FlushLog();
    EXPECT_EQ(Untimed(Blocks(window)), expected);
}

TEST_F(ReceiveLog, WaitingLinesReachTheBoxWithoutBeingAskedFor)
{
    window->LogReceived("one");
    window->LogReceived("two");
    EXPECT_FALSE(AllShown(window));
    ASSERT_TRUE(WaitUntil([&] { return AllShown(window); }));
    EXPECT_EQ(Untimed(Blocks(window)), (QStringList{Received + "one", Received + "two"}));
}

TEST_F(ReceiveLog, TextAskedForRightAfterAReceiveHoldsIt)
{
    window->LogReceived("first");
    window->FlushLog();
    window->LogReceived("second");
    const QString text = window->LogText();
    EXPECT_TRUE(text.endsWith(Received + QStringLiteral("second"))) << qPrintable(text);
    EXPECT_EQ(text.count(Received), 2);
    // The counter line never waits for the log.
    EXPECT_EQ(window->StatusBar2Panel0->text(), QStringLiteral("收：11字节，发:0字节"));
    // Asking again adds nothing.
    EXPECT_EQ(window->LogText(), text);
}

TEST_F(ReceiveLog, LineBreaksInsideDataStayInsideTheirLine)
{
    window->LogReceived("a\nb");
    window->LogReceived("c\r\n");
    window->LogReceived("d\r");
    window->LogReceived("e");
    window->FlushLog();
    // As one line per call would give: a line's own break ends a block, and the next line
    // starts another, even after a lone carriage return.
    EXPECT_EQ(Untimed(Blocks(window)),
              (QStringList{Received + "a", "b", Received + "c", "", Received + "d", "", Received + "e"}));
}

TEST_F(ReceiveLog, AFloodOfLinesArrivesWholeAndInOrder)
{
    // More lines than one batch holds, with no event handled in between.
    constexpr int Lines = 25000;
    for (int i = 0; i < Lines; ++i)
        window->LogReceived(QByteArray::number(i));
    // The digits of 0 to 24999.
    EXPECT_EQ(window->StatusBar2Panel0->text(), QStringLiteral("收：113890字节，发:0字节"));
    window->FlushLog();
    const QStringList blocks = Blocks(window);
    ASSERT_EQ(blocks.size(), Lines);
    for (int i = 0; i < Lines; ++i)
        ASSERT_TRUE(blocks[i].endsWith(Received + QString::number(i))) << i << ": " << qPrintable(blocks[i]);
}

TEST_F(ReceiveLog, AWindowDestroyedWithLinesWaitingTakesThemWithIt)
{
    window->LogReceived("never shown");
    window->AppendLogLine(SendLineOf("nor this", QStringLiteral("1")));
    delete window.data();
    ASSERT_TRUE(window.isNull());

    // A second window's timer, started later, fires after the first one's would have.
    auto *other = new TFrmData(&area);
    other->Build()->showMaximized();
    other->LogReceived("shown");
    ASSERT_TRUE(WaitUntil([&] { return AllShown(other); }));
    EXPECT_EQ(Untimed(Blocks(other)), QStringList{Received + "shown"});
}

TEST_F(ReceiveLog, AReadLongerThanALineShowsItsFirstBytesAndItsSize)
{
    window->CheckBox2->setChecked(true);
    QByteArray block(MaxShownBytes + 1000, 'z');
    block[MaxShownBytes - 1] = 'a';
    block[MaxShownBytes] = 'b';
    window->LogReceived(block.first(MaxShownBytes)); // a whole datagram's worth: no note
    window->LogReceived(block);
    window->FlushLog();
    const QStringList lines = Untimed(Blocks(window));
    ASSERT_EQ(lines.size(), 2);
    const QByteArray shown = block.first(MaxShownBytes);
    const QString whole = Received + HexBlockText(shown) + QString::fromLatin1(shown);
    EXPECT_TRUE(lines[0] == whole);
    EXPECT_TRUE(lines[1] == whole + QStringLiteral("……(共收到66536字节，仅显示前65536字节)"));
    EXPECT_EQ(window->RecvCount, 2 * MaxShownBytes + 1000);
    EXPECT_EQ(window->StatusBar2Panel0->text(), QStringLiteral("收：132072字节，发:0字节"));
}

TEST_F(ReceiveLog, ALogPastItsBoundsDropsItsOldestLinesWithANote)
{
    struct Bound {
        const char *name;
        qsizetype bytes;
        qsizetype lines;
    };
    // Each line is the time, the label and six digits: some 25 characters.
    const Bound bounds[] = {{"lines", 1 << 20, 400}, {"bytes", 20000, 1 << 20}};
    for (const Bound &bound : bounds) {
        SCOPED_TRACE(bound.name);
        auto *log = new TFrmData(&area);
        log->Build()->showMaximized();
        log->SetLogBounds(bound.bytes, bound.lines);
        constexpr int Lines = 3000;
        for (int i = 0; i < Lines; ++i) {
            log->LogReceived(QByteArray::number(100000 + i));
            if (i % 700 == 0)
                log->FlushLog();
        }
        log->FlushLog();
        EXPECT_EQ(log->RecvCount, 6 * Lines);

        const QStringList blocks = Blocks(log);
        EXPECT_LE(blocks.size(), bound.lines);
        EXPECT_LE(log->LogBytes(), bound.bytes);
        ASSERT_GE(blocks.size(), 2);
        // The note tells how many went; the rest are the newest lines, whole and in order.
        const int kept = blocks.size() - 1;
        EXPECT_EQ(blocks[0], QStringLiteral("……(日志过长，最早的%1行已删除)……").arg(Lines - kept));
        for (int k = 0; k < kept; ++k)
            ASSERT_TRUE(blocks[1 + k].endsWith(Received + QString::number(100000 + Lines - kept + k))) << k;
        delete log;
    }
}

TEST_F(ReceiveLog, TheBoundIsInBytesWhateverTheTextAndAllLogsKeepWithinOneBudget)
{
    // Three bytes a character in UTF-8: a bound in characters would have kept three times as much.
    const QByteArray chinese = QString(300, QChar(0x4E2D)).toUtf8();
    window->SetCodePage(1);
    window->SetLogBounds(1 << 20, 1 << 20);
    for (int i = 0; i < 5000; ++i)
        window->LogReceived(chinese);
    EXPECT_LE(window->LogBytes(), 1 << 20);
    EXPECT_GT(window->LogBytes(), (1 << 20) / 2);
    EXPECT_GT(window->LogLineCount(), 1000);

    // Past the budget of all logs together, the largest log gives up its oldest lines first.
    TLogBudget &budget = TLogBudget::Instance();
    const int64_t was = budget.Budget();
    budget.SetBudget(budget.Total() + (6 << 20));
    std::unique_ptr<TFrmData> logs[3];
    const int sizes[] = {4 << 20, 2 << 20, 1 << 20};
    for (int n = 0; n < 3; ++n) {
        logs[n] = std::make_unique<TFrmData>(&area);
        logs[n]->SetLogBounds(64 << 20, 1 << 22);
        while (logs[n]->LogBytes() < sizes[n])
            logs[n]->LogReceived(chinese);
    }
    EXPECT_LE(budget.Total(), budget.Budget());
    EXPECT_LT(logs[0]->LogBytes(), sizes[0]);
    EXPECT_TRUE(logs[0]->LogText().startsWith(QStringLiteral("……(日志过长")));
    EXPECT_GE(logs[2]->LogBytes(), sizes[2]);
    EXPECT_FALSE(logs[2]->LogText().startsWith(QStringLiteral("……(日志过长")));
    for (auto &log : logs)
        log.reset();
    budget.SetBudget(was);
}

TEST_F(ReceiveLog, AfterAFloodTheBoxShowsItsNewestLines)
{
    // None of these is laid out or painted as it comes; the box shows the newest at its next show.
    constexpr int Lines = 5000;
    for (int i = 0; i < Lines; ++i)
        window->LogReceived(QByteArray::number(i));
    ASSERT_TRUE(WaitUntil([&] { return AllShown(window); }));
    ASSERT_EQ(Blocks(window).size(), Lines);
    testing_support::DrainEvents();
    const QScrollBar *bar = window->Memo2->verticalScrollBar();
    // One step per line: the range covers all but the lines the box shows at once.
    EXPECT_GT(bar->maximum(), Lines - 50);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(Blocks(window).last().endsWith(Received + QString::number(Lines - 1)));

    // Someone reading further up is left there by the next flood.
    window->Memo2->verticalScrollBar()->setValue(100);
    for (int i = 0; i < Lines; ++i)
        window->LogReceived(QByteArray::number(i));
    ASSERT_TRUE(WaitUntil([&] { return AllShown(window); }));
    ASSERT_EQ(Blocks(window).size(), 2 * Lines);
    testing_support::DrainEvents();
    EXPECT_GT(bar->maximum(), 2 * Lines - 50);
    EXPECT_EQ(bar->value(), 100);
}
