// Floods through the program's real receive path, each next to a plain receiver loop fed the
// same way in the same run (rounds alternate which of the two goes first):
//  - UDP: a UDP server instance of the main window (its data window shown) fed 100,000 datagrams
//    of 1 KiB by a plain sender thread at full speed, against a plain recv loop on a socket of its
//    own; the system's drops at either socket are read from /proc/net/udp, and the window must
//    log one line per datagram the system delivered and count exactly their bytes;
//  - TCP: an accepted connection of a TCP server instance fed 100 MiB by a plain sender thread,
//    against a plain recv loop; the window must count exactly 104,857,600 bytes;
//  - with --gib, one connection fed 1 GiB: time, memory and the longest stall;
//  - with --capture, 1 GiB into a connection's window with and without receiving into a file:
//    the file must hold exactly the bytes the peer sent (SHA-256 of both). The file lies in memory
//    (/dev/shm) unless --capture-dir names a folder: the target is the program's own cost; onto a
//    disk slower than the flood, the flood goes at the disk's pace by design (reads wait for it);
//  - with --tiny, a UDP server window fed empty and one-byte datagrams for 8 s at full speed: how
//    far the resident set grows, and how soon after the flood the window answers again.
// While a flood runs, a 10 ms timer probe records the longest gap between two of its ticks: the
// longest time the event loop did not turn. Each target is printed with its verdict; a count that
// is not exact fails the run. The exit status is non-zero when a target was missed or the run
// failed. Targets: udp-ratio >= 0.6, udp-gap <= 50 ms, tcp-gap <= 100 ms, tiny-growth <= 64 MiB,
// tiny-quiet <= 1000 ms, capture-slowdown <= 150% (two cores), gib-peak <= 200 MiB, gib-gap <= 1000 ms.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_flood [rounds] [--udp-only | --tcp-only] [--gib]
//       [--capture [--capture-dir DIR]] [--tiny] [--hex] [--no-verdicts] [--target NAME=LIMIT]...
// (--hex: the TCP windows log in hex display mode, four characters per byte shown)

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

// Qt
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

// platform
#include "MessageSeam.h"
// transport
#include "TNMUDP.h"
// datawindow
#include "LogView.h"
#include "datapanel.h"
// workbench
#include "TMySocket.h"
#include "Unit1.h"
#include "BenchSupport.h"
#include "BenchTargets.h"
#include "FloodSupport.h"

namespace {

using bench::median;
using bench::udpDrops;
using namespace flood;

constexpr int Datagrams = 100000;
constexpr long long TcpBytes = 100LL * 1024 * 1024;
constexpr long long GibBytes = 1024LL * 1024 * 1024;
constexpr int ReceiveBuffer = 4 * 1024 * 1024;

void deleteInstance(TForm1 &form, TMySocket *instance)
{
    form.TreeView1->setCurrentItem(instance->Node);
    form.Button2Click();
    QCoreApplication::processEvents();
}

// ---- UDP -------------------------------------------------------------------------------------

struct UdpResult {
    double rate = 0; // datagrams per second, from the sender's start to the last one handled
    ThreadTimes times; // of the receiving thread
    long long delivered = 0;
    long long drops = 0;
    double worstGapMs = 0;
    std::string failure; // why the figures above mean nothing
};

UdpResult udpPlain()
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &ReceiveBuffer, sizeof ReceiveBuffer);
    const sockaddr_in a = loopbackIn(0);
    bind(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a);
    const int port = boundPort(fd);
    timeval quiet{0, 300000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &quiet, sizeof quiet);

    std::atomic<bool> sent{false};
    const ThreadTimes before = ThreadTimes::Now();
    const auto start = Clock::now();
    std::thread sender([port, &sent] {
        sendDatagrams(port, Datagrams);
        sent = true;
    });
    std::vector<char> buffer(65536);
    UdpResult r;
    auto last = start;
    for (;;) {
        const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
        if (n < 0) {
            if (sent)
                break;
            continue;
        }
        ++r.delivered;
        last = Clock::now();
    }
    r.times = ThreadTimes::Now() - before;
    sender.join();
    r.drops = udpDrops(port);
    close(fd);
    if (r.drops < 0)
        r.failure = "the plain loop's socket is not in /proc/net/udp";
    else if (r.delivered == 0 || r.delivered + r.drops != Datagrams)
        r.failure = format("the plain loop read %lld datagrams and the system dropped %lld, of %d sent", r.delivered,
                           r.drops, Datagrams);
    else
        r.rate = r.delivered / secondsBetween(start, last);
    return r;
}

UdpResult udpWindow(TForm1 &form, TStallProbe &probe)
{
    TMySocket *server = form.CreateUdpServer(0);
    TFrmData *window = server->DataWindow;
    const int port = server->UdpServer->BoundPort();
    QCoreApplication::processEvents();

    UdpResult r;
    std::atomic<bool> sent{false};
    probe.Start();
    const ThreadTimes before = ThreadTimes::Now();
    const auto start = Clock::now();
    std::thread sender([port, &sent] {
        sendDatagrams(port, Datagrams);
        sent = true;
    });
    // Once the sender is done its drops are final; then everything else was delivered.
    bool dropsKnown = false;
    const bool finished = runUntil(
        [&] {
            if (!sent)
                return false;
            if (!dropsKnown) {
                r.drops = udpDrops(port);
                dropsKnown = true;
            }
            return window->RecvCount >= (Datagrams - r.drops) * DatagramSize;
        },
        120000);
    window->FlushLog();
    const auto end = Clock::now();
    r.times = ThreadTimes::Now() - before;
    r.worstGapMs = probe.Stop();
    sender.join();

    r.delivered = Datagrams - r.drops;
    const long long lines = window->Memo2->lineCount();
    const long long counted = window->RecvCount;
    if (r.drops < 0)
        r.failure = "the window's socket is not in /proc/net/udp";
    else if (!finished || lines != r.delivered || counted != r.delivered * DatagramSize)
        r.failure = format("of %lld datagrams the system delivered, the window logged %lld lines and counted %lld "
                           "bytes (%lld expected)%s",
                           r.delivered, lines, counted, r.delivered * DatagramSize,
                           finished ? "" : ", still short after 120 s");
    else
        r.rate = r.delivered / secondsBetween(start, end);
    deleteInstance(form, server);
    return r;
}

void runUdp(TForm1 &form, TStallProbe &probe, int rounds, bench::TTargets &targets)
{
    std::vector<double> ratio, cpuRatio, gaps, plainRates, windowRates;
    for (int r = 0; r < rounds; ++r) {
        // Which goes first alternates, so neither always meets the machine as the other left it.
        const bool windowFirst = r % 2 == 1;
        UdpResult plain, w;
        if (windowFirst)
            w = udpWindow(form, probe);
        plain = udpPlain();
        if (!windowFirst)
            w = udpWindow(form, probe);
        if (!plain.failure.empty() || !w.failure.empty()) {
            if (!plain.failure.empty())
                targets.Fail("UDP round %d: %s", r + 1, plain.failure.c_str());
            if (!w.failure.empty())
                targets.Fail("UDP round %d: %s", r + 1, w.failure.c_str());
            continue;
        }
        const double plainCpuUs = plain.times.cpu * 1e6 / plain.delivered;
        const double windowCpuUs = w.times.cpu * 1e6 / w.delivered;
        std::printf("UDP round %d (%s first): plain loop %.0f datagrams/s (%lld delivered, %lld dropped by the system, "
                    "%.1f us of processor each); window %.0f lines/s (%lld delivered, %lld dropped by the system, "
                    "lines and RecvCount exact, %.1f us of processor each, %.0f ms waiting for a processor); "
                    "ratio %.2f (by processor time %.2f); worst probe gap %.0f ms\n",
                    r + 1, windowFirst ? "window" : "plain loop", plain.rate, plain.delivered, plain.drops, plainCpuUs,
                    w.rate, w.delivered, w.drops, windowCpuUs, w.times.waited * 1000, w.rate / plain.rate,
                    plainCpuUs / windowCpuUs, w.worstGapMs);
        std::fflush(stdout);
        cpuRatio.push_back(plainCpuUs / windowCpuUs);
        ratio.push_back(w.rate / plain.rate);
        gaps.push_back(w.worstGapMs);
        plainRates.push_back(plain.rate);
        windowRates.push_back(w.rate);
    }
    std::printf("UDP median of %zu good rounds of %d: plain %.0f/s, window %.0f/s, ratio window/plain %.2f (by "
                "processor time %.2f), worst probe gap %.0f ms (max over rounds %.0f ms)\n",
                ratio.size(), rounds, median(plainRates), median(windowRates), median(ratio), median(cpuRatio),
                median(gaps), gaps.empty() ? NAN : *std::max_element(gaps.begin(), gaps.end()));
    targets.AtLeast("udp-ratio", "UDP window/plain loop datagram rate, median", median(ratio), 0.6);
    targets.AtMost("udp-gap", "UDP flood, worst probe gap, median", median(gaps), 50, "ms");
}

// ---- tiny datagrams ---------------------------------------------------------------------------

struct TinyResult {
    long long sent = 0;
    long long lines = 0;
    double rssBeforeMiB = 0;
    double rssPeakMiB = 0;
    double answerMs = 0; // from the flood's end until a timer queued then has run
    double quietMs = 0;  // from the flood's end until the window has logged the last datagram
};

TinyResult tinyFlood(TForm1 &form, double seconds)
{
    TMySocket *server = form.CreateUdpServer(0);
    TFrmData *window = server->DataWindow;
    const int port = server->UdpServer->BoundPort();
    QCoreApplication::processEvents();

    TinyResult r;
    r.rssBeforeMiB = rssMiB();
    std::atomic<bool> stop{false};
    std::atomic<long long> sent{0};
    std::thread sender([&] {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        const sockaddr_in to = loopbackIn(port);
        const char byte = 'x';
        for (long long i = 0; !stop; ++i)
            if (sendto(fd, &byte, i & 1, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) >= 0)
                ++sent;
        close(fd);
    });
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] { r.rssPeakMiB = std::max(r.rssPeakMiB, rssMiB()); });
    sample.start(50);
    runUntil([] { return false; }, static_cast<int>(seconds * 1000));
    stop = true;
    sender.join();
    const auto end = Clock::now();
    bool answered = false;
    QTimer::singleShot(0, [&] {
        answered = true;
        r.answerMs = secondsBetween(end, Clock::now()) * 1000;
    });
    runUntil([&] { return answered; }, 60000);
    // Quiet once a 200 ms stretch passes with nothing new logged.
    long long lastCount = -1;
    auto lastChange = Clock::now();
    runUntil(
        [&] {
            if (window->RecvCount != lastCount) {
                lastCount = window->RecvCount;
                lastChange = Clock::now();
            }
            return secondsBetween(lastChange, Clock::now()) > 0.2;
        },
        60000);
    r.quietMs = secondsBetween(end, lastChange) * 1000;
    r.rssPeakMiB = std::max(r.rssPeakMiB, rssMiB());
    window->FlushLog();
    r.sent = sent;
    r.lines = window->Memo2->lineCount();
    deleteInstance(form, server);
    return r;
}

void runTiny(TForm1 &form, bench::TTargets &targets)
{
    const TinyResult t = tinyFlood(form, 8.0);
    std::printf("Tiny datagrams, 8 s flood into a UDP server window: %lld sent, %lld logged; RSS before %.0f MiB, "
                "peak %.0f MiB; a timer queued at the flood's end ran after %.0f ms, the last datagram was logged "
                "%.0f ms after the end\n",
                t.sent, t.lines, t.rssBeforeMiB, t.rssPeakMiB, t.answerMs, t.quietMs);
    if (t.lines == 0)
        targets.Fail("tiny datagrams: the window logged none of %lld", t.sent);
    targets.AtMost("tiny-growth", "tiny datagrams, growth of the resident set", t.rssPeakMiB - t.rssBeforeMiB, 64, "MiB");
    targets.AtMost("tiny-quiet", "tiny datagrams, last one logged after the flood's end", t.quietMs, 1000, "ms");
}

// ---- TCP -------------------------------------------------------------------------------------

struct TcpResult {
    double seconds = 0; // from the peer's first byte to the last one counted (and, capturing, in the file)
    ThreadTimes times;  // of the receiving thread
    double worstGapMs = 0;
    long long counted = 0;
    long long lines = 0;
    double rssMiB = 0;
    // Receiving into a file: what it holds, and how long after the flood it held it all.
    long long fileBytes = -1;
    double fileLagMs = 0;
    std::string failure;
};

TcpResult tcpPlain(long long total)
{
    TcpResult r;
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = loopbackIn(0);
    bind(listener, reinterpret_cast<const sockaddr *>(&a), sizeof a);
    listen(listener, 5);
    TStreamPeer peer(boundPort(listener), total);
    const int fd = acceptWithin(listener, 10000);
    close(listener);
    if (fd < 0) {
        r.failure = "the plain loop's peer did not connect within 10 s";
        return r;
    }
    // A stalled stream ends the loop rather than the benchmark.
    timeval stalled{30, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &stalled, sizeof stalled);
    std::vector<char> buffer(TcpChunk);
    const ThreadTimes before = ThreadTimes::Now();
    const auto start = Clock::now();
    peer.Go();
    for (ssize_t n; r.counted < total && (n = recv(fd, buffer.data(), buffer.size(), 0)) > 0;) {
        r.counted += n;
        ++r.lines;
    }
    r.seconds = secondsBetween(start, Clock::now());
    r.times = ThreadTimes::Now() - before;
    peer.Join();
    close(fd);
    if (r.counted != total)
        r.failure = format("the plain loop read %lld of %lld bytes", r.counted, total);
    return r;
}

TMySocket *acceptedConnection(TForm1 &form)
{
    for (int i = 0; i < form.SocketList.Count(); ++i)
        if (form.SocketList.Items(i)->Kind == kind::TcpServerClient)
            return form.SocketList.Items(i);
    return nullptr;
}

// With a capture path, the window also receives into that file.
TcpResult tcpWindow(TForm1 &form, TStallProbe &probe, long long total, bool hex, const QString &capture = QString())
{
    const int port = freeTcpPort();
    TMySocket *server = form.CreateTcpServer(port);
    QCoreApplication::processEvents();

    TcpResult r;
    TStreamPeer peer(port, total);
    // The peer sends nothing until the window is ready: its every byte is read, logged and, when
    // capturing, in the file.
    TFrmData *window = nullptr;
    runUntil(
        [&] {
            if (TMySocket *c = acceptedConnection(form))
                window = c->DataWindow;
            return window != nullptr;
        },
        10000);
    if (!window) {
        peer.Join();
        deleteInstance(form, server);
        r.failure = "the window's connection was not accepted within 10 s";
        return r;
    }
    // Watched as a user watches a flood: its window made at once, the hex switch set before the
    // first read.
    window->Build();
    window->CheckBox2->setChecked(hex);
    const bool capturing = !capture.isEmpty() && window->StartCapture(capture);

    probe.Start();
    const ThreadTimes before = ThreadTimes::Now();
    const auto start = Clock::now();
    peer.Go();
    const bool finished = runUntil([&] { return window->RecvCount >= total; }, total > TcpBytes ? 1800000 : 300000);
    window->FlushLog();
    if (capturing) {
        // A writer behind the window may still be at it: the capture ends once the file holds
        // every byte the window counted.
        window->StopCapture();
        const auto stopped = Clock::now();
        const long long expected = window->RecvCount;
        runUntil([&] { return fileSize(capture) >= expected; }, 30000);
        r.fileBytes = fileSize(capture);
        r.fileLagMs = secondsBetween(stopped, Clock::now()) * 1000;
    }
    const auto end = Clock::now();
    r.times = ThreadTimes::Now() - before;
    r.worstGapMs = probe.Stop();
    r.seconds = secondsBetween(start, end);
    r.rssMiB = rssMiB();
    r.counted = window->RecvCount;
    // Line by line: the whole log as one text would be twice the log's size again, and the peak
    // would be the count's rather than the flood's.
    for (qsizetype i = 0; i < window->Memo2->lineCount(); ++i)
        r.lines += window->Memo2->line(i).count(QStringLiteral(" 收到数据："));
    peer.Join();
    runUntil([&] { return !acceptedConnection(form); }, 10000);
    deleteInstance(form, server);

    if (!finished || r.counted != total) {
        r.failure = format("the window counted %lld of %lld bytes (the peer sent %lld)%s", r.counted, total,
                           peer.Sent(), finished ? "" : ", still short when the time ran out");
    } else if (!capture.isEmpty()) {
        if (!capturing) {
            r.failure = "the window could not receive into a file";
        } else if (r.fileBytes != r.counted) {
            r.failure = format("the file holds %lld of the %lld bytes the window counted, %.0f ms after the flood",
                               r.fileBytes, r.counted, r.fileLagMs);
        } else {
            const QByteArray sent = peer.Digest();
            const QByteArray held = fileDigest(capture);
            if (held != sent)
                r.failure = format("the file's SHA-256 %s is not that of the %lld bytes the peer sent, %s",
                                   held.constData(), peer.Sent(), sent.constData());
        }
    }
    return r;
}

void printTcp(const char *what, const TcpResult &w, const TcpResult &plain, long long total)
{
    std::printf("%s: window %.2f s (%.0f MiB/s), %lld reads logged, counted %lld of %lld bytes (exact), "
                "receiving thread %.2f s of processor, %.0f ms waiting for one; plain loop %.2f s (%.0f MiB/s), "
                "%.2f s of processor; ratio window/plain rate %.2f; worst probe gap %.0f ms; RSS %.0f MiB\n",
                what, w.seconds, total / 1048576.0 / w.seconds, w.lines, w.counted, total, w.times.cpu,
                w.times.waited * 1000, plain.seconds, total / 1048576.0 / plain.seconds, plain.times.cpu,
                plain.seconds / w.seconds, w.worstGapMs, w.rssMiB);
}

void runTcp(TForm1 &form, TStallProbe &probe, int rounds, bool hex, bench::TTargets &targets)
{
    std::vector<double> gaps, ratio;
    for (int r = 0; r < rounds; ++r) {
        const bool windowFirst = r % 2 == 1;
        TcpResult plain, w;
        if (windowFirst)
            w = tcpWindow(form, probe, TcpBytes, hex);
        plain = tcpPlain(TcpBytes);
        if (!windowFirst)
            w = tcpWindow(form, probe, TcpBytes, hex);
        if (!plain.failure.empty() || !w.failure.empty()) {
            if (!plain.failure.empty())
                targets.Fail("TCP 100 MiB round %d: %s", r + 1, plain.failure.c_str());
            if (!w.failure.empty())
                targets.Fail("TCP 100 MiB round %d: %s", r + 1, w.failure.c_str());
            continue;
        }
        const std::string what = format("TCP 100 MiB round %d (%s first)", r + 1, windowFirst ? "window" : "plain loop");
        printTcp(what.c_str(), w, plain, TcpBytes);
        std::fflush(stdout);
        gaps.push_back(w.worstGapMs);
        ratio.push_back(plain.seconds / w.seconds);
    }
    std::printf("TCP 100 MiB median of %zu good rounds of %d: ratio window/plain rate %.2f, worst probe gap %.0f ms "
                "(max over rounds %.0f ms)\n",
                ratio.size(), rounds, median(ratio), median(gaps),
                gaps.empty() ? NAN : *std::max_element(gaps.begin(), gaps.end()));
    targets.AtMost("tcp-gap", "TCP 100 MiB flood, worst probe gap, median", median(gaps), 100, "ms");
}

// The 1 GiB flood with and without receiving into a file, in turns.
void runCapture(TForm1 &form, TStallProbe &probe, int rounds, bool hex, const QString &where,
                bench::TTargets &targets)
{
    QString base = where;
    if (base.isEmpty())
        base = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QTemporaryDir dir(base + QStringLiteral("/bench_flood-XXXXXX"));
    if (!dir.isValid()) {
        targets.Fail("cannot make a folder in %s for the capture", qPrintable(base));
        return;
    }
    const QString path = dir.filePath(QStringLiteral("capture.bin"));
    std::printf("Capture into %s\n", qPrintable(path));
    std::vector<double> plainSeconds, captureSeconds, plainCpu, captureCpu;
    for (int r = 0; r < rounds; ++r) {
        const bool captureFirst = r % 2 == 1;
        TcpResult w, c;
        if (!captureFirst)
            w = tcpWindow(form, probe, GibBytes, hex);
        QFile::remove(path);
        c = tcpWindow(form, probe, GibBytes, hex, path);
        // Gone before the next flood: its pages are not written back while that one runs.
        QFile::remove(path);
        if (captureFirst)
            w = tcpWindow(form, probe, GibBytes, hex);
        if (!w.failure.empty() || !c.failure.empty()) {
            if (!w.failure.empty())
                targets.Fail("capture round %d, window alone: %s", r + 1, w.failure.c_str());
            if (!c.failure.empty())
                targets.Fail("capture round %d, receiving into a file: %s", r + 1, c.failure.c_str());
            continue;
        }
        std::printf("Capture round %d (%s first): window %.2f s (its thread's CPU %.2f s), window receiving into a "
                    "file %.2f s (its thread's CPU %.2f s; the file held all %lld bytes %.0f ms after the flood, SHA-256 "
                    "the peer's), ratio %.2f; worst probe gap %.0f ms\n",
                    r + 1, captureFirst ? "capture" : "window alone", w.seconds, w.times.cpu, c.seconds, c.times.cpu,
                    c.fileBytes, c.fileLagMs, c.seconds / w.seconds, c.worstGapMs);
        std::fflush(stdout);
        plainSeconds.push_back(w.seconds);
        captureSeconds.push_back(c.seconds);
        plainCpu.push_back(w.times.cpu);
        captureCpu.push_back(c.times.cpu);
    }
    const double slowdown = (median(captureSeconds) / median(plainSeconds) - 1) * 100;
    const double cost = (median(captureCpu) / median(plainCpu) - 1) * 100;
    std::printf("Capture median of %zu good rounds of %d: window %.2f s, receiving into a file %.2f s (%+.0f%%; the "
                "writer is a thread of its own and competes for the cores with the sender and the window)\n",
                captureSeconds.size(), rounds, median(plainSeconds), median(captureSeconds), slowdown);
    std::printf("Capture: the window thread's CPU time %+.0f%% (medians)\n", cost);
    // The writer needs a core of its own to cost the flood nothing; on two cores, where the sender
    // and the window already take one each, it takes its time from theirs.
    targets.AtMost("capture-slowdown", "1 GiB flood received into a file in memory, time beyond the window's alone "
                   "(medians)", slowdown, 150, "%");
}

void runGib(TForm1 &form, TStallProbe &probe, bool hex, bench::TTargets &targets)
{
    const double before = rssMiB();
    // The peak of this flood, not of those before it.
    const bool ownPeak = resetPeakRss();
    const TcpResult plain = tcpPlain(GibBytes);
    const TcpResult w = tcpWindow(form, probe, GibBytes, hex);
    if (!plain.failure.empty())
        targets.Fail("TCP 1 GiB: %s", plain.failure.c_str());
    if (!w.failure.empty()) {
        targets.Fail("TCP 1 GiB: %s", w.failure.c_str());
        return;
    }
    if (plain.failure.empty())
        printTcp("TCP 1 GiB", w, plain, GibBytes);
    const double peak = peakRssMiB();
    std::printf("TCP 1 GiB: RSS before %.0f MiB, with the connection's window %.0f MiB, peak %.0f MiB%s\n", before,
                w.rssMiB, peak, ownPeak ? "" : " (the process's, since the start)");
    targets.AtMost("gib-peak", "TCP 1 GiB flood, peak resident set", peak, 200, "MiB");
    targets.AtMost("gib-gap", "TCP 1 GiB flood, worst probe gap", w.worstGapMs, 1000, "ms");
}

} // namespace

int main(int argc, char **argv)
{
    bench::TTargets targets(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int rounds = 3;
    bool gib = false;
    bool hex = false;
    bool udp = true;
    bool tcp = true;
    bool tiny = false;
    bool capture = false;
    QString captureDir;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gib") == 0)
            gib = true;
        else if (std::strcmp(argv[i], "--tiny") == 0)
            tiny = true, udp = tcp = false;
        else if (std::strcmp(argv[i], "--capture") == 0)
            capture = true, udp = tcp = false;
        else if (std::strcmp(argv[i], "--capture-dir") == 0 && i + 1 < argc)
            captureDir = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--hex") == 0)
            hex = true;
        else if (std::strcmp(argv[i], "--udp-only") == 0)
            tcp = false;
        else if (std::strcmp(argv[i], "--tcp-only") == 0)
            udp = false;
        else
            rounds = std::max(1, std::atoi(argv[i]));
    }

    // A message box is a failure (a capture that could not write, say), told rather than waited on.
    ui::SetMessageSink([&targets](ui::BoxKind, const QString &text) {
        targets.Fail("a message box came up: %s", qPrintable(text));
    });
    TForm1 form;
    form.resize(1000, 700);
    form.show();
    TStallProbe probe;
    QCoreApplication::processEvents();

    if (udp)
        runUdp(form, probe, rounds, targets);
    if (tcp)
        runTcp(form, probe, rounds, hex, targets);
    if (tiny)
        runTiny(form, targets);
    if (capture)
        runCapture(form, probe, rounds, hex, captureDir, targets);
    if (gib)
        runGib(form, probe, hex, targets);
    return targets.Finish();
}
