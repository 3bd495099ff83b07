// The send command's own cost on loopback: 10,000 repetitions of 1 KiB through the real
// Button11Click of a UDP client and of a TCP client window, against plain loops of the same
// system calls measured in the same run. Threads drain the sinks, so TCP never stalls. A plain
// loop with one pass of event handling per send shows what that pass costs by itself.
// Rounds take the paths in turn, in the opposite order every other round, so a busy machine
// weighs on all of them alike and none always follows the same one.
//
// With --file, a file of 100 MiB goes out through a TCP Client window's file send to a peer
// that reads it all and digests it, against a plain loop that reads the same file in pieces of
// 1 MiB and sends each; every round, the side that goes first alternates. Before each side the
// file is read once whole, so both send it from the page cache; the share of its pages there is
// printed for each side.
// A send that does not arrive whole, or a message box, fails the run (exit status non-zero).
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_send_command [rounds] [--file] [--no-verdicts]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

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
#include "BenchTargets.h"

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
// and digests, once per Expect.
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
        if (FSocket != ws::INVALID_SOCKET)
            ::shutdown(FSocket, SHUT_RDWR);
        if (FThread.joinable())
            FThread.join();
        if (FSocket != ws::INVALID_SOCKET)
            ws::closesocket(FSocket);
        ws::closesocket(FListener);
    }
    // Call once a connect has completed.
    void AcceptOne()
    {
        FSocket = ws::accept(FListener, nullptr);
        // A stream that stalls ends the reading thread rather than the benchmark.
        timeval stalled{30, 0};
        ::setsockopt(FSocket, SOL_SOCKET, SO_RCVTIMEO, &stalled, sizeof stalled);
    }
    // Reads count bytes in a thread; Wait gives their digest.
    void Expect(long long count)
    {
        FDone = false;
        FGot = 0;
        FThread = std::thread([this, count] {
            QCryptographicHash hash(QCryptographicHash::Sha256);
            std::vector<char> block(1 << 20);
            for (long long got = 0; got < count;) {
                const int n = ws::recv(FSocket, block.data(), static_cast<int>(std::min<long long>(block.size(), count - got)));
                if (n <= 0)
                    break;
                hash.addData(QByteArrayView(block.data(), n));
                got += n;
                FGot = got;
            }
            FDigest = hash.result().toHex();
            FDone = true;
        });
    }
    // Handles events meanwhile; empty when the bytes did not all come within 60 s.
    QByteArray Wait()
    {
        const auto start = Clock::now();
        while (!FDone && secondsSince(start) < 60)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!FDone)
            ::shutdown(FSocket, SHUT_RDWR);
        FThread.join();
        return FDone ? FDigest : QByteArray();
    }
    long long Got() const { return FGot; }
    int Port = 0;

private:
    ws::TSocket FListener;
    ws::TSocket FSocket = ws::INVALID_SOCKET;
    std::thread FThread;
    std::atomic<bool> FDone{false};
    std::atomic<long long> FGot{0};
    QByteArray FDigest;
};

// Handles events until the TCP client is connected; false after 10 s.
bool connected(TMySocket *client)
{
    const auto start = Clock::now();
    while (client->LinkState != 1 && secondsSince(start) < 10)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return client->LinkState == 1;
}

// ---- the file send ---------------------------------------------------------------------------

constexpr long long FileSize = 100LL * 1024 * 1024;
constexpr int FilePiece = 1 << 20;

// The share of a file's pages in the page cache, from mincore over a mapping of it; -1 if unknown.
double residentShare(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat st{};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size == 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    void *map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED)
        return -1;
    const long page = ::sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> in((size + page - 1) / page);
    double share = -1;
    if (::mincore(map, size, in.data()) == 0)
        share = double(std::count_if(in.begin(), in.end(), [](unsigned char c) { return c & 1; })) / in.size();
    ::munmap(map, size);
    return share;
}

// Reads a file whole and drops the bytes: its pages are then in the page cache.
bool readWhole(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    std::vector<char> block(FilePiece);
    qint64 n;
    while ((n = f.read(block.data(), FilePiece)) > 0) {
    }
    return n == 0;
}

// The plain equivalent of a file send: pieces of 1 MiB read from the file, each sent whole.
bool plainFileSend(ws::TSocket out, const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::vector<char> piece(FilePiece);
    bool ok = true;
    for (ssize_t got; ok && (got = ::read(fd, piece.data(), piece.size())) != 0;) {
        ok = got > 0;
        for (ssize_t at = 0; ok && at < got;) {
            const int n = ws::send(out, piece.data() + at, static_cast<int>(got - at));
            ok = n > 0;
            at += n;
        }
    }
    ::close(fd);
    return ok;
}

// 100 MiB from a file through a TCP Client window's file send, against a plain loop.
void fileSend(int rounds, bench::TTargets &targets)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("payload.bin"));
    QByteArray content(FileSize, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(content.data()), FileSize / 4);
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != FileSize) {
            targets.Fail("could not write %s", qPrintable(path));
            return;
        }
    }
    const QByteArray digest = QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex();
    content.clear();

    TcpDigestSink plainSink;
    const ws::TSocket out = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    ws::connect(out, loopback(plainSink.Port));
    plainSink.AcceptOne();

    TcpDigestSink sink;
    TForm1 form;
    form.show();
    TMySocket *client = form.CreateTcpClient(QStringLiteral("127.0.0.1"), sink.Port);
    client->DataWindow->Button5Click();
    if (!connected(client)) {
        targets.Fail("the TCP Client window did not connect within 10 s");
        ws::closesocket(out);
        return;
    }
    sink.AcceptOne();
    TFrmData *window = client->DataWindow;

    std::vector<double> plainSeconds, windowSeconds, ratio;
    for (int r = 0; r < rounds; ++r) {
        const bool windowFirst = r % 2 == 1;
        double plain = NAN, sent = NAN, plainResident = -1, windowResident = -1;
        for (int side = 0; side < 2; ++side) {
            // Both sides send the file from the page cache: read whole just before, and checked.
            if (!readWhole(path)) {
                targets.Fail("round %d: could not read %s", r + 1, qPrintable(path));
                break;
            }
            if ((side == 0) != windowFirst) {
                plainResident = residentShare(path);
                plainSink.Expect(FileSize);
                QByteArray got;
                bool whole = false;
                const double t = timed([&] {
                    whole = plainFileSend(out, path);
                    got = plainSink.Wait();
                });
                if (whole && got == digest)
                    plain = t;
                else
                    targets.Fail("round %d: the plain loop's peer got %lld of %lld bytes%s", r + 1, plainSink.Got(),
                                 FileSize, got.isEmpty() ? "" : ", SHA-256 not the file's");
            } else {
                windowResident = residentShare(path);
                const int64_t before = window->SendCount;
                sink.Expect(FileSize);
                QByteArray got;
                const double t = timed([&] {
                    window->SendFile(path);
                    got = sink.Wait();
                });
                const long long counted = window->SendCount - before;
                if (got == digest && counted == FileSize)
                    sent = t;
                else
                    targets.Fail("round %d: the window's file send counted %lld bytes, its peer got %lld of %lld%s",
                                 r + 1, counted, sink.Got(), FileSize,
                                 got.isEmpty() || got == digest ? "" : ", SHA-256 not the file's");
            }
        }
        if (std::isnan(plain) || std::isnan(sent))
            continue;
        std::printf("file round %d (%s first): plain loop %.3f s (file %.0f%% in the page cache before), file send of "
                    "a TCP Client window %.3f s (%.0f%% in the page cache before), ratio %.2f; SHA-256 exact on both\n",
                    r + 1, windowFirst ? "window" : "plain loop", plain, plainResident * 100, sent,
                    windowResident * 100, sent / plain);
        std::fflush(stdout);
        plainSeconds.push_back(plain);
        windowSeconds.push_back(sent);
        ratio.push_back(sent / plain);
    }
    std::printf("File of 100 MiB over TCP on loopback, both sides from the page cache, median of %zu good rounds of "
                "%d: plain loop %.3f s, file send of a TCP Client window %.3f s (%.0f MiB/s), ratio %.2f; "
                "SHA-256 of the file %s\n",
                ratio.size(), rounds, median(plainSeconds), median(windowSeconds), 100 / median(windowSeconds),
                median(ratio), digest.constData());
    ws::closesocket(out);
    form.StopInstance(client);
    QCoreApplication::processEvents();
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

// NaN when a send fails: the connection is broken and the figure would mean nothing.
double tcpPlain(TcpSink &sink, bool eventPass)
{
    const ws::TSocket s = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    ws::connect(s, loopback(sink.Port));
    sink.AcceptOne();
    bool broken = false;
    const double t = timed([&] {
        for (int i = 0; i < Sends && !broken; ++i) {
            for (int done = 0; done < SendSize && !broken;) {
                const int n = ws::send(s, Block.constData() + done, SendSize - done);
                broken = n <= 0;
                done += n;
            }
            if (eventPass)
                QCoreApplication::processEvents();
        }
    });
    ws::closesocket(s);
    return broken ? NAN : t;
}

// One send command of 10,000 repetitions, as the user gives it; NaN when it did not send them all.
double command(TFrmData *window)
{
    window->Memo3->setPlainText(QString::fromLatin1(Block));
    window->ComboBox2->setCurrentText(QString::number(Sends));
    const int64_t before = window->SendCount;
    const double t = timed([window] { window->Button11Click(); });
    return window->SendCount - before == int64_t(Sends) * SendSize ? t : NAN;
}

void report(const char *what, double ms, double baselineMs)
{
    if (std::isnan(ms))
        std::printf("  %-34s  no good round\n", what);
    else if (baselineMs > 0)
        std::printf("  %-34s %8.2f ms   ratio %.2f\n", what, ms, ms / baselineMs);
    else
        std::printf("  %-34s %8.2f ms\n", what, ms);
}

void sendCommands(int rounds, bench::TTargets &targets)
{
    UdpSink udpSink;
    TcpSink tcpSink;
    TForm1 form;
    form.show();
    TMySocket *udpClient = form.CreateUdpClient(QStringLiteral("127.0.0.1"), udpSink.Port, 0);
    TMySocket *tcpClient = form.CreateTcpClient(QStringLiteral("127.0.0.1"), tcpSink.Port);
    // The client looks its host up first, through the event loop; the listener's queue takes
    // the connection before it is accepted.
    tcpClient->DataWindow->Button5Click();
    if (!connected(tcpClient)) {
        targets.Fail("the TCP Client window did not connect within 10 s");
        return;
    }
    tcpSink.AcceptOne();

    struct Path {
        const char *name;
        std::function<double()> run;
        std::vector<double> seconds;
    };
    std::vector<Path> paths = {
        {"UDP plain sendto loop", [&] { return udpPlain(udpSink.Port, false); }, {}},
        {"UDP plain loop + one event pass each", [&] { return udpPlain(udpSink.Port, true); }, {}},
        {"UDP send command", [&] { return command(udpClient->DataWindow); }, {}},
        {"TCP plain send loop", [&] { return tcpPlain(tcpSink, false); }, {}},
        {"TCP plain loop + one event pass each", [&] { return tcpPlain(tcpSink, true); }, {}},
        {"TCP send command", [&] { return command(tcpClient->DataWindow); }, {}},
    };
    for (int r = 0; r < rounds; ++r)
        for (size_t i = 0; i < paths.size(); ++i) {
            Path &p = paths[r % 2 ? paths.size() - 1 - i : i];
            const double t = p.run();
            if (std::isnan(t))
                targets.Fail("round %d: %s did not send all %d x %d bytes", r + 1, p.name, Sends, SendSize);
            else
                p.seconds.push_back(t);
        }
    const auto ms = [&](size_t i) { return median(paths[i].seconds) * 1000; };

    std::printf("10,000 sends of 1 KiB on loopback, median of %d rounds\n", rounds);
    std::printf("UDP\n");
    report("plain sendto loop", ms(0), 0);
    report("plain loop + one event pass each", ms(1), ms(0));
    report("send command, UDP Client window", ms(2), ms(0));
    std::printf("TCP\n");
    report("plain send loop", ms(3), 0);
    report("plain loop + one event pass each", ms(4), ms(3));
    report("send command, TCP Client window", ms(5), ms(3));

    form.StopInstance(tcpClient);
    QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char **argv)
{
    bench::TTargets targets(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int rounds = 7;
    bool file = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--file") == 0)
            file = true;
        else
            rounds = std::max(1, std::atoi(argv[i]));
    }
    int boxes = 0;
    ui::SetMessageSink([&boxes](ui::BoxKind, const QString &text) {
        ++boxes;
        std::fprintf(stderr, "box: %s\n", text.toLocal8Bit().constData());
    });

    if (file)
        fileSend(rounds, targets);
    else
        sendCommands(rounds, targets);
    if (boxes > 0)
        targets.Fail("%d message boxes came up (see standard error)", boxes);
    return targets.Finish();
}
