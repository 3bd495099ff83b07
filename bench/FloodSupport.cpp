#include "FloodSupport.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

// Qt
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>

namespace flood {

namespace {

long long statusField(const char *name)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(name, 0) == 0)
            return std::atoll(line.c_str() + std::strlen(name)) * 1024;
    return -1;
}

// A prime: the stream's bytes do not line up with its sends, its reads or a MiB.
constexpr size_t SequencePeriod = 1000003;

// One period of the stream and a send's worth more, so that a send never wraps.
const std::vector<char> &sequence()
{
    static const std::vector<char> bytes = [] {
        static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        std::vector<char> b(SequencePeriod + TcpChunk);
        uint64_t x = 0x9E3779B97F4A7C15ull;
        for (size_t i = 0; i < SequencePeriod; ++i) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            b[i] = digits[x % (sizeof digits - 1)];
        }
        std::copy(b.begin(), b.begin() + TcpChunk, b.begin() + SequencePeriod);
        return b;
    }();
    return bytes;
}

} // namespace

double secondsBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

std::string format(const char *fmt, ...)
{
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}

std::vector<char> payload(size_t n)
{
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::vector<char> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = digits[i % (sizeof digits - 1)];
    return bytes;
}

ThreadTimes ThreadTimes::Now()
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

double rssMiB() { return statusField("VmRSS:") / 1048576.0; }
double peakRssMiB() { return statusField("VmHWM:") / 1048576.0; }

bool resetPeakRss()
{
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.close();
    return !out.fail();
}

int boundPort(int fd)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    return ntohs(a.sin_port);
}

int freeTcpPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = loopbackIn(0);
    bind(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a);
    const int port = boundPort(fd);
    close(fd);
    return port;
}

int acceptWithin(int listener, int timeoutMs)
{
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1)
        return -1;
    return accept(listener, nullptr, nullptr);
}

void sendDatagrams(int port, int count)
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in to = loopbackIn(port);
    const std::vector<char> data = payload(DatagramSize);
    for (int i = 0; i < count; ++i)
        sendto(fd, data.data(), data.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    close(fd);
}

// ---- the TCP peer ----------------------------------------------------------------------------

TStreamPeer::TStreamPeer(int port, long long total)
{
    sequence(); // made before the clock starts
    FGoSignal = FGo.get_future();
    FReleaseSignal = FRelease.get_future();
    FThread = std::thread(&TStreamPeer::Run, this, port, total);
}

TStreamPeer::~TStreamPeer()
{
    Join();
}

void TStreamPeer::Go()
{
    if (!FGone) {
        FGone = true;
        FGo.set_value();
    }
}

void TStreamPeer::Release()
{
    if (!FReleased) {
        FReleased = true;
        FRelease.set_value();
    }
}

void TStreamPeer::Join()
{
    if (!FGone)
        FAbort = true;
    Go();
    Release();
    if (FThread.joinable())
        FThread.join();
}

void TStreamPeer::Run(int port, long long total)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in to = loopbackIn(port);
    if (connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0) {
        close(fd);
        return;
    }
    FConnected = true;
    timeval stalled{30, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &stalled, sizeof stalled);
    FGoSignal.wait();
    if (FAbort) {
        close(fd);
        return;
    }
    const char *bytes = sequence().data();
    for (long long sent = 0; sent < total;) {
        const size_t at = static_cast<size_t>(sent % SequencePeriod);
        const ssize_t n = send(fd, bytes + at, static_cast<size_t>(std::min<long long>(TcpChunk, total - sent)), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
        FSent = sent;
    }
    FReleaseSignal.wait();
    close(fd);
}

QByteArray TStreamPeer::Digest() const
{
    // Every round of a flood sends the same bytes: each length is digested once.
    static std::map<long long, QByteArray> known;
    const long long sent = FSent;
    auto found = known.find(sent);
    if (found != known.end())
        return found->second;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const char *bytes = sequence().data();
    for (long long at = 0; at < sent;) {
        const size_t from = static_cast<size_t>(at % SequencePeriod);
        const long long n = std::min<long long>(SequencePeriod - from, sent - at);
        hash.addData(QByteArrayView(bytes + from, static_cast<qsizetype>(n)));
        at += n;
    }
    return known[sent] = hash.result().toHex();
}

QByteArray fileDigest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return QByteArray();
    return hash.result().toHex();
}

long long fileSize(const QString &path)
{
    struct stat st{};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// ---- the stall probe ---------------------------------------------------------------------------

TStallProbe::TStallProbe()
{
    FTimer.setTimerType(Qt::PreciseTimer);
    FTimer.setInterval(10);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
        const auto now = Clock::now();
        FWorst = std::max(FWorst, secondsBetween(FLast, now));
        FLast = now;
    });
}

void TStallProbe::Start()
{
    FWorst = 0;
    FLast = Clock::now();
    FTimer.start();
}

double TStallProbe::Stop()
{
    FTimer.stop();
    return std::max(FWorst, secondsBetween(FLast, Clock::now())) * 1000;
}

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

} // namespace flood
