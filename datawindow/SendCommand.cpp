// The send command of the data window: the bytes of the send box, the send line, and the
// repetitions through the instance's socket, by kind.
//
// The command yields to the event loop after every repetition and while a TCP send waits. In
// there anything may happen, the deletion of this very window and its instance included: the
// command is an operation of the window (ui::Operation), whose every wait ends it quietly when the
// window went, and a TCP send's own wait looks at its window and connection before going on.

#include "SendCommand.h"

#include <chrono>
#include <thread>

// Qt
#include <QBuffer>
#include <QComboBox>
#include <QCoreApplication>
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

} // namespace

// All of the bytes on one TCP connection: the rest again after a partial send, and while the
// send would block, events handled with a pause in between. Ends when the link goes down,
// when the connection object or the window goes away, and on a send error of an accepted
// connection, which is raised after the connection was closed. While part of the bytes is out,
// the unit is open: another send started meanwhile waits for its turn (RunWaitingSends), so
// that these bytes reach the peer together.
TSendOutcome TFrmData::SendWithRetry(QObject *socket, const QByteArray &bytes)
{
    const QPointer<TCustomWinSocket> connection(qobject_cast<TCustomWinSocket *>(socket));
    if (!connection || !connection->Connected())
        return TSendOutcome::NotConnected;
    const QPointer<TFrmData> window(this);
    // Closed and connected again meanwhile is a different link: it gets a new handle.
    const ws::TSocket link = connection->SocketHandle();
    qsizetype done = 0;
    bool opened = false;
    const auto outcome = [&](TSendOutcome result) {
        if (opened && window)
            --window->FOpenUnits;
        return result;
    };
    for (;;) {
        const int n =
            connection->SendBytes(QByteArray::fromRawData(bytes.constData() + done, bytes.size() - done));
        if (n > 0) {
            done += n;
            if (done == bytes.size())
                return outcome(TSendOutcome::Sent);
            if (!opened) {
                opened = true;
                ++FOpenUnits;
            }
            continue; // the rest at once; a full buffer answers would-block
        }
        // 0: not connected. -1: would block, or a failure that the client's error handler
        // silenced after the connection was closed.
        if (n == 0 || !connection || !connection->Connected())
            return outcome(done == 0 ? TSendOutcome::NotConnected : TSendOutcome::Stopped);
        QCoreApplication::processEvents();
        if (!window || !connection || !connection->Connected() || connection->SocketHandle() != link)
            return outcome(TSendOutcome::Stopped);
        std::this_thread::sleep_for(RetryPause);
    }
}

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
        return SendWithRetry(client ? client->Socket() : nullptr, bytes);
    }
    if (k == kind::TcpServerClient)
        return SendWithRetry(instance->Socket, bytes);
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
    const int codePage = FCodePage;
    const QByteArray text = ToCodePageNumber(SendBoxText(Memo3->document()), codePage);
    const QByteArray bytes = hex ? HexToBytes(text) : text;
    if (bytes.isEmpty())
        return;
    const QString repeatText = ComboBox2->currentText();
    Memo3->clear();
    // Pressed while part of a unit is out (this runs inside that send's wait): its turn comes
    // when the unit is out whole.
    if (FOpenUnits > 0) {
        FWaitingSends.push_back([this, bytes, hex, repeatText, codePage] {
            RunSendCommand(bytes, hex, repeatText, codePage);
        });
        return;
    }
    RunSendCommand(bytes, hex, repeatText, codePage);
}

void TFrmData::RunSendCommand(const QByteArray &bytes, bool hex, const QString &repeatText, int codePage)
{
    AppendLogLine(SendLine(QTime::currentTime(), bytes, hex, repeatText, codePage));
    // Before this command's bytes are counted: they show at the next refresh.
    ShowCounters();
    const int32_t count = StrToInt(repeatText);

    const ui::Operation op = Working();
    op.Run([&] {
        for (int32_t i = 0; i < count; ++i)
            if (!SendStep(op, bytes, i == 0))
                return;
    });
}

bool TFrmData::SendStep(const ui::Operation &op, const QByteArray &bytes, bool first)
{
    TSendOutcome outcome;
    try {
        outcome = SendString(bytes);
    } catch (...) {
        // Deleted while its send waited (a UDP name lookup, which the deletion cancels): the
        // command ends quietly with its window, as when a TCP send stops that way.
        op.Check();
        throw;
    }
    op.Check();
    if (outcome != TSendOutcome::Sent) {
        // A link that goes down during the command shows in the status and the tree, and may be
        // the user's own doing: only a send that found no link at all is told.
        if (outcome == TSendOutcome::NotConnected && first)
            op.Message(NotConnectedText);
        RunWaitingSends();
        return false;
    }
    SendCount += bytes.size();
    RunWaitingSends();
    op.Yield();
    return true;
}

void TFrmData::RunWaitingSends()
{
    // Between units: each runs to its end here, inside this send's wait, as a send started in a
    // yield between repetitions does.
    while (FOpenUnits == 0 && !FWaitingSends.empty()) {
        const std::function<void()> send = std::move(FWaitingSends.front());
        FWaitingSends.erase(FWaitingSends.begin());
        const QPointer<TFrmData> self(this);
        ui::RunGuarded(send);
        if (!self)
            throw ui::OperationGone{};
    }
}
