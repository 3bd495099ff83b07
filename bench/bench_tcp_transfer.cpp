// The TCP components' own cost on loopback, against plain socket loops in the same run:
//  - receive: 64 MiB from a sending thread, read by a TServerSocket's read events (ReceiveAll
//    through the event loop) against a blocking recv loop;
//  - send: 10,000 sends of 1 KiB through SendBytes against a plain send loop, a thread draining.
// Rounds alternate baseline and component, so a busy machine weighs on both alike.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_tcp_transfer [rounds]

#include <algorithm>
#include <chrono>
#include <cstdio>
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

void drain(ws::TSocket s)
{
    std::vector<char> block(Chunk);
    while (ws::recv(s, block.data(), Chunk) > 0) {
    }
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
    return got == ReceiveBytes ? t : -1;
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
    while (!closed)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double t = secondsSince(start);
    sender.join();
    return got == ReceiveBytes ? t : -1;
}

// Sends through either path while a thread drains the other end.
template <typename Send>
double sendLoop(Send send)
{
    ws::TSocket listener;
    const int port = listenPlain(listener);
    std::thread drainer([port] {
        const ws::TSocket s = connectTo(port);
        drain(s);
        ws::closesocket(s);
    });
    const ws::TSocket s = ws::accept(listener, nullptr);
    const double t = send(s);
    ws::closesocket(s);
    drainer.join();
    ws::closesocket(listener);
    return t;
}

double sendPlain()
{
    return sendLoop([](ws::TSocket s) {
        const QByteArray block(SendSize, 'y');
        const auto start = Clock::now();
        for (int i = 0; i < Sends;)
            if (ws::send(s, block.constData(), SendSize) > 0)
                ++i;
        return secondsSince(start);
    });
}

// SendBytes on a connection the component accepted.
double sendComponent()
{
    TServerSocket server;
    TCustomWinSocket *connection = nullptr;
    server.OnClientConnect = [&](QObject *, TCustomWinSocket *s) { connection = s; };
    server.SetPort(0);
    server.SetActive(true);
    const int port = server.Socket()->LocalPort();
    std::thread drainer([port] {
        const ws::TSocket s = connectTo(port);
        drain(s);
        ws::closesocket(s);
    });
    while (!connection)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const QByteArray block(SendSize, 'y');
    const auto start = Clock::now();
    for (int i = 0; i < Sends;)
        if (connection->SendBytes(block) > 0)
            ++i;
    const double t = secondsSince(start);
    server.SetActive(false);
    drainer.join();
    return t;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<double> rp, rc, sp, sc;
    for (int i = 0; i < rounds; ++i) {
        rp.push_back(receivePlain());
        rc.push_back(receiveComponent());
        sp.push_back(sendPlain());
        sc.push_back(sendComponent());
    }
    const double mib = ReceiveBytes / (1024.0 * 1024.0);
    const double rpm = median(rp), rcm = median(rc), spm = median(sp), scm = median(sc);
    std::printf("receive 64 MiB  plain recv loop   %8.1f MiB/s\n", mib / rpm);
    std::printf("receive 64 MiB  TServerSocket     %8.1f MiB/s   time ratio %.2f\n", mib / rcm, rcm / rpm);
    std::printf("10,000 x 1 KiB  plain send loop   %8.2f ms\n", spm * 1000);
    std::printf("10,000 x 1 KiB  SendBytes         %8.2f ms      time ratio %.2f\n", scm * 1000, scm / spm);
    return 0;
}
