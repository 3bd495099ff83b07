// Floods through the main window with real peers on 127.0.0.1: a burst of datagrams reaches a
// UDP server's window whole while the window catches up, and a TCP stream of a few MiB is
// logged and counted to the byte.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Qt
#include <QCheckBox>
#include <QFile>
#include <QtEndian>
#include <QLabel>
#include <QRegularExpression>
#include <QTreeWidget>

#include "Expected.h"
#include "HexCodec.h"
#include "TMySocket.h"
#include "TNMUDP.h"
#include "TestPeer.h"
#include "TestSupport.h"
#include "Unit1.h"
#include "UdpPeer.h"
#include "datapanel.h"
#include "MainWindowTest.h"
#include "Ports.h"

using namespace testing_support;

namespace {

const QString Received = QStringLiteral(" 收到数据：");

// One receive line taken apart: the bytes its hex block shows and the bytes the read held.
struct LoggedRead {
    QByteArray shown;
    qsizetype total = -1;
};

// The receive lines of a log in hex display mode, in order. Data that is printable ASCII keeps
// every line on one block and cannot be mistaken for a label or a note.
std::vector<LoggedRead> ReadsInLog(const QString &log)
{
    static const QRegularExpression note(QStringLiteral("(\\d+)字节"));
    std::vector<LoggedRead> reads;
    for (const QString &line : log.split(QLatin1Char('\n'))) {
        const int at = line.indexOf(Received);
        if (at < 0)
            continue;
        LoggedRead read;
        const int open = at + Received.size();
        const int close = line.indexOf(QLatin1Char('}'), open);
        if (line.at(open) != QLatin1Char('{') || close < 0)
            return {};
        read.shown = QByteArray::fromHex(line.mid(open + 1, close - open - 1).toLatin1());
        const QString rest = line.mid(close + 1);
        read.total = read.shown.size();
        if (rest != QString::fromLatin1(read.shown)) {
            // A read longer than a line shows: its first bytes, then the note of its size.
            const QRegularExpressionMatch m = note.match(rest, read.shown.size());
            read.total = m.hasMatch() ? m.captured(1).toLongLong() : -1;
            if (rest != QString::fromLatin1(read.shown) + CutNoteText(read.total, read.shown.size()))
                read.total = -1;
        }
        reads.push_back(read);
    }
    return reads;
}

// Datagrams the system dropped at the UDP socket bound to this port (the last column of
// /proc/net/udp); -1 when there is no such socket.
int64_t SystemDrops(int port)
{
    QFile table(QStringLiteral("/proc/net/udp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    table.readLine();
    while (!table.atEnd()) {
        const QList<QByteArray> fields = table.readLine().simplified().split(' ');
        if (fields.size() < 13 || fields[1].split(':').value(1).toInt(nullptr, 16) != port)
            continue;
        return fields.last().toLongLong();
    }
    return -1;
}

// Printable ASCII that does not repeat within a read.
QByteArray Stream(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype k = 0; k < size; ++k)
        bytes[k] = static_cast<char>(0x20 + (k * 7919 + (k >> 12)) % 95);
    return bytes;
}

using Flood = testing_support::MainWindowTest;

// A plain receive loop on a socket with the window's receive buffer, fed the same burst by the
// same kind of peer: what the system drops there is what this machine imposes right now.
int64_t PlainLoopDrops(int count, int size)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int buffer = TNMUDP::ReceiveBufferBytes;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length);
    const int port = ntohs(a.sin_port);
    // A quiet spell of the socket ends the loop only once the sender is known to be done.
    timeval quiet{0, 100000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &quiet, sizeof quiet);

    std::atomic<bool> sent{false};
    int64_t received = 0;
    std::thread loop([&] {
        std::vector<char> datagram(65536);
        for (;;) {
            if (::recv(fd, datagram.data(), datagram.size(), 0) >= 0)
                ++received;
            else if (sent)
                break;
        }
    });
    auto peer = UdpPeer::Burst(port, count, size);
    const bool finished = peer && peer->WaitFinished(60000);
    sent = true;
    loop.join();
    const int64_t drops = SystemDrops(port);
    ::close(fd);
    EXPECT_TRUE(finished);
    EXPECT_EQ(received + drops, count);
    return drops;
}

} // namespace

TEST_F(Flood, UdpServerWindowTakesABurstOf10000DatagramsWholeAndKeepsUpWithAPlainLoop)
{
    constexpr int Count = 10000;
    constexpr int Size = 1024;
    // The system drops only when the window stops reading for some ten milliseconds, which a
    // busy machine can impose on any process: a burst the system dropped from is measured
    // against a plain receive loop fed a burst right after it, and tried again. The window falls
    // behind when it drops where the plain loop, on the same machine at the same time, did not,
    // in every try. Every datagram it was delivered must be in the log, each time.
    QStringList behind;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        SCOPED_TRACE(attempt);
        TMySocket *server = form->CreateUdpServer(0);
        TFrmData *window = server->DataWindow;
        window->CheckBox2->setChecked(true);
        EXPECT_GE(server->UdpServer->ReceiveBufferGranted(), TNMUDP::ReceiveBufferBytes);
        const int port = server->UdpServer->BoundPort();

        // The peer sends flat out; the window catches up meanwhile.
        auto peer = UdpPeer::Burst(port, Count, Size);
        ASSERT_TRUE(peer);
        ASSERT_TRUE(peer->WaitFinished(60000));
        const int64_t drops = SystemDrops(port);
        ASSERT_GE(drops, 0);
        const int64_t delivered = Count - drops;
        ASSERT_TRUE(WaitUntil([&] { return window->RecvCount >= delivered * Size; }, 30000))
            << window->RecvCount / Size << " of " << delivered << " delivered datagrams arrived";
        DrainEvents();

        EXPECT_EQ(window->RecvCount, delivered * Size);
        EXPECT_EQ(window->StatusBar2Panel0->text(), CountersText(delivered * Size, 0));
        const QString log = window->LogText();
        ASSERT_EQ(log.count(Received), delivered);
        // Datagram i begins with i as four big-endian bytes: each once, in the order sent.
        qint64 previous = -1;
        for (qsizetype at = log.indexOf(Received); at >= 0; at = log.indexOf(Received, at + 1)) {
            const QByteArray head = log.mid(at + Received.size(), 13).toLatin1(); // "{00 00 27 0F "
            ASSERT_TRUE(head.startsWith('{')) << head.constData();
            const qint64 sequence = qFromBigEndian<quint32>(QByteArray::fromHex(head.mid(1)).constData());
            ASSERT_GT(sequence, previous);
            previous = sequence;
        }
        EXPECT_TRUE(recorder.all.isEmpty());
        form->TreeView1->setCurrentItem(server->Node);
        form->Button2Click();
        if (drops == 0)
            return;
        const int64_t plainDrops = PlainLoopDrops(Count, Size);
        if (plainDrops > 0)
            return; // the machine dropped from a plain loop as well: the window kept up with it
        behind << QStringLiteral("window %1, plain loop 0").arg(drops);
    }
    ADD_FAILURE() << "the window dropped datagrams where a plain receive loop did not, in every try ("
                  << behind.join(QStringLiteral("; ")).toStdString() << ")";
}

TEST_F(Flood, TcpStreamOfFourMiBIsLoggedAndCountedToTheByte)
{
    constexpr qsizetype Piece = 1024 * 1024;
    constexpr int Pieces = 4;
    const QByteArray stream = Stream(Piece * Pieces);

    TestPeer peer;
    TMySocket *server = form->CreateTcpServer(0);
    ASSERT_EQ(server->LinkState, 1);
    const int port = BoundPort(server);
    ASSERT_GT(port, 0);
    ASSERT_GT(peer.Connect("a", port), 0);
    TMySocket *connection = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        for (int i = 0; i < form->SocketList.Count(); ++i)
            if (form->SocketList.Items(i)->Kind == kind::TcpServerClient)
                connection = form->SocketList.Items(i);
        return connection != nullptr;
    }));
    TFrmData *window = connection->DataWindow;
    window->CheckBox2->setChecked(true);

    for (int i = 0; i < Pieces; ++i)
        ASSERT_TRUE(peer.Send("a", stream.mid(i * Piece, Piece)));
    ASSERT_TRUE(WaitUntil([&] { return window->RecvCount >= stream.size(); }, 30000));
    DrainEvents();
    EXPECT_EQ(window->RecvCount, stream.size());
    EXPECT_EQ(window->StatusBar2Panel0->text(), CountersText(stream.size(), 0));

    // Every read has its line, and the lines account for every byte in order: each shows the
    // bytes at its place in the stream, exactly, and says how many it stood for.
    const std::vector<LoggedRead> reads = ReadsInLog(window->LogText());
    ASSERT_FALSE(reads.empty());
    qsizetype offset = 0;
    for (size_t i = 0; i < reads.size(); ++i) {
        ASSERT_GE(reads[i].total, reads[i].shown.size()) << "read " << i;
        ASSERT_EQ(reads[i].shown, stream.mid(offset, reads[i].shown.size())) << "read " << i << " at " << offset;
        offset += reads[i].total;
    }
    EXPECT_EQ(offset, stream.size());
    EXPECT_TRUE(recorder.all.isEmpty());
}
