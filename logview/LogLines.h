#pragma once
// The lines of the receive log and the counter line of a data window.

#include <cstdint>

// Qt
#include <QtGlobal>

class QByteArray;
class QString;
class QTime;

// time, " 收到数据：", the hex block when hex is on, the bytes as text.
QString ReceiveLine(const QTime &time, const QByteArray &bytes, bool hex, int codePage = 0);

// Received bytes one receive line shows, at most. Every datagram fits whole (UDP carries at most
// 65,507 bytes); a longer TCP read shows its first bytes and a note of its size, so that one
// read can neither freeze the log box's layout nor fill memory with text. The line still stands
// for the whole read, and the counters count all of it.
constexpr int MaxShownBytes = 65536;
// The receive line of a received block as the log shows it: ReceiveLine of the first
// MaxShownBytes bytes, and for a longer block CutNote after them.
QString LoggedReceiveLine(const QTime &time, const QByteArray &bytes, bool hex, int codePage = 0);
// ……(共收到<total>字节，仅显示前<shown>字节)
QString CutNote(int64_t total, int64_t shown);
// The first line of a log whose oldest lines were dropped: how many lines have gone so far.
QString TrimNote(int64_t droppedLines);
// time, " 发送数据：", the hex block when hex is on, the bytes as text, "[", the repeat text, "次]".
QString SendLine(const QTime &time, const QByteArray &bytes, bool hex, const QString &repeatText,
                 int codePage = 0);
// time, " 发送数据：", "文件", the file's name, "（", its size, "字节）[1次]": a file sent once.
QString FileSendLine(const QTime &time, const QString &fileName, int64_t size);
// time, " 发送数据：文件", the file's name, "实际发出", the bytes sent, "字节（", why, "）": a file send
// whose bytes on the wire differ from the size its first line named.
QString FileShortLine(const QTime &time, const QString &fileName, int64_t sent, const QString &why);
// time, " 连接失败：", the host, "[", the port, "]，", why: a TCP client's connect that failed.
QString ConnectFailedLine(const QTime &time, const QString &host, int port, const QString &why);
// 收：<received>字节，发:<sent>字节
QString CounterLine(int64_t recvCount, int64_t sendCount);

// The data part of a log line: the bytes in a code page (see CodePages.h; the local one unless
// the window chose another), made visible. Nothing in the
// data may end the line early or hide what follows it, so characters the log box would drop or
// treat as structure are shown as pictures instead; the hex block stays the exact view.
QString VisibleText(const QByteArray &bytes, int codePage = 0);

// The parts of a receive line, for a log that keeps a receive line as what it is made of and
// makes its text only when it is drawn or asked for (see TLogStore::AppendReceived).
//
// The time as a log line writes it. A flood logs many lines within one millisecond, and
// formatting the time costs more than the rest of a short line: the text of the last time is kept.
QString LineTimeText(const QTime &time);
// The receive line of a block of total bytes of which shown are shown (a cut note follows them
// when total is more), given its time's text.
QString ReceiveLineText(const QString &timeText, const QByteArray &shown, int64_t total, bool hex,
                        int codePage = 0);
// The length of that line, and whether its text starts other lines (see TLogStore::Append): most
// blocks are told in one pass over their bytes, without the text.
struct TReceiveLineSize {
    qsizetype chars = 0;
    bool breaks = false;
};
TReceiveLineSize ReceiveLineSize(const QString &timeText, const QByteArray &shown, int64_t total, bool hex,
                                 int codePage = 0);
