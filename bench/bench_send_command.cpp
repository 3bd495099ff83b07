// The send command's own cost on loopback: 10,000 repetitions of 1 KiB through the real
// Button11Click of a UDP client and of a TCP client window, against plain loops of the same
// system calls measured in the same run. Threads drain the sinks, so TCP never stalls. A plain
// loop with one pass of event handling per send shows what that pass costs by itself.
// Rounds alternate the paths, so a busy machine weighs on all of them alike.
//
// With --file, a file of 100 MiB goes out once through a TCP Client window's file send to a
// peer that reads it all and digests it, against a plain send loop of the same bytes.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_send_command [rounds] [--file]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

// Qt
#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QFile>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>

// platform
#include "MessageSeam.h"
#include "WinSock.h"
// transport
#include "TNMUDP.h"
// workbench
#include "TMySocket.h"
#include "Unit1.h"
#include "datapanel.h"
#include "BenchSupport.h"

namespace {

using bench::median;
using bench::secondsSince;
using bench::loopback;

using bench::Clock;

constexpr int Sends = 10000;
constexpr int SendSize = 1024;

double timed(const std::function<void()> &run)
{
    const auto start = Clock::now();
    run();
    return secondsSince(start);
}

int boundPort(ws::TSocket s)
{
    ws::TSockAddrIn bound;
    ws::getsockname(s, &bound);
    return ws::NetToHost16(bound.sin_port);
}

// A UDP socket on 127.0.0.1 that a thread reads until an empty datagram arrives.
class UdpSink {
public:
    UdpSink() : FSocket(ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0))
    {
        ws::setReceiveBuffer(FSocket, 4 * 1024 * 1024);
        ws::bind(FSocket, loopback(0));
        Port = boundPort(FSocket);
        FThread = std::thread([this] {
            std::vector<char> buffer(65536);
            ws::TSockAddrIn from;
            while (ws::recvfrom(FSocket, buffer.data(), static_cast<int>(buffer.size()), &from) != 0) {
            }
            FDone = true;
        });
    }
    ~UdpSink()
    {
        // The empty datagram that ends the thread; again, should a full buffer drop it.
        const ws::TSocket s = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
        while (!FDone) {
            ws::sendto(s, "", 0, loopback(Port));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ws::closesocket(s);
        FThread.join();
        ws::closesocket(FSocket);
    }
    int Port = 0;

private:
    ws::TSocket FSocket;
    std::atomic<bool> FDone{false};
    std::thread FThread;
};

// A TCP listener on 127.0.0.1 whose every accepted connection a thread drains until its end.
class TcpSink {
public:
    TcpSink() : FListener(ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0))
    {
        ws::setReuseAddress(FListener);
        ws::bind(FListener, loopback(0));
        ws::listen(FListener, 5);
        Port = boundPort(FListener);
    }
    ~TcpSink()
    {
        for (std::thread &t : FDrainers)
            t.join();
        ws::closesocket(FListener);
    }
    // Call once a connect was started.
    void AcceptOne()
    {
        const ws::TSocket s = ws::accept(FListener, nullptr);
        FDrainers.emplace_back([s] {
            std::vector<char> block(65536);
            while (ws::recv(s, block.data(), static_cast<int>(block.size())) > 0) {
            }
            ws::closesocket(s);
        });
    }
    int Port = 0;

private:
    ws::TSocket FListener;
    std::vector<std::thread> FDrainers;
};

// A TCP listener on 127.0.0.1 whose one accepted connection a thread reads for a count of bytes
// and digests.
class TcpDigestSink {
public:
    TcpDigestSink() : FListener(ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0))
    {
        ws::bind(FListener, loopback(0));
        ws::listen(FListener, 1);
        Port = boundPort(FListener);
    }
    ~TcpDigestSink()
    {
        if (FThread.joinable())
            FThread.join();
        ws::closesocket(FListener);
    }
    void AcceptOne()
    {
        FSocket = ws::accept(FListener, nullptr);
    }
    // Reads count bytes in a thread; Wait gives their digest.
    void Expect(long long count)
    {
        FThread = std::thread([this, count] {
            QCryptographicHash hash(QCryptographicHash::Sha256);
            std::vector<char> block(1 << 20);
            for (long long got = 0; got < count;) {
                const int n = ws::recv(FSocket, block.data(), static_cast<int>(std::min<long long>(block.size(), count - got)));
                if (n <= 0)
                    break;
                hash.addData(QByteArrayView(block.data(), n));
                got += n;
            }
            FDigest = hash.result().toHex();
            FDone = true;
        });
    }
    QByteArray Wait()
    {
        while (!FDone)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        FThread.join();
        return FDigest;
    }
    ws::TSocket Socket() const { return FSocket; }
    int Port = 0;

private:
    ws::TSocket FListener;
    ws::TSocket FSocket = ws::INVALID_SOCKET;
    std::thread FThread;
    std::atomic<bool> FDone{false};
    QByteArray FDigest;
};

// 100 MiB from a file through a TCP Client window's file send, against a plain loop.
int fileSend()
{
    constexpr long long Size = 100LL * 1024 * 1024;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("payload.bin"));
    QByteArray content(Size, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(content.data()), Size / 4);
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != Size)
            return 1;
    }
    const QByteArray digest = QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex();

    TcpDigestSink plainSink;
    const ws::TSocket out = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    ws::connect(out, loopback(plainSink.Port));
    plainSink.AcceptOne();
    plainSink.Expect(Size);
    const double plain = timed([&] {
        for (long long at = 0; at < Size;) {
            const int n = ws::send(out, content.constData() + at, static_cast<int>(std::min<long long>(1 << 20, Size - at)));
            if (n <= 0)
                break;
            at += n;
        }
        plainSink.Wait();
    });
    ws::closesocket(out);

    TcpDigestSink sink;
    TForm1 form;
    form.show();
    TMySocket *client = form.CreateTcpClient(QStringLiteral("127.0.0.1"), sink.Port);
    client->DataWindow->Button5Click();
    while (client->LinkState != 1)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    sink.AcceptOne();
    sink.Expect(Size);
    QByteArray got;
    const double window = timed([&] {
        client->DataWindow->SendFile(path);
        got = sink.Wait();
    });
    const bool exact = got == digest && client->DataWindow->SendCount == Size;
    std::printf("File of 100 MiB over TCP on loopback: plain send loop %.2f s; file send of a TCP Client window %.2f s "
                "(%.0f MiB/s, ratio %.2f); SHA-256 sent %s, received %s, SendCount %lld: %s\n",
                plain, window, 100 / window, window / plain, digest.constData(), got.constData(),
                (long long)client->DataWindow->SendCount, exact ? "exact" : "NOT EXACT");
    form.StopInstance(client);
    QCoreApplication::processEvents();
    return exact ? 0 : 1;
}

const QByteArray Block(SendSize, 'y');

double udpPlain(int port, bool eventPass)
{
    const ws::TSocket s = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
    const ws::TSockAddrIn to = loopback(port);
    const double t = timed([&] {
        for (int i = 0; i < Sends; ++i) {
            ws::sendto(s, Block.constData(), SendSize, to);
            if (eventPass)
                QCoreApplication::processEvents();
        }
    });
    ws::closesocket(s);
    return t;
}

double tcpPlain(TcpSink &sink, bool eventPass)
{
    const ws::TSocket s = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    ws::connect(s, loopback(sink.Port));
    sink.AcceptOne();
    const double t = timed([&] {
        for (int i = 0; i < Sends; ++i) {
            for (int done = 0; done < SendSize;) {
                const int n = ws::send(s, Block.constData() + done, SendSize - done);
                if (n > 0)
                    done += n;
            }
            if (eventPass)
                QCoreApplication::processEvents();
        }
    });
    ws::closesocket(s);
    return t;
}

// One send command of 10,000 repetitions, as the user gives it.
double command(TFrmData *window)
{
    window->Memo3->setPlainText(QString::fromLatin1(Block));
    window->ComboBox2->setCurrentText(QString::number(Sends));
    const int64_t before = window->SendCount;
    const double t = timed([window] { window->Button11Click(); });
    return window->SendCount - before == int64_t(Sends) * SendSize ? t : -1;
}

void report(const char *what, double ms, double baselineMs)
{
    if (ms < 0)
        std::printf("  %-34s  FAILED\n", what);
    else if (baselineMs > 0)
        std::printf("  %-34s %8.2f ms   ratio %.2f\n", what, ms, ms / baselineMs);
    else
        std::printf("  %-34s %8.2f ms\n", what, ms);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int rounds = 7;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--file") == 0)
            return fileSend();
        rounds = std::max(1, std::atoi(argv[i]));
    }
    int boxes = 0;
    ui::SetMessageSink([&boxes](ui::BoxKind, const QString &text) {
        ++boxes;
        std::fprintf(stderr, "box: %s\n", text.toLocal8Bit().constData());
    });

    UdpSink udpSink;
    TcpSink tcpSink;
    TForm1 form;
    form.show();
    TMySocket *udpClient = form.CreateUdpClient(QStringLiteral("127.0.0.1"), udpSink.Port, 0);
    TMySocket *tcpClient = form.CreateTcpClient(QStringLiteral("127.0.0.1"), tcpSink.Port);
    // The client looks its host up first, through the event loop; the listener's queue takes
    // the connection before it is accepted.
    tcpClient->DataWindow->Button5Click();
    while (tcpClient->LinkState != 1)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    tcpSink.AcceptOne();

    std::vector<double> up, ue, uc, tp, te, tc;
    for (int i = 0; i < rounds; ++i) {
        up.push_back(udpPlain(udpSink.Port, false));
        ue.push_back(udpPlain(udpSink.Port, true));
        uc.push_back(command(udpClient->DataWindow));
        tp.push_back(tcpPlain(tcpSink, false));
        te.push_back(tcpPlain(tcpSink, true));
        tc.push_back(command(tcpClient->DataWindow));
    }
    const bool failed = std::any_of(uc.begin(), uc.end(), [](double t) { return t < 0; })
        || std::any_of(tc.begin(), tc.end(), [](double t) { return t < 0; });
    const double upm = median(up) * 1000, tpm = median(tp) * 1000;

    std::printf("10,000 sends of 1 KiB on loopback, median of %d rounds\n", rounds);
    std::printf("UDP\n");
    report("plain sendto loop", upm, 0);
    report("plain loop + one event pass each", median(ue) * 1000, upm);
    report("send command, UDP Client window", failed ? -1 : median(uc) * 1000, upm);
    std::printf("TCP\n");
    report("plain send loop", tpm, 0);
    report("plain loop + one event pass each", median(te) * 1000, tpm);
    report("send command, TCP Client window", failed ? -1 : median(tc) * 1000, tpm);
    if (boxes > 0)
        std::printf("%d message boxes came up\n", boxes);

    form.StopInstance(tcpClient);
    QCoreApplication::processEvents();
    return failed || boxes > 0 ? 1 : 0;
}
