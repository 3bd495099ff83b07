#pragma once
// What a burst of connections needs around the program under test: a fleet of clients in a
// process of its own that connect all at once, the SYNs the system dropped meanwhile, the
// backlog a listening socket really has, a plain accept loop to compare with, and an X server
// of the benchmark's own.

#include <sys/types.h>

#include <string>

namespace bench {

// N non-blocking sockets in a child process, connected all at once to 127.0.0.1:port when told.
class TClientFleet {
public:
    TClientFleet(int port, int count, double capSeconds);
    ~TClientFleet(); // closes the clients and waits for the child
    // All connects go out now.
    void Start();
    // How many of the clients saw their connection established: all of them, or as many as had
    // by the cap. Waits for the child's answer at most waitSeconds; -1 without an answer.
    int Established(double waitSeconds);

private:
    pid_t FChild = -1;
    int FTo = -1, FFrom = -1;
};

// The system's counters of SYNs dropped at listening sockets (/proc/net/netstat, TcpExt).
struct TListenDrops {
    long long Overflows = 0; // ListenOverflows: the accept queue was full
    long long Drops = 0;     // ListenDrops: every SYN dropped at a listener, overflows included
    static TListenDrops Now();
    TListenDrops operator-(const TListenDrops &before) const
    {
        return {Overflows - before.Overflows, Drops - before.Drops};
    }
};

// The backlog of the socket listening on this local TCP port, as the system has it (ss); -1
// when it cannot tell.
int ListenBacklog(int port);

// A plain socket listening on 127.0.0.1 with this backlog, accepting in a loop until count
// connections were taken or capSeconds passed. Fills in the seconds until the last was taken
// (or the cap) and returns how many were.
int AcceptBareBurst(int count, int backlog, double capSeconds, double &seconds, TListenDrops &dropped);

// An Xvfb of its own on a free display, gone again with this object. DISPLAY is set for this
// process once it is up.
class TXServer {
public:
    TXServer();
    ~TXServer();
    bool Up() const { return FPid > 0 && !FDisplay.empty(); }
    const std::string &Display() const { return FDisplay; }

private:
    pid_t FPid = -1;
    std::string FDisplay;
};

} // namespace bench
