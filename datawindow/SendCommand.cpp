// The send command of the data window: the bytes of the send box, the send line, and the
// repetitions through the instance's socket, by kind.
//
// The command yields to the event loop after every repetition and while a TCP send waits. In
// there anything may happen, the deletion of this very window and its instance included, so
// after every yield nothing of the window is touched before a guard has said it still exists.

#include "SendCommand.h"

#include <chrono>
#include <thread>

// Qt
#include <QBuffer>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextDocument>
#include <QTime>

// platform
#include "MessageSeam.h"
#include "StrToInt.h"
// transport
#include "GroupEndpoint.h"
#include "TClientSocket.h"
#include "TClientWinSocket.h"
#include "TNMUDP.h"
// instance
#include "TMySocket.h"

#include "HexCodec.h"
#include "CodePages.h"
#include "LogLines.h"
#include "datapanel.h"

namespace {

const QString NotConnectedText = QStringLiteral("未连接,数据未发送!");

// A file goes out over TCP in pieces of this size: read, then sent whole before the next.
constexpr qint64 FilePiece = 1024 * 1024;

constexpr std::chrono::milliseconds RetryPause(10);

// The send box's text with its lines joined by CR LF and no break after the last. The raw text,
// not the plain one: that would turn a typed no-break space into a blank.
QString SendBoxText(const QTextDocument *box)
{
    QString text = box->toRawText();
    const QString crlf = QStringLiteral("\r\n");
    text.replace(QChar::ParagraphSeparator, crlf);
    text.replace(QChar::LineSeparator, crlf);
    return text;
}

// All of the bytes on one TCP connection: the rest again after a partial send, and while the
// send would block, events handled with a pause in between. Ends when the link goes down,
// when the connection object or the window goes away, and on a send error of an accepted
// connection, which is raised after the connection was closed.
TSendOutcome SendWithRetry(TCustomWinSocket *socket, const QByteArray &bytes, const QPointer<TFrmData> &window)
{
    const QPointer<TCustomWinSocket> connection(socket);
    if (!connection || !connection->Connected())
        return TSendOutcome::NotConnected;
    // Closed and connected again meanwhile is a different link: it gets a new handle.
    const ws::TSocket link = connection->SocketHandle();
    qsizetype done = 0;
    for (;;) {
        const int n =
            connection->SendBytes(QByteArray::fromRawData(bytes.constData() + done, bytes.size() - done));
        if (n > 0) {
            done += n;
            if (done == bytes.size())
                return TSendOutcome::Sent;
            continue; // the rest at once; a full buffer answers would-block
        }
        // 0: not connected. -1: would block, or a failure that the client's error handler
        // silenced after the connection was closed.
        if (n == 0 || !connection || !connection->Connected())
            return done == 0 ? TSendOutcome::NotConnected : TSendOutcome::Stopped;
        QCoreApplication::processEvents();
        if (!window || !connection || !connection->Connected() || connection->SocketHandle() != link)
            return TSendOutcome::Stopped;
        std::this_thread::sleep_for(RetryPause);
    }
}

} // namespace

void SendUdpText(TNMUDP *udp, const QByteArray &bytes)
{
    // Shares the bytes instead of copying them in: the stream is only read.
    QBuffer stream;
    stream.setData(bytes);
    stream.open(QIODevice::ReadOnly);
    udp->SendStream(stream);
}

TSendOutcome TFrmData::SendString(const QByteArray &bytes)
{
    TMySocket *instance = MySocket;
    if (!instance)
        return TSendOutcome::Stopped;
    const QString &k = instance->Kind;
    if (k == kind::TcpClient) {
        auto *client = qobject_cast<TClientSocket *>(instance->Socket);
        return SendWithRetry(client ? client->Socket() : nullptr, bytes, this);
    }
    if (k == kind::TcpServerClient)
        return SendWithRetry(qobject_cast<TCustomWinSocket *>(instance->Socket), bytes, this);
    if (k == kind::UdpClient) {
        if (instance->UdpClient)
            SendUdpText(instance->UdpClient, bytes);
    } else if (k == kind::UdpServer) {
        if (instance->UdpServer)
            SendUdpText(instance->UdpServer, bytes);
    } else if (k == kind::UdpGroup) {
        GroupSend(*instance, bytes);
    }
    return TSendOutcome::Sent;
}

void TFrmData::Button11Click()
{
    // Pressed in the window: a window never shown has no send box to send from.
    if (!IsBuilt())
        return;
    const bool hex = HexMode();
    const QByteArray text = ToCodePageNumber(SendBoxText(Memo3->document()), FCodePage);
    const QByteArray bytes = hex ? HexToBytes(text) : text;
    if (bytes.isEmpty())
        return;
    const QString repeatText = ComboBox2->currentText();
    AppendLogLine(SendLine(QTime::currentTime(), bytes, hex, repeatText, FCodePage));
    Memo3->clear();
    // Before this command's bytes are counted: they show at the next refresh.
    ShowCounters();
    const int32_t count = StrToInt(repeatText);

    const QPointer<TFrmData> self(this);
    for (int32_t i = 0; i < count; ++i)
        if (!SendStep(self, bytes, i == 0))
            return;
}

bool TFrmData::SendStep(const QPointer<TFrmData> &self, const QByteArray &bytes, bool first)
{
    TSendOutcome outcome;
    try {
        outcome = self->SendString(bytes);
    } catch (...) {
        // Deleted while its send waited (a UDP name lookup, which the deletion cancels): the
        // command ends quietly with its window, as when a TCP send stops that way.
        if (!self)
            return false;
        throw;
    }
    if (!self)
        return false;
    if (outcome != TSendOutcome::Sent) {
        // A link that goes down during the command shows in the status and the tree, and may be
        // the user's own doing: only a send that found no link at all is told.
        if (outcome == TSendOutcome::NotConnected && first)
            ui::ShowMessage(NotConnectedText);
        return false;
    }
    self->SendCount += bytes.size();
    QCoreApplication::processEvents();
    return !self.isNull();
}

void TFrmData::SendFile(const QString &path)
{
    TMySocket *instance = MySocket;
    if (!instance)
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ui::ShowMessage(QStringLiteral("无法读取文件：") + file.errorString());
        return;
    }
    const qint64 size = file.size();
    const QString &k = instance->Kind;
    const bool datagram = k == kind::UdpClient || k == kind::UdpServer || k == kind::UdpGroup;
    // Nothing to send, as with an empty send box; said, since the user chose a file.
    if (size == 0) {
        ui::ShowMessage(QStringLiteral("文件为空，未发送"));
        return;
    }
    // A datagram carries the file whole or not at all.
    if (datagram && size > TNMUDP::MaxDatagram) {
        ui::ShowMessage(QStringLiteral("文件大小%1字节，超过一个UDP数据报最多能带的%2字节，未发送")
                            .arg(size)
                            .arg(TNMUDP::MaxDatagram));
        return;
    }
    AppendLogLine(FileSendLine(QTime::currentTime(), QFileInfo(path).fileName(), size));
    ShowCounters();
    const QPointer<TFrmData> self(this);
    for (qint64 done = 0; done < size;) {
        const QByteArray piece = file.read(datagram ? size : std::min(FilePiece, size - done));
        if (piece.isEmpty()) {
            ui::ShowMessage(QStringLiteral("无法读取文件：") + file.errorString());
            return;
        }
        if (!SendStep(self, piece, done == 0))
            return;
        done += piece.size();
    }
}
