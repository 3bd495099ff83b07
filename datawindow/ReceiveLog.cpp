// The receive log and the counters of a data window: every line goes in through one entry point,
// received data through LogReceived (with the characters a read leaves unfinished held for the
// next), the log kept within its bounds and the budget of all logs, the counter line.

#include "datapanel.h"

#include <algorithm>
#include <limits>

// Qt
#include <QDateTime>
#include <QLabel>
#include <QTimerEvent>

// instance
#include "TMySocket.h"

#include "LogBudget.h"
#include "LogLines.h"
#include "LogView.h"
#include "ReceiveCapture.h"

namespace {

// The local time of day. QTime::currentTime() has the system look up its time zone on every call
// (a check of the zone file each time), too slow for a flood of lines: the zone's offset is asked
// once per second, and zones change their offsets only on whole seconds.
QTime localTimeNow()
{
    static qint64 second = std::numeric_limits<qint64>::min();
    static qint64 offsetMs = 0;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now / 1000 != second) {
        second = now / 1000;
        offsetMs = QDateTime::fromMSecsSinceEpoch(now).offsetFromUtc() * qint64(1000);
    }
    constexpr qint64 day = 24 * 3600 * 1000;
    return QTime::fromMSecsSinceStartOfDay(int(((now + offsetMs) % day + day) % day));
}

} // namespace

const TLogStore &TFrmData::Lines() const
{
    if (Memo2)
        return Memo2->Lines();
    static const TLogStore none;
    return FLog ? *FLog : none;
}

TLogStore &TFrmData::KeptLog()
{
    if (!FLog)
        FLog = std::make_unique<TLogStore>();
    return *FLog;
}

void TFrmData::AppendLogLine(const QString &line)
{
    if (Memo2)
        Memo2->AppendLine(line);
    else
        KeptLog().Append(line);
    TrimLog();
}

void TFrmData::FlushLog()
{
    if (Memo2)
        Memo2->ShowAppended();
}

void TFrmData::TrimLog()
{
    TrimLogTo(FMaxLogBytes, FMaxLogLines);
}

void TFrmData::TrimLogTo(qsizetype maxBytes, qsizetype maxLines)
{
    const qsizetype drop = Lines().FrontLinesOver(maxBytes, maxLines);
    if (drop > 0) {
        // The note of an earlier trim goes with the lines before it and is written anew.
        FLogDropped += drop - (FLogDropped > 0 ? 1 : 0);
        if (Memo2)
            Memo2->ReplaceFront(drop, TrimNote(FLogDropped));
        else
            KeptLog().ReplaceFront(drop, TrimNote(FLogDropped));
    }
    TLogBudget::Instance().Changed(this, LogBytes());
}

void TFrmData::SetLogBounds(qsizetype maxBytes, qsizetype maxLines)
{
    FMaxLogBytes = maxBytes;
    FMaxLogLines = maxLines;
    TrimLog();
}

qsizetype TFrmData::LogBytes() const
{
    return Lines().MemoryBytes();
}

void TFrmData::ShedLogTo(qsizetype bytes)
{
    TrimLogTo(std::min(bytes, FMaxLogBytes), FMaxLogLines);
}

void TFrmData::ClearLog()
{
    // Held bytes are not in the log yet: they wait for their rest as before.
    if (Memo2)
        Memo2->Clear();
    else
        FLog.reset();
    // A trim from now on counts its lines afresh.
    FLogDropped = 0;
    TLogBudget::Instance().Changed(this, LogBytes());
}

QString TFrmData::LogText() const
{
    return Lines().Text();
}

qsizetype TFrmData::LogLineCount() const
{
    return Lines().LineCount();
}

void TFrmData::LogReceived(const QByteArray &block)
{
    const bool datagram = MySocket
        && (MySocket->Kind == kind::UdpServer || MySocket->Kind == kind::UdpClient || MySocket->Kind == kind::UdpGroup);
    // A capture that fails or falls behind stops by itself, and says so (CaptureStopped). A
    // stream waits for room (TakesReads); datagrams cannot.
    if (FCapture && FCapture->Write(block) && datagram && FCapture->Full())
        FCapture->FallBehind(QStringLiteral("写入跟不上接收（已有%1字节等待写入）").arg(FCapture->Queued()));
    // In text mode a character may be split across reads of a stream: its first bytes wait for the
    // next read and show in its line. A datagram stands alone, whoever sent it; a hex line shows
    // its own bytes; a read too long to show whole shows its first bytes. What waited then shows
    // in a line of its own before.
    const QTime now = localTimeNow();
    QByteArray shown = block;
    if (FHex || datagram || block.size() > MaxShownBytes - 4) {
        ShowHeldBytes();
    } else {
        shown = FSplit.Take(block, FCodePage);
        if (FSplit.Holds()) {
            FHeldAt = now;
            if (FHeldTimer)
                killTimer(FHeldTimer);
            FHeldTimer = startTimer(HeldBytesWaitMs);
        } else if (FHeldTimer) {
            killTimer(FHeldTimer);
            FHeldTimer = 0;
        }
    }
    // The line is kept as its time, bytes and switches; its text is made when it is drawn.
    if (Memo2)
        Memo2->AppendReceived(now, shown, FHex, FCodePage);
    else
        KeptLog().AppendReceived(now, shown, FHex, FCodePage);
    TrimLog();
    RecvCount += block.size();
    ShowCounters();
}

void TFrmData::ShowHeldBytes()
{
    if (FHeldTimer) {
        killTimer(FHeldTimer);
        FHeldTimer = 0;
    }
    if (!FSplit.Holds())
        return;
    // Counted when they came; shown now as they are, in the code page they came in.
    const QByteArray held = FSplit.Release();
    if (Memo2)
        Memo2->AppendReceived(FHeldAt, held, false, FCodePage);
    else
        KeptLog().AppendReceived(FHeldAt, held, false, FCodePage);
    TrimLog();
}

void TFrmData::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == FHeldTimer)
        ShowHeldBytes();
    else if (event->timerId() == FStuckTimer)
        WatchStuckCapture();
    else
        QObject::timerEvent(event);
}

void TFrmData::ShowCounters()
{
    FCountersShown = true;
    FShownRecv = RecvCount;
    FShownSend = SendCount;
    FCountersAt.start();
    if (!StatusBar2Panel0)
        return;
    // The text is exact at once; while new lines wait for the log box's next repaint, so does
    // the panel's, which would otherwise come once per turn of the event loop.
    const bool deferPaint = Memo2->AppendsWaiting();
    if (StatusBar2Panel0->updatesEnabled() == deferPaint)
        StatusBar2Panel0->setUpdatesEnabled(!deferPaint);
    StatusBar2Panel0->setText(CounterLine(RecvCount, SendCount));
}

QString TFrmData::CounterText() const
{
    return FCountersShown ? CounterLine(FShownRecv, FShownSend) : QString();
}

void TFrmData::ApplyCounters()
{
    if (FCountersShown)
        StatusBar2Panel0->setText(CounterText());
}

void TFrmData::Button2Click()
{
    SendCount = 0;
    RecvCount = 0;
    ShowCounters();
}

