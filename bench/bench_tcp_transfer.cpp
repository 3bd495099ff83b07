// The TCP components' own cost on loopback, against plain socket loops in the same run:
//  - receive: 64 MiB from a sending thread, read by a TServerSocket's read events (ReceiveAll
//    through the event loop) against a blocking recv loop;
//  - send: 10,000 sends of 1 KiB through SendBytes against a plain send loop, a thread draining.
// Rounds alternate baseline and component, and which of the two goes first, so a busy machine
// weighs on both alike. A transfer that does not arrive whole fails the run (exit status
// non-zero) and gives no figure.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_tcp_transfer [rounds] [--no-verdicts]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

// Qt
#include <QCoreApplication>

// platform
#include "WinSock.h"
// transport
#include "TServerSocket.h"
#include "TServerWinSocket.h"
#include "BenchSupport.h"
#include "BenchTargets.h"

namespace {

using bench::median;
using bench::secondsSince;
using bench::loopback;

using bench::Clock;

constexpr int Chunk = 64 * 1024;
constexpr long long ReceiveBytes = 64LL * 1024 * 1024;
constexpr int Sends = 10000;
constexpr int SendSize = 1024;

ws::TSocket connectTo(int port)
{
    const ws::TSocket s = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    ws::connect(s, loopback(port));
    return s;
}

void sendAll(ws::TSocket s, long long total)
{
    std::vector<char> block(Chunk, 'x');
    for (long long sent = 0; sent < total;) {
        const int n = ws::send(s, block.data(), static_cast<int>(std::min<long long>(Chunk, total - sent)));
        if (n <= 0)
            return;
        sent += n;
    }
}

long long drain(ws::TSocket s)
{
    std::vector<char> block(Chunk);
    long long got = 0;
    for (int n; (n = ws::recv(s, block.data(), Chunk)) > 0;)
        got += n;
    return got;
}

// Handles events until done(); false after 60 s.
bool handleEventsUntil(const std::function<bool()> &done)
{
    const auto start = Clock::now();
    while (!done()) {
        if (secondsSince(start) > 60)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

// A plain listener on 127.0.0.1; returns its port.
int listenPlain(ws::TSocket &listener)
{
    listener = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    ws::bind(listener, loopback(0));
    ws::listen(listener, 5);
    ws::TSockAddrIn bound;
    ws::getsockname(listener, &bound);
    return ws::NetToHost16(bound.sin_port);
}

double receivePlain()
{
    ws::TSocket listener;
    const int port = listenPlain(listener);
    std::thread sender([port] {
        const ws::TSocket s = connectTo(port);
        sendAll(s, ReceiveBytes);
        ws::closesocket(s);
    });
    const ws::TSocket s = ws::accept(listener, nullptr);
    const auto start = Clock::now();
    std::vector<char> block(Chunk);
    long long got = 0;
    for (int n; (n = ws::recv(s, block.data(), Chunk)) > 0;)
        got += n;
    const double t = secondsSince(start);
    sender.join();
    ws::closesocket(s);
    ws::closesocket(listener);
    return got == ReceiveBytes ? t : NAN;
}

double receiveComponent()
{
    TServerSocket server;
    long long got = 0;
    bool closed = false;
    Clock::time_point start;
    server.OnClientConnect = [&](QObject *, TCustomWinSocket *) { start = Clock::now(); };
    server.OnClientRead = [&](QObject *, TCustomWinSocket *s) { got += s->ReceiveAll().size(); };
    server.OnClientDisconnect = [&](QObject *, TCustomWinSocket *) { closed = true; };
    server.SetPort(0);
    server.SetActive(true);
    const int port = server.Socket()->LocalPort();
    std::thread sender([port] {
        const ws::TSocket s = connectTo(port);
        sendAll(s, ReceiveBytes);
        ws::closesocket(s);
    });
    const bool ended = handleEventsUntil([&] { return closed; });
    const double t = secondsSince(start);
    server.SetActive(false);
    sender.join();
    return ended && got == ReceiveBytes ? t : NAN;
}

// Sends through either path while a thread drains the other end; NaN unless every byte arrived.
template <typename Send>
double sendLoop(Send send)
{
    ws::TSocket listener;
    const int port = listenPlain(listener);
    std::atomic<long long> drained{0};
    std::thread drainer([port, &drained] {
        const ws::TSocket s = connectTo(port);
        drained = drain(s);
        ws::closesocket(s);
    });
    const ws::TSocket s = ws::accept(listener, nullptr);
    const double t = send(s);
    ws::closesocket(s);
    drainer.join();
    ws::closesocket(listener);
    return drained == static_cast<long long>(Sends) * SendSize ? t : NAN;
}

double sendPlain()
{
    return sendLoop([](ws::TSocket s) -> double {
        const QByteArray block(SendSize, 'y');
        const auto start = Clock::now();
        for (int i = 0; i < Sends; ++i)
            for (int done = 0; done < SendSize;) {
                const int n = ws::send(s, block.constData() + done, SendSize - done);
                if (n <= 0)
                    return NAN;
                done += n;
            }
        return secondsSince(start);
    });
}

// SendBytes on a connection the component accepted; it does not block, so a send that would is
// tried again (for at most 60 s). NaN unless every byte arrived.
double sendComponent()
{
    TServerSocket server;
    TCustomWinSocket *connection = nullptr;
    server.OnClientConnect = [&](QObject *, TCustomWinSocket *s) { connection = s; };
    server.SetPort(0);
    server.SetActive(true);
    const int port = server.Socket()->LocalPort();
    std::atomic<long long> drained{0};
    std::thread drainer([port, &drained] {
        const ws::TSocket s = connectTo(port);
        drained = drain(s);
        ws::closesocket(s);
    });
    double t = NAN;
    if (handleEventsUntil([&] { return connection != nullptr; })) {
        const QByteArray block(SendSize, 'y');
        const auto start = Clock::now();
        bool whole = true;
        for (int i = 0; i < Sends && whole; ++i)
            for (int done = 0; done < SendSize && whole;) {
                const int n = connection->SendBytes(done ? block.mid(done) : block);
                if (n > 0)
                    done += n;
                else
                    whole = n < 0 && secondsSince(start) < 60;
            }
        t = whole ? secondsSince(start) : NAN;
    }
    server.SetActive(false);
    drainer.join();
    return drained == static_cast<long long>(Sends) * SendSize ? t : NAN;
}

} // namespace

int main(int argc, char **argv)
{
    bench::TTargets targets(argc, argv);
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    struct Path {
        const char *name;
        double (*run)();
        std::vector<double> seconds;
    };
    Path paths[] = {{"receive, plain recv loop", receivePlain, {}},
                    {"receive, TServerSocket", receiveComponent, {}},
                    {"send, plain send loop", sendPlain, {}},
                    {"send, SendBytes", sendComponent, {}}};
    for (int r = 0; r < rounds; ++r)
        for (int i = 0; i < 4; ++i) {
            // Every other round the component goes before its baseline.
            Path &p = paths[r % 2 ? i ^ 1 : i];
            const double t = p.run();
            if (std::isnan(t))
                targets.Fail("round %d, %s: not every byte arrived", r + 1, p.name);
            else
                p.seconds.push_back(t);
        }
    const double mib = ReceiveBytes / (1024.0 * 1024.0);
    const double rpm = median(paths[0].seconds), rcm = median(paths[1].seconds);
    const double spm = median(paths[2].seconds), scm = median(paths[3].seconds);
    std::printf("receive 64 MiB  plain recv loop   %8.1f MiB/s\n", mib / rpm);
    std::printf("receive 64 MiB  TServerSocket     %8.1f MiB/s   time ratio %.2f\n", mib / rcm, rcm / rpm);
    std::printf("10,000 x 1 KiB  plain send loop   %8.2f ms\n", spm * 1000);
    std::printf("10,000 x 1 KiB  SendBytes         %8.2f ms      time ratio %.2f\n", scm * 1000, scm / spm);
    return targets.Finish();
}
