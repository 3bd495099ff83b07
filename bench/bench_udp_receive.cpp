// Receiving UDP datagrams through TNMUDP on 127.0.0.1: the cost per datagram of one event with
// its ReadStream, against a plain recvfrom loop on the same burst (the baseline), and how many
// datagrams of a 10,000 burst from a sender thread running flat out reach the events.
// Every other round the baseline goes first. A datagram of a burst that does not arrive, or one
// of the flood neither received nor dropped by the system, fails the run (exit status non-zero).
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_udp_receive [rounds] [--no-verdicts]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

// Qt
#include <QBuffer>
#include <QCoreApplication>
#include <QDeadlineTimer>

// transport
#include "TNMUDP.h"
#include "BenchSupport.h"
#include "BenchTargets.h"

namespace {

using bench::median;
using bench::loopback;
using bench::udpDrops;

constexpr int Burst = 2000; // fits the 4 MiB receive buffer while nobody reads
constexpr int Size = 1024;
constexpr int Flood = 10000;

using bench::Clock;

void sendBurst(int port, int count)
{
    const ws::TSocket s = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
    const QByteArray data(Size, 'x');
    const ws::TSockAddrIn to = loopback(port);
    for (int i = 0; i < count; ++i)
        ws::sendto(s, data.constData(), data.size(), to);
    ws::closesocket(s);
}

// Handles events until count datagrams came or nothing came for a while.
void drain(const int &received, int count)
{
    QDeadlineTimer quiet(500);
    int last = received;
    while (received < count && !quiet.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        if (received != last) {
            last = received;
            quiet.setRemainingTime(500);
        }
    }
}

// The burst read by a plain loop on a socket of its own; microseconds per datagram, and how
// many came.
double plainBurst(int &count)
{
    const ws::TSocket s = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
    ws::setReceiveBuffer(s, TNMUDP::ReceiveBufferBytes);
    ws::bind(s, loopback(0));
    ws::TSockAddrIn bound;
    ws::getsockname(s, &bound);
    sendBurst(ws::NetToHost16(bound.sin_port), Burst);
    ws::setNonBlocking(s, true);
    QByteArray buffer(65536, '\0');
    count = 0;
    const auto t0 = Clock::now();
    while (ws::recvfrom(s, buffer.data(), buffer.size(), nullptr) > 0)
        ++count;
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / Burst;
    ws::closesocket(s);
    return us;
}

} // namespace

int main(int argc, char **argv)
{
    bench::TTargets targets(argc, argv);
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    TNMUDP udp;
    udp.setLocalPort(0);
    const int port = udp.BoundPort();
    int received = 0;
    udp.OnDataReceived = [&](QObject *, int numberBytes, const QString &, int) {
        QBuffer stream;
        udp.ReadStream(stream);
        received += stream.readAll().size() == numberBytes;
    };
    std::printf("receive buffer granted: %d bytes\n", udp.ReceiveBufferGranted());

    // A burst each first, not measured: neither side meets its first datagrams in a round.
    sendBurst(port, Burst);
    drain(received, Burst);
    int warm = 0;
    plainBurst(warm);

    std::vector<double> events, plain;
    for (int r = 0; r < rounds; ++r) {
        double plainUs = 0;
        int plainCount = 0;
        if (r % 2)
            plainUs = plainBurst(plainCount);
        // TNMUDP: the burst waits in the kernel, then the loop delivers it.
        received = 0;
        sendBurst(port, Burst);
        const auto t0 = Clock::now();
        drain(received, Burst);
        const double eventUs = std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / Burst;
        const int eventCount = received;
        if (r % 2 == 0)
            plainUs = plainBurst(plainCount);

        if (eventCount != Burst || plainCount != Burst) {
            targets.Fail("round %d: of a burst of %d datagrams that fits the receive buffer, %d reached the events "
                         "and %d the plain loop",
                         r + 1, Burst, eventCount, plainCount);
            continue;
        }
        std::printf("round %d (%s first): events %.2f us/datagram (%d of %d), plain loop %.2f us/datagram (%d), "
                    "ratio %.1f\n",
                    r + 1, r % 2 ? "plain loop" : "events", eventUs, eventCount, Burst, plainUs, plainCount,
                    eventUs / plainUs);
        events.push_back(eventUs);
        plain.push_back(plainUs);
    }
    std::printf("median of %zu good rounds of %d: events %.2f us/datagram, plain loop %.2f us/datagram\n",
                events.size(), rounds, median(events), median(plain));

    // A sender thread flat out while the loop receives: what does not reach the events, the
    // system must have dropped.
    received = 0;
    const long long dropsBefore = udpDrops(port);
    std::thread sender(sendBurst, port, Flood);
    drain(received, Flood);
    sender.join();
    drain(received, Flood);
    const long long dropped = udpDrops(port) - dropsBefore;
    std::printf("flood of %d datagrams of %d bytes from a thread: %d received, %lld dropped by the system\n", Flood,
                Size, received, dropped);
    if (dropsBefore < 0 || received + dropped != Flood)
        targets.Fail("flood: %lld of %d datagrams were neither received nor dropped by the system",
                     Flood - received - dropped, Flood);

    ws::closesocket(udp.Handle());
    return targets.Finish();
}
