#pragma once
// The lines of the receive log and the counter line of a data window.

#include <cstdint>

class QByteArray;
class QString;
class QTime;

// time, " 收到数据：", the hex block when hex is on, the bytes as text.
QString ReceiveLine(const QTime &time, const QByteArray &bytes, bool hex);
// time, " 发送数据：", the hex block when hex is on, the bytes as text, "[", the repeat text, "次]".
QString SendLine(const QTime &time, const QByteArray &bytes, bool hex, const QString &repeatText);
// 收：<received>字节，发:<sent>字节
QString CounterLine(int64_t recvCount, int64_t sendCount);

// The data part of a log line: the bytes in the local code page, made visible. Nothing in the
// data may end the line early or hide what follows it, so characters the log box would drop or
// treat as structure are shown as pictures instead; the hex block stays the exact view.
QString VisibleText(const QByteArray &bytes);
