// The UDP component on real sockets on 127.0.0.1, against an outside python3 peer: datagrams of
// every size arrive whole, one event each; the local port rules; sends by address and by host
// name with the window's events going on meanwhile; and the sends it refuses, with nothing on
// the wire.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <memory>
#include <vector>

// Qt
#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>

#include "DatagramQueue.h"
#include "PrivateNetwork.h"
#include "TNMUDP.h"
#include "TestSupport.h"
#include "UdpPeer.h"

using testing_support::DrainEvents;
using testing_support::UdpPeer;
using testing_support::WaitUntil;

namespace {

const QString HostLookupCanceled = QStringLiteral("Host Lookup Canceled");

// A component bound to a local port; closes its handle before freeing it, as owners do.
class OwnedUdp {
public:
    explicit OwnedUdp(int localPort = 0) : FUdp(std::make_unique<TNMUDP>()) { FUdp->setLocalPort(localPort); }
    ~OwnedUdp() { ws::closesocket(FUdp->Handle()); }
    TNMUDP *operator->() const { return FUdp.get(); }
    TNMUDP &operator*() const { return *FUdp; }

private:
    std::unique_ptr<TNMUDP> FUdp;
};

struct Received {
    int numberBytes;
    QByteArray data;
    QString fromIP;
    int port;
};

// Records each data-received event with the bytes read through the component's stream.
struct Listener {
    explicit Listener(TNMUDP &udp)
    {
        udp.OnDataReceived = [this, &udp](QObject *sender, int numberBytes, const QString &fromIP, int port) {
            EXPECT_EQ(sender, &udp);
            QBuffer stream;
            udp.ReadStream(stream);
            events.push_back({numberBytes, stream.readAll(), fromIP, port});
        };
    }
    bool WaitFor(size_t n, int timeoutMs = 5000)
    {
        return WaitUntil([this, n] { return events.size() >= n; }, timeoutMs);
    }
    std::vector<Received> events;
};

// The stream as the data window builds it: written, so positioned at its end.
void Send(TNMUDP &udp, const QByteArray &bytes)
{
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    stream.write(bytes);
    udp.SendStream(stream);
}

struct Outcome {
    bool raised = false;
    bool udpSockError = false;
    QString text;
};

Outcome TrySend(TNMUDP &udp, const QByteArray &bytes)
{
    Outcome o;
    try {
        Send(udp, bytes);
    } catch (const UDPSockError &e) {
        o = {true, true, e.Message()};
    } catch (const Exception &e) {
        o = {true, false, e.Message()};
    }
    return o;
}

// The first datagram the peer saw is a marker sent after the refused send: nothing went before.
void ExpectOnlyMarkerArrives(UdpPeer &peer, TNMUDP &udp)
{
    udp.setRemoteHost(QStringLiteral("127.0.0.1"));
    udp.setRemotePort(peer.Port());
    Send(udp, "marker");
    ASSERT_TRUE(peer.WaitLines(1));
    EXPECT_EQ(peer.Lines().first(), UdpPeer::LineFor("marker", udp.BoundPort()));
}

// Runs fn from the event loop, after everything already posted and before the answer of any
// host lookup started later.
void PostToLoop(std::function<void()> fn)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

} // namespace

// ---- sizes: whole datagrams both ways ------------------------------------------------------

class UdpSizes : public ::testing::TestWithParam<int> {};

TEST_P(UdpSizes, ArriveWholeFromPeerAsOneEvent)
{
    const int size = GetParam();
    OwnedUdp udp;
    Listener listener(*udp);
    // Any 127.x.y.z is local: this one shows each address byte in decimal, no leading zeros.
    auto peer = UdpPeer::Sender(udp->BoundPort(), {size}, QStringLiteral("127.0.10.200"));
    ASSERT_TRUE(peer);
    const int peerPort = peer->Port();
    ASSERT_TRUE(listener.WaitFor(1));
    peer->WaitFinished();
    DrainEvents();

    ASSERT_EQ(listener.events.size(), 1u);
    const Received &e = listener.events[0];
    EXPECT_EQ(e.numberBytes, size);
    EXPECT_EQ(e.data, UdpPeer::Pattern(size));
    EXPECT_EQ(e.fromIP, QStringLiteral("127.0.10.200"));
    EXPECT_EQ(e.port, peerPort);
}

TEST_P(UdpSizes, GoOutWholeToPeerAsOneDatagram)
{
    const int size = GetParam();
    auto peer = UdpPeer::Receiver(1);
    ASSERT_TRUE(peer);
    OwnedUdp udp;
    udp->setRemoteHost(QStringLiteral("127.0.0.1"));
    udp->setRemotePort(peer->Port());
    Send(*udp, UdpPeer::Pattern(size));
    ASSERT_TRUE(peer->WaitLines(1));
    EXPECT_EQ(peer->Lines().first(), UdpPeer::LineFor(UdpPeer::Pattern(size), udp->BoundPort()));
}

INSTANTIATE_TEST_SUITE_P(Bytes, UdpSizes, ::testing::Values(1, 2048, 3000, TNMUDP::MaxDatagram),
                         [](const ::testing::TestParamInfo<int> &info) { return std::to_string(info.param); });

// ---- receiving -----------------------------------------------------------------------------

TEST(NMUDPReceive, BurstsAreKeptWhileAHandlerRuns)
{
    OwnedUdp udp;
    if (udp->ReceiveBufferGranted() < TNMUDP::ReceiveBufferBytes)
        GTEST_SKIP() << "the system grants a receive buffer of only " << udp->ReceiveBufferGranted() << " bytes";
    // Two waves of 3000 datagrams of 1 KiB, the second sent while the first event's handler
    // runs: together more than the kernel's buffer holds (about 3600 of them).
    const int wave = 3000;
    std::vector<uint32_t> sequence;
    bool secondWaveSent = false;
    udp->OnDataReceived = [&](QObject *, int, const QString &, int) {
        QBuffer stream;
        udp->ReadStream(stream);
        const auto *b = reinterpret_cast<const unsigned char *>(stream.data().constData());
        sequence.push_back(uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3]);
        if (sequence.size() == 1) {
            auto peer = UdpPeer::Burst(udp->BoundPort(), wave, 1024);
            secondWaveSent = peer && peer->WaitFinishedHoldingEvents();
        }
    };
    auto first = UdpPeer::Burst(udp->BoundPort(), wave, 1024);
    ASSERT_TRUE(first && first->WaitFinishedHoldingEvents());
    ASSERT_TRUE(WaitUntil([&] { return sequence.size() >= size_t(2 * wave); })) << sequence.size();
    DrainEvents();
    EXPECT_TRUE(secondWaveSent);
    ASSERT_EQ(sequence.size(), size_t(2 * wave));
    for (int i = 0; i < 2 * wave; ++i)
        ASSERT_EQ(sequence[size_t(i)], uint32_t(i % wave)) << "at " << i;
}

// Datagrams the system dropped at the socket bound to this local port (/proc/net/udp).
long long SystemDrops(int port)
{
    QFile table(QStringLiteral("/proc/net/udp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 2 && fields[1].endsWith(':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0')))
            return fields.last().toLongLong();
    }
    return -1;
}

TEST(NMUDPReceive, AFloodOfEmptyDatagramsQueuesNoMoreThanTheCapAndTheSystemCountsTheRest)
{
    OwnedUdp udp;
    const int port = udp->BoundPort();
    const int sender = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
    ws::TSockAddrIn to;
    to.sin_family = ws::AF_INET_;
    to.sin_port = ws::HostToNet16(uint16_t(port));
    to.sin_addr = ws::inet_addr("127.0.0.1");
    // Waves that the system's buffer holds one at a time, each sent while a handler runs, and
    // read ahead when it returns: more of them together than the queue may keep.
    constexpr int Wave = 2000;
    const int waves = TNMUDP::MaxQueuedDatagrams / Wave + 10;
    long long sent = 0, events = 0;
    int mostQueued = 0;
    udp->OnDataReceived = [&](QObject *, int numberBytes, const QString &, int) {
        EXPECT_EQ(numberBytes, 0);
        ++events;
        mostQueued = std::max(mostQueued, udp->QueuedDatagrams());
        if (events <= waves)
            for (int i = 0; i < Wave; ++i)
                sent += ws::sendto(sender, "", 0, to) == 0;
    };
    ASSERT_EQ(ws::sendto(sender, "", 0, to), 0);
    ++sent;
    long long drops = 0;
    ASSERT_TRUE(WaitUntil([&] {
        drops = SystemDrops(port);
        return events > waves && events + drops == sent;
    }, 30000)) << events << " events, " << drops << " dropped, " << sent << " sent";
    EXPECT_LE(mostQueued, TNMUDP::MaxQueuedDatagrams);
    EXPECT_GT(drops, 0);
    ws::closesocket(sender);
}

// The read-ahead queue over many blocks, filled and emptied in turns as a flood does: every
// datagram comes out as it went in, whatever came and went around it.
TEST(DatagramQueue, GivesBackEveryDatagramInOrderAcrossBlocks)
{
    TDatagramQueue queue;
    const auto bytesOf = [](int id, int count) {
        QByteArray bytes(std::max(count, 0), Qt::Uninitialized);
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(id * 31 + i);
        return bytes;
    };
    const int sizes[] = {0, 1, 1024, -1, TNMUDP::MaxDatagram, 7, 3000};
    int pushed = 0;
    int popped = 0;
    for (int round = 0; round < 40; ++round) {
        // More in than out, then drained: the blocks fill, move on and are used again.
        for (int i = 0; i < 300; ++i, ++pushed) {
            const int count = sizes[pushed % 7];
            const QByteArray bytes = bytesOf(pushed, count);
            queue.Push(bytes.constData(), count, uint32_t(pushed), pushed % 65536);
        }
        const int taken = round % 4 == 3 ? pushed - popped : 200;
        for (int i = 0; i < taken; ++i, ++popped) {
            ASSERT_FALSE(queue.Empty());
            const TDatagramQueue::Datagram d = queue.Front();
            ASSERT_EQ(d.fromAddr, uint32_t(popped));
            ASSERT_EQ(d.fromPort, popped % 65536);
            ASSERT_EQ(d.count, sizes[popped % 7]);
            ASSERT_EQ(QByteArray(d.data, std::max(d.count, 0)), bytesOf(popped, d.count)) << popped;
            queue.PopFront();
        }
        EXPECT_EQ(queue.Count(), pushed - popped);
    }
    EXPECT_TRUE(queue.Empty());
    EXPECT_TRUE(queue.HoldsRoom());
    queue.ReleaseRoom();
    EXPECT_FALSE(queue.HoldsRoom());
}

TEST(NMUDPReceive, BusySocketDoesNotHoldUpAnother)
{
    OwnedUdp busy;
    OwnedUdp quiet;
    int busyCount = 0;
    int busyCountWhenQuietHeard = -1;
    busy->OnDataReceived = [&](QObject *, int, const QString &, int) { ++busyCount; };
    quiet->OnDataReceived = [&](QObject *, int, const QString &, int) { busyCountWhenQuietHeard = busyCount; };

    const int burst = 500;
    auto flood = UdpPeer::Burst(busy->BoundPort(), burst, 64);
    auto single = UdpPeer::Sender(quiet->BoundPort(), {8});
    ASSERT_TRUE(flood && single);
    ASSERT_TRUE(flood->WaitFinishedHoldingEvents());
    ASSERT_TRUE(single->WaitFinishedHoldingEvents());

    ASSERT_TRUE(WaitUntil([&] { return busyCountWhenQuietHeard >= 0; }));
    EXPECT_LT(busyCountWhenQuietHeard, burst);
    ASSERT_TRUE(WaitUntil([&] { return busyCount >= burst; }));
    DrainEvents();
    EXPECT_EQ(busyCount, burst);
}

TEST(NMUDPReceive, HandlerMayFreeTheComponent)
{
    auto *udp = new TNMUDP;
    udp->setLocalPort(0);
    int events = 0;
    udp->OnDataReceived = [&](QObject *, int, const QString &, int) {
        ++events;
        ws::closesocket(udp->Handle());
        delete udp;
        udp = nullptr;
    };
    auto peer = UdpPeer::Sender(udp->BoundPort(), {1, 2, 3});
    ASSERT_TRUE(peer && peer->WaitFinishedHoldingEvents());
    ASSERT_TRUE(WaitUntil([&] { return udp == nullptr; }));
    DrainEvents();
    EXPECT_EQ(events, 1);
}

// ---- local port ----------------------------------------------------------------------------

TEST(NMUDPLocalPort, ZeroReadsZeroWhileBoundToASystemPort)
{
    OwnedUdp udp(0);
    EXPECT_EQ(udp->LocalPort(), 0);
    EXPECT_NE(udp->BoundPort(), 0);
}

TEST(NMUDPLocalPort, PortAbove65535UsesItsLow16BitsBothWays)
{
    // A fixed port (4464) is free only in a network of the test's own.
    VELMORA_IN_PRIVATE_NETWORK();
    OwnedUdp receiver(70000);
    EXPECT_EQ(receiver->LocalPort(), 70000);
    EXPECT_EQ(receiver->BoundPort(), 4464);

    Listener listener(*receiver);
    OwnedUdp sender;
    sender->setRemoteHost(QStringLiteral("127.0.0.1"));
    sender->setRemotePort(70000);
    Send(*sender, "to 4464");
    ASSERT_TRUE(listener.WaitFor(1));
    EXPECT_EQ(listener.events[0].data, QByteArray("to 4464"));
}

TEST(NMUDPLocalPort, TakenPortLeavesTheSocketSilentlyUnbound)
{
    OwnedUdp first;
    const int port = first->BoundPort();
    std::unique_ptr<OwnedUdp> second;
    EXPECT_NO_THROW(second = std::make_unique<OwnedUdp>(port));
    EXPECT_EQ((*second)->LocalPort(), port);
    EXPECT_EQ((*second)->BoundPort(), 0);
}

TEST(NMUDPLocalPort, SettingItAgainReleasesTheOldPortAndKeepsReceiving)
{
    // The old port bound again after its release: no other test may take it meanwhile.
    VELMORA_IN_PRIVATE_NETWORK();
    OwnedUdp udp;
    const int oldPort = udp->BoundPort();
    udp->setLocalPort(0);
    const int newPort = udp->BoundPort();
    ASSERT_NE(newPort, 0);
    EXPECT_NE(newPort, oldPort);

    OwnedUdp again(oldPort);
    EXPECT_EQ(again->BoundPort(), oldPort);

    Listener listener(*udp);
    auto peer = UdpPeer::Sender(newPort, {4});
    ASSERT_TRUE(peer);
    ASSERT_TRUE(listener.WaitFor(1));
    EXPECT_EQ(listener.events[0].data, UdpPeer::Pattern(4));
}

TEST(NMUDPCreate, SocketThatCannotBeMadeRaisesUnknownErrorWithItsNumber)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer runtime opens descriptors of its own for its checks";
#endif
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    // Every descriptor below the lowest free one is in use: a limit there leaves none to make.
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit tight = old;
    tight.rlim_cur = rlim_t(lowestFree);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    QString text;
    try {
        TNMUDP udp;
        ws::closesocket(udp.Handle());
    } catch (const UDPSockError &e) {
        text = e.Message();
    }
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(text, QStringLiteral("Unknown Error No. 10024"));
}

// ---- sending -------------------------------------------------------------------------------

TEST(NMUDPSend, HostNameIsResolvedWhileTheLoopGoesOn)
{
    auto peer = UdpPeer::Receiver(1);
    ASSERT_TRUE(peer);
    OwnedUdp udp;
    udp->setRemoteHost(QStringLiteral("localhost"));
    udp->setRemotePort(peer->Port());
    bool sendReturned = false;
    bool handledDuringSend = false;
    PostToLoop([&] { handledDuringSend = !sendReturned; });
    Send(*udp, "by name");
    sendReturned = true;
    EXPECT_TRUE(handledDuringSend);
    ASSERT_TRUE(peer->WaitLines(1));
    EXPECT_EQ(peer->Lines().first(), UdpPeer::LineFor("by name", udp->BoundPort()));
}

TEST(NMUDPSend, SecondSendDuringALookupRunsToItsEndFirst)
{
    auto peer = UdpPeer::Receiver(2);
    ASSERT_TRUE(peer);
    OwnedUdp udp;
    udp->setRemoteHost(QStringLiteral("localhost"));
    udp->setRemotePort(peer->Port());
    PostToLoop([&] {
        udp->setRemoteHost(QStringLiteral("127.0.0.1"));
        Send(*udp, "inner");
    });
    Send(*udp, "outer");
    ASSERT_TRUE(peer->WaitLines(2));
    EXPECT_EQ(peer->Lines(), QStringList({UdpPeer::LineFor("inner", udp->BoundPort()),
                                          UdpPeer::LineFor("outer", udp->BoundPort())}));
}

TEST(NMUDPSend, BroadcastAddressReachesTheLocalListener)
{
    OwnedUdp receiver;
    Listener listener(*receiver);
    OwnedUdp sender;
    sender->setRemoteHost(QStringLiteral("127.255.255.255"));
    sender->setRemotePort(receiver->BoundPort());
    Send(*sender, "to all");
    ASSERT_TRUE(listener.WaitFor(1));
    EXPECT_EQ(listener.events[0].data, QByteArray("to all"));
    EXPECT_EQ(listener.events[0].port, sender->BoundPort());
}

TEST(NMUDPSend, UnresolvableNameIsLookedUpTwiceThenCanceled)
{
    // The lookup of a name that is not in /etc/hosts would ask the configured name server:
    // only ever in a network of our own, where the query cannot leave.
    VELMORA_IN_PRIVATE_NETWORK();
    OwnedUdp udp;
    udp->setRemoteHost(QStringLiteral("no-such-host.invalid"));
    udp->setRemotePort(9);
    int calls = 0;
    udp->OnInvalidHost = [&](bool &) { ++calls; };
    const Outcome o = TrySend(*udp, "lost");
    EXPECT_TRUE(o.udpSockError);
    EXPECT_EQ(o.text, HostLookupCanceled);
    EXPECT_EQ(calls, 1);
}

TEST(NMUDPSend, CancelDuringTheLookupEndsTheSendWithoutRetry)
{
    OwnedUdp udp;
    udp->setRemoteHost(QStringLiteral("localhost"));
    udp->setRemotePort(9);
    int calls = 0;
    udp->OnInvalidHost = [&](bool &) { ++calls; };
    PostToLoop([&] { udp->Cancel(); });
    const Outcome o = TrySend(*udp, "x");
    EXPECT_TRUE(o.udpSockError);
    EXPECT_EQ(o.text, HostLookupCanceled);
    EXPECT_EQ(calls, 0);
}

TEST(NMUDPSend, FreeingTheComponentDuringTheLookupEndsTheSend)
{
    auto *udp = new TNMUDP;
    udp->setLocalPort(0);
    udp->setRemoteHost(QStringLiteral("localhost"));
    udp->setRemotePort(9);
    PostToLoop([&] {
        ws::closesocket(udp->Handle());
        delete udp;
        udp = nullptr;
    });
    const Outcome o = TrySend(*udp, "x");
    EXPECT_EQ(udp, nullptr);
    EXPECT_EQ(o.text, HostLookupCanceled);
}

// ---- refused sends: the error, and nothing on the wire --------------------------------------

struct Refusal {
    const char *name;
    int bytes;
    const char *host;
    bool udpSockError;
    QString text;
};

class NMUDPRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(NMUDPRefusal, RaisesItsErrorAndSendsNothing)
{
    const Refusal &r = GetParam();
    if (QByteArray(r.host) == "no-such-host.invalid")
        VELMORA_IN_PRIVATE_NETWORK(); // no name server query may leave the machine
    auto peer = UdpPeer::Receiver(1);
    ASSERT_TRUE(peer);
    OwnedUdp udp;
    udp->setRemoteHost(QString::fromLatin1(r.host));
    udp->setRemotePort(peer->Port());
    const Outcome o = TrySend(*udp, QByteArray(r.bytes, 'z'));
    EXPECT_TRUE(o.raised);
    EXPECT_EQ(o.udpSockError, r.udpSockError);
    EXPECT_EQ(o.text, r.text);
    ExpectOnlyMarkerArrives(*peer, *udp);
}

INSTANTIATE_TEST_SUITE_P(
    Sends, NMUDPRefusal,
    ::testing::Values(
        Refusal{"LongerThanOneDatagram", TNMUDP::MaxDatagram + 1, "127.0.0.1", true,
                QStringLiteral("Datagram too long: 65508 bytes, but one UDP datagram carries at most 65507 bytes; "
                               "nothing was sent")},
        Refusal{"EmptyStream", 0, "127.0.0.1", false, QStringLiteral("Invalid stream")},
        Refusal{"EmptyRemoteHost", 5, "", true,
                QStringLiteral("No remote host: no datagram has been received yet, so there is no one to answer; "
                               "nothing was sent")},
        Refusal{"NullRemoteAddress", 5, "0.0.0.0", true, QStringLiteral("Null Remote Address")},
        Refusal{"UnresolvableName", 5, "no-such-host.invalid", true, HostLookupCanceled}),
    [](const ::testing::TestParamInfo<Refusal> &info) { return std::string(info.param.name); });
