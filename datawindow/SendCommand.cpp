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
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>
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

namespace {

// The TCP connection a send of this instance goes through (null for the UDP kinds and a TCP
// server, which send otherwise).
TCustomWinSocket *TcpConnectionOf(const TMySocket &instance)
{
    if (instance.Kind == kind::TcpClient) {
        auto *client = qobject_cast<TClientSocket *>(instance.Socket);
        return client ? client->Socket() : nullptr;
    }
    if (instance.Kind == kind::TcpServerClient)
        return qobject_cast<TCustomWinSocket *>(instance.Socket);
    return nullptr;
}

} // namespace

TSendOutcome TFrmData::SendString(const QByteArray &bytes)
{
    TMySocket *instance = MySocket;
    if (!instance)
        return TSendOutcome::Stopped;
    const QString &k = instance->Kind;
    if (k == kind::TcpClient || k == kind::TcpServerClient)
        return SendWithRetry(TcpConnectionOf(*instance), bytes);
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

bool TFrmData::HasLink() const
{
    if (!MySocket)
        return false;
    if (MySocket->Kind != kind::TcpClient && MySocket->Kind != kind::TcpServerClient)
        return true;
    const TCustomWinSocket *connection = TcpConnectionOf(*MySocket);
    return connection && connection->Connected();
}

void TFrmData::Button11Click()
{
    // Pressed in the window: a window never shown has no send box to send from.
    if (!IsBuilt())
        return;
    const bool hex = HexMode();
    const int codePage = FCodePage;
    // The box as it stands, its line breaks as one character each: what the history keeps, and
    // where a refused hex character is counted.
    QString boxText = Memo3->document()->toRawText();
    boxText.replace(QChar::ParagraphSeparator, u'\n');
    boxText.replace(QChar::LineSeparator, u'\n');
    QByteArray bytes;
    if (hex) {
        THexFault fault;
        if (!ReadHexText(boxText, &bytes, &fault)) {
            const ui::Operation op = Working();
            op.Run([&] { op.Message(HexFaultText(fault)); });
            return;
        }
    } else {
        bytes = ToCodePageNumber(SendBoxText(Memo3->document()), codePage);
    }
    if (bytes.isEmpty())
        return;
    const QString repeatText = ComboBox2->currentText();
    // A count that is no number is told by the error it raises; the box keeps its text.
    const int32_t count = StrToInt(repeatText);
    // No link: nothing goes, nothing is logged, and the text stays to be sent once connected.
    if (!HasLink()) {
        const ui::Operation op = Working();
        op.Run([&] { op.Message(NotConnectedText); });
        return;
    }
    Memo3->clear();
    FSendHistory.Leave();
    const TSentText sent{boxText, hex};
    // Pressed while part of a unit is out (this runs inside that send's wait): its turn comes
    // when the unit is out whole.
    if (FOpenUnits > 0) {
        FWaitingSends.push_back([this, bytes, sent, repeatText, count, codePage] {
            RunSendCommand(bytes, sent, repeatText, count, codePage);
        });
        return;
    }
    RunSendCommand(bytes, sent, repeatText, count, codePage);
}

void TFrmData::RunSendCommand(const QByteArray &bytes, const TSentText &sent, const QString &repeatText,
                              int32_t count, int codePage)
{
    AppendLogLine(SendLine(QTime::currentTime(), bytes, sent.hex, repeatText, codePage));
    ShowCounters();

    const ui::Operation op = Working();
    op.Run([&] {
        try {
            for (int32_t i = 0; i < count; ++i)
                if (!SendStep(op, bytes, i == 0, &sent))
                    break;
        } catch (...) {
            // A send error raised: what went out before it is counted.
            if (op.Stands())
                ShowCounters();
            throw;
        }
        ShowCounters();
    });
}

bool TFrmData::SendStep(const ui::Operation &op, const QByteArray &bytes, bool first, const TSentText *command)
{
    TSendOutcome outcome;
    try {
        outcome = SendString(bytes);
    } catch (...) {
        // Deleted while its send waited (a UDP name lookup, which the deletion cancels): the
        // command ends quietly with its window, as when a TCP send stops that way.
        op.Check();
        // Refused before anything went: the text goes back to the box.
        if (first && command)
            KeepUnsent(*command);
        throw;
    }
    op.Check();
    if (outcome != TSendOutcome::Sent) {
        // A link that goes down during the command shows in the status and the tree, and may be
        // the user's own doing: only a send that found no link at all is told.
        if (outcome == TSendOutcome::NotConnected && first) {
            if (command)
                KeepUnsent(*command);
            op.Message(NotConnectedText);
        }
        RunWaitingSends();
        return false;
    }
    SendCount += bytes.size();
    if (first && command)
        FSendHistory.Add(*command);
    // The counter line follows a long send a few times a second, not once per repetition.
    if (FCountersAt.elapsed() >= CounterRefreshMs)
        ShowCounters();
    RunWaitingSends();
    op.Yield();
    return true;
}

void TFrmData::KeepUnsent(const TSentText &sent)
{
    // Unless the user wrote something else there meanwhile.
    if (!Memo3 || !Memo3->document()->isEmpty())
        return;
    CheckBox2->setChecked(sent.hex);
    Memo3->setPlainText(sent.text);
    Memo3->moveCursor(QTextCursor::End);
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
