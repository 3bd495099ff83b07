// Floods through the program's real receive path, each next to a plain receiver loop fed the
// same way in the same run:
//  - UDP: a UDP server instance of the main window (its data window shown) fed 100,000 datagrams
//    of 1 KiB by a plain sender thread at full speed, against a plain recv loop on a socket of its
//    own; the system's drops at either socket are read from /proc/net/udp, and the window must
//    log one line per datagram the system delivered and count exactly their bytes;
//  - TCP: an accepted connection of a TCP server instance fed 100 MiB by a plain sender thread,
//    against a plain recv loop; the window must count exactly 104,857,600 bytes;
//  - with --gib, one connection fed 1 GiB: time, memory and the longest stall;
//  - with --tiny, a UDP server window fed empty and one-byte datagrams for 8 s at full speed: how
//    far the resident set grows, and how soon after the flood the window answers again.
// While a flood runs, a 10 ms timer probe records the longest gap between two of its ticks: the
// longest time the event loop did not turn.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_flood [rounds] [--udp-only | --tcp-only] [--gib] [--hex]
// (--hex: the TCP windows log in hex display mode, four characters per byte shown)

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

// Qt
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>

// transport
#include "TNMUDP.h"
// datawindow
#include "LogView.h"
#include "datapanel.h"
// workbench
#include "TMySocket.h"
#include "Unit1.h"
#include "BenchSupport.h"

namespace {

using bench::median;

using bench::Clock;

constexpr int Datagrams = 100000;
constexpr int DatagramSize = 1024;
constexpr long long TcpBytes = 100LL * 1024 * 1024;
constexpr long long GibBytes = 1024LL * 1024 * 1024;
constexpr int TcpChunk = 64 * 1024;
constexpr int ReceiveBuffer = 4 * 1024 * 1024;

double secondsBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// Printable bytes without line breaks: the data part of a line is one long run of text.
std::vector<char> payload(size_t n)
{
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::vector<char> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = digits[i % (sizeof digits - 1)];
    return bytes;
}

long long statusField(const char *name)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(name, 0) == 0)
            return std::atoll(line.c_str() + std::strlen(name)) * 1024;
    return -1;
}

// Processor time of the calling thread, and the time it spent ready to run but waiting for a
// processor (other programs on the machine): the second says how much of a wall-clock figure
// was the machine's load rather than this program.
struct ThreadTimes {
    double cpu = 0;
    double waited = 0;
    static ThreadTimes Now()
    {
        ThreadTimes t;
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        t.cpu = ts.tv_sec + ts.tv_nsec * 1e-9;
        std::ifstream in("/proc/thread-self/schedstat");
        long long onCpu = 0, waiting = 0;
        in >> onCpu >> waiting;
        t.waited = waiting * 1e-9;
        return t;
    }
    ThreadTimes operator-(const ThreadTimes &o) const { return {cpu - o.cpu, waited - o.waited}; }
};

double rssMiB() { return statusField("VmRSS:") / 1048576.0; }
double peakRssMiB() { return statusField("VmHWM:") / 1048576.0; }

// Datagrams the system dropped at the UDP socket bound to this local port (/proc/net/udp).
long long udpDrops(int port)
{
    std::ifstream in("/proc/net/udp");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string sl, local;
        fields >> sl >> local;
        const size_t colon = local.find(':');
        if (colon == std::string::npos || std::stoi(local.substr(colon + 1), nullptr, 16) != port)
            continue;
        std::string field, last;
        while (fields >> field)
            last = field;
        return std::atoll(last.c_str());
    }
    return -1;
}

sockaddr_in loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int boundPort(int fd)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    return ntohs(a.sin_port);
}

// A port on 127.0.0.1 nobody listens on right now.
int freeTcpPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = loopback(0);
    bind(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a);
    const int port = boundPort(fd);
    close(fd);
    return port;
}

// The peer: count datagrams of DatagramSize bytes to 127.0.0.1:port, as fast as it can.
void sendDatagrams(int port, int count)
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in to = loopback(port);
    const std::vector<char> data = payload(DatagramSize);
    for (int i = 0; i < count; ++i)
        sendto(fd, data.data(), data.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    close(fd);
}

// The peer: connects, sends total bytes, then holds the connection until released.
void sendStream(int port, long long total, const std::atomic<bool> *release)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in to = loopback(port);
    if (connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0) {
        close(fd);
        return;
    }
    const std::vector<char> data = payload(TcpChunk);
    for (long long sent = 0; sent < total;) {
        const ssize_t n = send(fd, data.data(), static_cast<size_t>(std::min<long long>(TcpChunk, total - sent)), 0);
        if (n <= 0)
            break;
        sent += n;
    }
    while (release && !release->load())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    close(fd);
}

// Records the longest gap between two ticks of a 10 ms timer.
class StallProbe {
public:
    StallProbe()
    {
        FTimer.setTimerType(Qt::PreciseTimer);
        FTimer.setInterval(10);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            FWorst = std::max(FWorst, secondsBetween(FLast, now));
            FLast = now;
        });
    }
    void Start()
    {
        FWorst = 0;
        FLast = Clock::now();
        FTimer.start();
    }
    // The worst gap in milliseconds, the last stretch up to now included.
    double Stop()
    {
        FTimer.stop();
        return std::max(FWorst, secondsBetween(FLast, Clock::now())) * 1000;
    }

private:
    QTimer FTimer;
    Clock::time_point FLast;
    double FWorst = 0;
};

// Handles events until done() or the time is up; false when the time ran out.
bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.hasExpired(timeoutMs))
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

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
    bool exact = true;
};

UdpResult udpPlain()
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &ReceiveBuffer, sizeof ReceiveBuffer);
    const sockaddr_in a = loopback(0);
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
    r.exact = r.delivered + r.drops == Datagrams;
    r.rate = r.delivered / secondsBetween(start, last);
    close(fd);
    return r;
}

UdpResult udpWindow(TForm1 &form, StallProbe &probe)
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
            return window->RecvCount == (Datagrams - r.drops) * DatagramSize;
        },
        120000);
    window->FlushLog();
    const auto end = Clock::now();
    r.times = ThreadTimes::Now() - before;
    r.worstGapMs = probe.Stop();
    sender.join();

    r.delivered = Datagrams - r.drops;
    const long long lines = window->Memo2->lineCount();
    r.exact = finished && lines == r.delivered && window->RecvCount == r.delivered * DatagramSize;
    if (!r.exact)
        std::printf("  UDP window: %lld lines, RecvCount %lld, %lld delivered\n", lines,
                    static_cast<long long>(window->RecvCount), r.delivered);
    r.rate = r.delivered / secondsBetween(start, end);
    deleteInstance(form, server);
    return r;
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
        const sockaddr_in to = loopback(port);
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

// ---- TCP -------------------------------------------------------------------------------------

struct TcpResult {
    double seconds = 0;
    ThreadTimes times; // of the receiving thread
    double worstGapMs = 0;
    long long counted = 0;
    long long lines = 0;
    double rssMiB = 0;
    long long capturedFrom = 0;
};

TcpResult tcpPlain(long long total)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = loopback(0);
    bind(listener, reinterpret_cast<const sockaddr *>(&a), sizeof a);
    listen(listener, 5);
    const int port = boundPort(listener);
    const ThreadTimes before = ThreadTimes::Now();
    const auto start = Clock::now();
    std::thread sender(sendStream, port, total, nullptr);
    const int fd = accept(listener, nullptr, nullptr);
    std::vector<char> buffer(TcpChunk);
    TcpResult r;
    for (ssize_t n; (n = recv(fd, buffer.data(), buffer.size(), 0)) > 0;) {
        r.counted += n;
        ++r.lines;
    }
    r.seconds = secondsBetween(start, Clock::now());
    r.times = ThreadTimes::Now() - before;
    sender.join();
    close(fd);
    close(listener);
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
TcpResult tcpWindow(TForm1 &form, StallProbe &probe, long long total, bool hex, const QString &capture = QString())
{
    const int port = freeTcpPort();
    TMySocket *server = form.CreateTcpServer(port);
    QCoreApplication::processEvents();

    TcpResult r;
    std::atomic<bool> release{false};
    probe.Start();
    const ThreadTimes before = ThreadTimes::Now();
    const auto start = Clock::now();
    std::thread sender(sendStream, port, total, &release);
    TFrmData *window = nullptr;
    runUntil(
        [&] {
            if (!window)
                if (TMySocket *c = acceptedConnection(form)) {
                    // Watched as a user watches a flood: its window made at once, the hex
                    // switch set before the first read.
                    window = c->DataWindow;
                    window->Build();
                    window->CheckBox2->setChecked(hex);
                    if (!capture.isEmpty()) {
                        // Reads done before the window was seen are not in the file.
                        r.capturedFrom = window->RecvCount;
                        window->StartCapture(capture);
                    }
                }
            return window && window->RecvCount >= total;
        },
        total > TcpBytes ? 1800000 : 300000);
    if (window)
        window->FlushLog();
    const auto end = Clock::now();
    r.times = ThreadTimes::Now() - before;
    r.worstGapMs = probe.Stop();
    r.seconds = secondsBetween(start, end);
    r.rssMiB = rssMiB();
    if (window) {
        r.counted = window->RecvCount;
        // Line by line: the whole log as one text would be twice the log's size again, and the
        // peak would be the count's rather than the flood's.
        for (qsizetype i = 0; i < window->Memo2->lineCount(); ++i)
            r.lines += window->Memo2->line(i).count(QStringLiteral(" 收到数据："));
    }
    release = true;
    sender.join();
    runUntil([&] { return !acceptedConnection(form); }, 10000);
    deleteInstance(form, server);
    return r;
}

void printTcp(const char *what, const TcpResult &w, const TcpResult &plain, long long total)
{
    std::printf("%s: window %.2f s (%.0f MiB/s), %lld reads logged, counted %lld of %lld bytes%s, "
                "receiving thread %.2f s of processor, %.0f ms waiting for one; plain loop %.2f s (%.0f MiB/s), "
                "%.2f s of processor; ratio window/plain rate %.2f; worst probe gap %.0f ms; RSS %.0f MiB\n",
                what, w.seconds, total / 1048576.0 / w.seconds, w.lines, w.counted, total,
                w.counted == total ? " (exact)" : " (WRONG)", w.times.cpu, w.times.waited * 1000, plain.seconds,
                total / 1048576.0 / plain.seconds, plain.times.cpu, plain.seconds / w.seconds, w.worstGapMs, w.rssMiB);
}

} // namespace

int main(int argc, char **argv)
{
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
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gib") == 0)
            gib = true;
        else if (std::strcmp(argv[i], "--tiny") == 0)
            tiny = true, udp = tcp = false;
        else if (std::strcmp(argv[i], "--capture") == 0)
            capture = true, udp = tcp = false;
        else if (std::strcmp(argv[i], "--hex") == 0)
            hex = true;
        else if (std::strcmp(argv[i], "--udp-only") == 0)
            tcp = false;
        else if (std::strcmp(argv[i], "--tcp-only") == 0)
            udp = false;
        else
            rounds = std::max(1, std::atoi(argv[i]));
    }

    TForm1 form;
    form.resize(1000, 700);
    form.show();
    StallProbe probe;
    QCoreApplication::processEvents();

    std::vector<double> ratio, cpuRatio, gaps, plainRates, windowRates;
    bool allExact = true;
    for (int r = 0; udp && r < rounds; ++r) {
        const UdpResult plain = udpPlain();
        const UdpResult w = udpWindow(form, probe);
        allExact = allExact && plain.exact && w.exact;
        const double plainCpuUs = plain.times.cpu * 1e6 / plain.delivered;
        const double windowCpuUs = w.times.cpu * 1e6 / w.delivered;
        std::printf("UDP round %d: plain loop %.0f datagrams/s (%lld delivered, %lld dropped by the system, "
                    "%.1f us of processor each); window %.0f lines/s (%lld delivered, %lld dropped by the system, "
                    "lines and RecvCount %s, %.1f us of processor each, %.0f ms waiting for a processor); "
                    "ratio %.2f (by processor time %.2f); worst probe gap %.0f ms\n",
                    r + 1, plain.rate, plain.delivered, plain.drops, plainCpuUs, w.rate, w.delivered, w.drops,
                    w.exact ? "exact" : "WRONG", windowCpuUs, w.times.waited * 1000, w.rate / plain.rate,
                    plainCpuUs / windowCpuUs, w.worstGapMs);
        cpuRatio.push_back(plainCpuUs / windowCpuUs);
        std::fflush(stdout);
        ratio.push_back(w.rate / plain.rate);
        gaps.push_back(w.worstGapMs);
        plainRates.push_back(plain.rate);
        windowRates.push_back(w.rate);
    }
    if (udp)
        std::printf("UDP median of %d rounds: plain %.0f/s, window %.0f/s, ratio window/plain %.2f (target >= 0.6; "
                "by processor time %.2f), worst probe gap %.0f ms (target <= 50; max over rounds %.0f ms), counts %s\n",
                rounds, median(plainRates), median(windowRates), median(ratio), median(cpuRatio), median(gaps),
                *std::max_element(gaps.begin(), gaps.end()), allExact ? "exact in every round" : "NOT EXACT");
    std::fflush(stdout);

    std::vector<double> tcpGaps, tcpRatio;
    for (int r = 0; tcp && r < rounds; ++r) {
        const TcpResult plain = tcpPlain(TcpBytes);
        const TcpResult w = tcpWindow(form, probe, TcpBytes, hex);
        char what[32];
        std::snprintf(what, sizeof what, "TCP 100 MiB round %d", r + 1);
        printTcp(what, w, plain, TcpBytes);
        std::fflush(stdout);
        tcpGaps.push_back(w.worstGapMs);
        tcpRatio.push_back(plain.seconds / w.seconds);
        allExact = allExact && w.counted == TcpBytes;
    }
    if (tcp)
        std::printf("TCP 100 MiB median of %d rounds: ratio window/plain rate %.2f, worst probe gap %.0f ms "
                "(max over rounds %.0f ms, target <= 100)\n",
                rounds, median(tcpRatio), median(tcpGaps), *std::max_element(tcpGaps.begin(), tcpGaps.end()));
    std::fflush(stdout);

    if (tiny) {
        const TinyResult t = tinyFlood(form, 8.0);
        std::printf("Tiny datagrams, 8 s flood into a UDP server window: %lld sent, %lld logged; RSS before "
                    "%.0f MiB, peak %.0f MiB, growth %.0f MiB (target <= 64); a timer queued at the flood's end "
                    "ran after %.0f ms, the last datagram was logged %.0f ms after the end (target <= 1000)\n",
                    t.sent, t.lines, t.rssBeforeMiB, t.rssPeakMiB, t.rssPeakMiB - t.rssBeforeMiB, t.answerMs,
                    t.quietMs);
    }

    if (capture) {
        // The 1 GiB flood with and without receiving into a file, in turns.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("capture.bin"));
        std::vector<double> plainSeconds, captureSeconds;
        for (int r = 0; r < rounds; ++r) {
            const TcpResult w = tcpWindow(form, probe, GibBytes, hex);
            QFile::remove(path);
            const TcpResult c = tcpWindow(form, probe, GibBytes, hex, path);
            const qint64 written = QFileInfo(path).size() + c.capturedFrom;
            QFile::remove(path);
            std::printf("Capture round %d: window %.2f s, window receiving into a file %.2f s (%lld of %lld bytes "
                        "in the file or read before it was on%s, counted %s), ratio %.2f; worst probe gap %.0f ms\n",
                        r + 1, w.seconds, c.seconds, (long long)written, GibBytes,
                        written == GibBytes ? ", all" : ", NOT ALL",
                        w.counted == GibBytes && c.counted == GibBytes ? "exact" : "WRONG", c.seconds / w.seconds,
                        c.worstGapMs);
            std::fflush(stdout);
            allExact = allExact && written == GibBytes && w.counted == GibBytes && c.counted == GibBytes;
            plainSeconds.push_back(w.seconds);
            captureSeconds.push_back(c.seconds);
        }
        std::printf("Capture median of %d rounds: window %.2f s, receiving into a file %.2f s, slowdown %.0f%% "
                    "(target <= 10%%)\n",
                    rounds, median(plainSeconds), median(captureSeconds),
                    (median(captureSeconds) / median(plainSeconds) - 1) * 100);
    }

    if (gib) {
        const double before = rssMiB();
        const TcpResult plain = tcpPlain(GibBytes);
        const TcpResult w = tcpWindow(form, probe, GibBytes, hex);
        printTcp("TCP 1 GiB", w, plain, GibBytes);
        std::printf("TCP 1 GiB: RSS before %.0f MiB, with the connection's window %.0f MiB, peak %.0f MiB "
                    "(target <= 300; worst probe gap <= 1000 ms)\n",
                    before, w.rssMiB, peakRssMiB());
        allExact = allExact && w.counted == GibBytes;
    }
    return allExact ? 0 : 1;
}
