// Sending a file from a data window: once, through the window's instance, as the send command
// sends. Only a regular file goes, read to its end by a worker (TFileSource) while the window keeps
// handling events; over TCP in pieces that go out whole one after the other, the file one unit
// whose bytes no other send of the window comes between; over UDP as one datagram or not at all.

#include "datapanel.h"

#include <algorithm>

// Qt
#include <QByteArray>
#include <QFileInfo>
#include <QPointer>
#include <QTime>

// platform
#include "MessageSeam.h"
// transport
#include "TNMUDP.h"
// instance
#include "TMySocket.h"

#include "FileSource.h"
#include "LogLines.h"
#include "SendCommand.h"

namespace {

// A file goes out over TCP in pieces of this size: read, then sent whole before the next.
constexpr qsizetype FilePiece = 1024 * 1024;

// The next piece, the end, or a failure to read, handling events while the reader reads.
TFileSource::Result NextPiece(const ui::Operation &op, TFileSource &source, QByteArray *piece, QString *reason)
{
    for (;;) {
        const TFileSource::Result result = source.Next(piece, reason);
        if (result != TFileSource::Result::Waiting)
            return result;
        // The reader wakes this wait when it has read on.
        op.WaitForEvents(100);
    }
}

} // namespace

void TFrmData::SendFile(const QString &path)
{
    const ui::Operation op = Working();
    op.Run([&] { SendFileIn(op, path); });
}

void TFrmData::SendFileIn(const ui::Operation &op, const QString &path)
{
    if (!MySocket)
        return;
    // Chosen while a unit of this window goes out (inside that send's wait): its turn comes after.
    if (FOpenUnits > 0) {
        FWaitingSends.push_back([this, path] { SendFile(path); });
        return;
    }
    const QString &k = MySocket->Kind;
    const bool datagram = k == kind::UdpClient || k == kind::UdpServer || k == kind::UdpGroup;
    // A datagram's piece is one byte longer than a datagram can be: a piece that long is too long.
    const qsizetype pieceSize = datagram ? TNMUDP::MaxDatagram + 1 : FilePiece;
    QString reason;
    const std::unique_ptr<TFileSource> source = TFileSource::Open(path, pieceSize, &reason);
    if (!source) {
        op.Message(reason);
        return;
    }
    const QString name = QFileInfo(path).fileName();
    QByteArray piece;
    TFileSource::Result read = NextPiece(op, *source, &piece, &reason);
    if (read == TFileSource::Result::Failed) {
        op.Message(QStringLiteral("无法读取文件：") + reason);
        return;
    }
    // Nothing to send, as with an empty send box; said, since the user chose a file.
    if (read == TFileSource::Result::End) {
        op.Message(QStringLiteral("文件为空，未发送"));
        return;
    }
    // A piece shorter than its size is the whole file: its size is known. Else the file holds
    // more than the first piece, and the system's word for its size is the best there is yet.
    const bool whole = piece.size() < pieceSize;
    if (datagram && !whole) {
        // What it holds, where the system's size says less (files of /proc say 0).
        int64_t size = std::max<int64_t>(source->ClaimedSize(), piece.size());
        if (source->ClaimedSize() < piece.size()) {
            for (QByteArray more; NextPiece(op, *source, &more, &reason) == TFileSource::Result::Piece;)
                size += more.size();
        }
        op.Message(QStringLiteral("文件大小%1字节，超过一个UDP数据报最多能带的%2字节，未发送")
                       .arg(size)
                       .arg(TNMUDP::MaxDatagram));
        return;
    }
    // A TCP kind with no link sends nothing, and logs nothing either: there is no file send to tell.
    if ((k == kind::TcpClient || k == kind::TcpServerClient) && MySocket->LinkState != 1) {
        op.Message(QStringLiteral("未连接,数据未发送!"));
        return;
    }
    const int64_t announced = whole ? int64_t(piece.size()) : source->ClaimedSize();
    AppendLogLine(FileSendLine(QTime::currentTime(), name, announced));
    ShowCounters();

    // One unit from here to the end: a send started meanwhile waits for it.
    ++FOpenUnits;
    int64_t sent = 0;
    QString why;
    for (bool first = true;; first = false) {
        if (!SendStep(op, piece, first)) {
            why = QStringLiteral("连接已断开");
            break;
        }
        sent += piece.size();
        read = NextPiece(op, *source, &piece, &reason);
        if (read == TFileSource::Result::End)
            break;
        if (read == TFileSource::Result::Failed) {
            why = QStringLiteral("读取文件出错：") + reason;
            break;
        }
    }
    --FOpenUnits;
    if (sent != announced || !why.isEmpty()) {
        if (why.isEmpty())
            why = sent < announced ? QStringLiteral("文件比它所说的短") : QStringLiteral("文件比它所说的长");
        AppendLogLine(FileShortLine(QTime::currentTime(), name, sent, why));
        ShowCounters();
        if (read == TFileSource::Result::Failed)
            op.Message(QStringLiteral("无法读取文件：") + reason);
    }
    // Every piece counted shows now, not at whatever refreshes the line next.
    ShowCounters();
    RunWaitingSends();
}
