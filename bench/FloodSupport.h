#pragma once
// What bench_flood's floods share: the peers that send them, the probe that times stalls of the
// event loop, the process's memory and processor time, and the digests that say a file holds
// what a peer sent.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>

// Qt
#include <QByteArray>
#include <QString>
#include <QTimer>

#include "BenchSupport.h"

namespace flood {

using bench::loopbackIn;

using Clock = std::chrono::steady_clock;

constexpr int DatagramSize = 1024;
constexpr int TcpChunk = 64 * 1024;

double secondsBetween(Clock::time_point a, Clock::time_point b);
std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Printable bytes without line breaks: the data a line shows is one long run of text.
std::vector<char> payload(size_t n);

// Processor time of the calling thread, and the time it spent ready to run but waiting for a
// processor (other programs on the machine): the second says how much of a wall-clock figure
// was the machine's load rather than this program.
struct ThreadTimes {
    double cpu = 0;
    double waited = 0;
    static ThreadTimes Now();
    ThreadTimes operator-(const ThreadTimes &o) const { return {cpu - o.cpu, waited - o.waited}; }
};

double rssMiB();
// The peak resident set since the start, or since the last resetPeakRss().
double peakRssMiB();
// False when the system does not let the peak be reset: it then covers the whole run.
bool resetPeakRss();

int boundPort(int fd);
// A port on 127.0.0.1 nobody listens on right now.
int freeTcpPort();
// Accepts one connection on a listening socket, waiting at most timeoutMs; -1 if none came.
int acceptWithin(int listener, int timeoutMs);

// The peer: count datagrams of DatagramSize bytes to 127.0.0.1:port, as fast as it can.
void sendDatagrams(int port, int count);

// The peer of a TCP flood, in a thread of its own: connects to 127.0.0.1:port, waits for Go(),
// sends total bytes as fast as it can, then holds the connection until released (or destroyed),
// so that the receiver reads its counts before it sees the close. A send that cannot go on for
// 30 s ends the flood short. The bytes are a fixed
// pseudo-random printable sequence that does not repeat within a MiB, so a block lost, doubled
// or out of order changes their digest.
class TStreamPeer {
public:
    TStreamPeer(int port, long long total);
    ~TStreamPeer();
    void Go();
    void Release();
    // Releases the connection and waits for the thread; Sent() and Digest() need it done.
    void Join();
    bool Connected() const { return FConnected; }
    long long Sent() const { return FSent; }
    // SHA-256 (hex) of the bytes sent, made again from the sequence after the flood.
    QByteArray Digest() const;

private:
    void Run(int port, long long total);
    std::promise<void> FGo, FRelease;
    std::future<void> FGoSignal, FReleaseSignal;
    bool FGone = false, FReleased = false;
    std::atomic<bool> FAbort{false}; // joined before Go: nothing is sent
    std::atomic<bool> FConnected{false};
    std::atomic<long long> FSent{0};
    std::thread FThread;
};

// SHA-256 (hex) of a file's bytes; empty when it cannot be read.
QByteArray fileDigest(const QString &path);
// The size of a file; -1 when there is none.
long long fileSize(const QString &path);

// Records the longest gap between two ticks of a 10 ms timer: the longest time the event loop
// did not turn.
class TStallProbe {
public:
    TStallProbe();
    void Start();
    // The worst gap in milliseconds, the last stretch up to now included.
    double Stop();

private:
    QTimer FTimer;
    Clock::time_point FLast;
    double FWorst = 0;
};

// Handles events until done() or the time is up; false when the time ran out.
bool runUntil(const std::function<bool()> &done, int timeoutMs);

} // namespace flood
