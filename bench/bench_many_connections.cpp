// Many connections through the real main window, against bare accepts in the same run:
//  - accept: a peer opens 1,000 connections one after another (the next once the last has been
//    taken in) to a TCP server instance of TForm1; each becomes a node, a data window and an
//    instance. The baseline is the same accepts by a bare TServerSocket with no windows.
//    Printed: total time, the first and the last hundred and their ratio, memory per connection
//    (resident set growth and heap in use, each divided by the number of connections).
//  - cycles: 1,000 connect-and-close cycles against the same server instance; time per cycle,
//    and what is left afterwards (descriptors, nodes, windows, instances, listed connections).
// Rounds alternate baseline and main window, and which of the two goes first, so a busy machine
// weighs on both alike; medians. Targets, each printed with its verdict (the exit status is
// non-zero when one is missed, or when the cycles leave anything behind):
//   conn-ratio   the last tenth of the connections takes at most 1.5 times what the first did
//   conn-heap    at most 10 KiB of heap a connection (node, instance and data window)
//
// With --full-table: a TCP server instance of the main window while this process's descriptor
// table is full (a low limit, every descriptor taken) and 20 connections wait in its queue: the
// share of a processor it takes over 5 s, then how long until all 20 are taken in once
// descriptors are free again. Target:
//   full-table-cpu   at most 5% of a processor
// With --side-by-side the server's window is restored from maximised first, so that the
// connections' windows open side by side.
//
// With --burst N: a fleet of N clients in a process of its own connects all at once (non-blocking
// connects), as devices do when their server comes back, first to a bare socket listening with
// the backlog the program's server has (a plain accept loop), then to a TCP server instance of the
// main window. Printed for each: the time until all were accepted (or how many were by the cap),
// the SYNs the system dropped meanwhile (TcpExt ListenOverflows and ListenDrops), and for the main
// window the heap per connection, the longest the event loop went without running a timer, and
// the ratio to the bare socket. --display offscreen, xvfb (an X server of the bench's own) or
// both (each in a process of its own), or x11 (the X server in DISPLAY); --cap S gives up after S seconds (default 120). Targets:
//   burst-accepted   every client accepted, each with node and data window
//   burst-dropped    no SYN dropped
//   burst-ratio      at most 2 times the bare socket's time
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_many_connections [rounds] [connections] [--side-by-side]
//       [--full-table] [--burst N [--display offscreen|xvfb|both|x11] [--cap S]] [--no-verdicts]
//       [--target NAME=LIMIT]...

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <memory>
#include <vector>

// Qt
#include <QMdiSubWindow>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QMdiArea>
#include <QTimer>
#include <QTreeWidget>

// platform
#include "ProcessLimits.h"
#include "WinSock.h"
// transport
#include "TServerSocket.h"
#include "TServerWinSocket.h"
// datawindow
#include "datapanel.h"
// workbench
#include "DataWindowStack.h"
#include "TApplication.h"
#include "TMySocket.h"
#include "Unit1.h"
#include "BenchSupport.h"
#include "BenchTargets.h"
#include "BurstRun.h"
#include "BurstSupport.h"
#include "MainWindowBench.h"

namespace {

using bench::median;
using bench::secondsSince;

using bench::Clock;

long long residentBytes()
{
    long long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lld %lld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

int openDescriptors()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

// A blocking connect to 127.0.0.1: done once the connection waits in the server's queue.
ws::TSocket connectTo(int port)
{
    ws::TSockAddrIn a;
    a.sin_family = ws::AF_INET_;
    a.sin_port = ws::HostToNet16(static_cast<uint16_t>(port));
    a.sin_addr = ws::inet_addr("127.0.0.1");
    const ws::TSocket s = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    if (s == ws::INVALID_SOCKET || ws::connect(s, a) == ws::SOCKET_ERROR) {
        std::fprintf(stderr, "connect failed: %d\n", ws::WSAGetLastError());
        std::exit(1);
    }
    return s;
}

// The peer: a process of its own, so that its sockets and the accepted ones do not share one
// descriptor table. Told over a pipe: 'c' connects one more (and answers once connected), 'x'
// closes the newest, 'X' closes them all (answering once done).
class Peer {
public:
    explicit Peer(int port)
    {
        int toPeer[2], fromPeer[2];
        if (::pipe(toPeer) != 0 || ::pipe(fromPeer) != 0)
            std::exit(1);
        FChild = ::fork();
        if (FChild == 0) {
            ::close(toPeer[1]);
            ::close(fromPeer[0]);
            RaiseOpenFileLimit();
            std::vector<ws::TSocket> open;
            for (char c; ::read(toPeer[0], &c, 1) == 1;) {
                if (c == 'c') {
                    open.push_back(connectTo(port));
                } else if (c == 'x' && !open.empty()) {
                    ws::closesocket(open.back());
                    open.pop_back();
                } else if (c == 'X') {
                    for (ws::TSocket s : open)
                        ws::closesocket(s);
                    open.clear();
                }
                if (c != 'x' && ::write(fromPeer[1], "k", 1) != 1)
                    _exit(1);
            }
            _exit(0);
        }
        ::close(toPeer[0]);
        ::close(fromPeer[1]);
        FTo = toPeer[1];
        FFrom = fromPeer[0];
    }
    ~Peer()
    {
        ::close(FTo);
        ::close(FFrom);
        ::waitpid(FChild, nullptr, 0);
    }
    void Connect() { Tell('c', true); }
    void CloseNewest() { Tell('x', false); }
    void CloseAll() { Tell('X', true); }

private:
    void Tell(char c, bool answered)
    {
        char k;
        if (::write(FTo, &c, 1) != 1 || (answered && ::read(FFrom, &k, 1) != 1))
            std::exit(1);
    }
    pid_t FChild = -1;
    int FTo = -1, FFrom = -1;
};

// Handles events until the condition holds; gives up after 60 s.
void waitFor(const std::function<bool()> &condition)
{
    const auto start = Clock::now();
    while (!condition()) {
        if (secondsSince(start) > 60) {
            std::fprintf(stderr, "timed out\n");
            std::exit(1);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
}

struct AcceptRun {
    double total = 0;
    // Seconds per tenth of the connections (a hundred of a thousand, a thousand of ten thousand).
    std::vector<double> tenths;
    double residentPerConnection = 0;
    double heapPerConnection = 0;
};

// Opens n connections one after another; accepted() tells how many were taken in.
AcceptRun openConnections(Peer &peer, int n, const std::function<int()> &accepted)
{
    AcceptRun run;
    bench::DrainEvents();
    const long long resident0 = residentBytes();
    const long long heap0 = bench::HeapInUse();
    const int before = accepted();
    const auto start = Clock::now();
    auto tenth = start;
    for (int i = 0; i < n; ++i) {
        peer.Connect();
        waitFor([&] { return accepted() == before + i + 1; });
        // What the new connection leaves for the loop (layout, painting) belongs to it.
        QCoreApplication::processEvents();
        if ((i + 1) % (n / 10) == 0) {
            run.tenths.push_back(secondsSince(tenth));
            tenth = Clock::now();
        }
    }
    run.total = secondsSince(start);
    bench::DrainEvents();
    run.residentPerConnection = double(residentBytes() - resident0) / n;
    run.heapPerConnection = double(bench::HeapInUse() - heap0) / n;
    return run;
}

AcceptRun acceptBare(int n)
{
    TServerSocket server;
    int accepted = 0;
    server.OnClientConnect = [&](QObject *, TCustomWinSocket *) { ++accepted; };
    server.SetPort(0);
    server.SetActive(true);
    Peer peer(server.Socket()->LocalPort());
    AcceptRun run = openConnections(peer, n, [&] { return accepted; });
    server.SetActive(false);
    peer.CloseAll();
    bench::DrainEvents();
    return run;
}

struct CycleRun {
    double perCycle = 0;
    int descriptorsLeft = 0, nodesLeft = 0, windowsLeft = 0, instancesLeft = 0, connectionsLeft = 0;
};

struct FormRun {
    AcceptRun accept;
    CycleRun cycles;
    double firstShowMs = -1; // a window never shown, with a 10,000-line log, selected; -1 if all were shown
    int windows = 0;         // data windows once all connections were in
};

bool sideBySide = false;

int fullTable(bench::TTargets &targets)
{
    auto form = std::make_unique<TForm1>();
    form->show();
    bench::DrainEvents();
    TMySocket *server = bench::CreateTcpServer(*form, bench::UnusedPort());
    const int port = server->LocalPort;
    constexpr int Waiting = 20;
    // The peers are a process of their own: they connect once this one's table is full.
    int go[2];
    if (::pipe(go) != 0) {
        targets.Fail("no pipe to the peers");
        return targets.Finish();
    }
    const pid_t child = ::fork();
    if (child == 0) {
        char c;
        if (::read(go[0], &c, 1) != 1)
            _exit(1);
        std::vector<ws::TSocket> peers;
        for (int i = 0; i < Waiting; ++i)
            peers.push_back(connectTo(port));
        ::read(go[0], &c, 1); // held until told
        _exit(0);
    }
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    rlimit low = saved;
    low.rlim_cur = 256;
    ::setrlimit(RLIMIT_NOFILE, &low);
    std::vector<int> filled;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        filled.push_back(fd);
    if (::write(go[1], "c", 1) != 1) {
        targets.Fail("could not tell the peers to connect");
        return targets.Finish();
    }
    const auto processorSeconds = [] {
        rusage u{};
        ::getrusage(RUSAGE_SELF, &u);
        return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    const double cpu0 = processorSeconds();
    const auto start = Clock::now();
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    const double share = (processorSeconds() - cpu0) / secondsSince(start);
    const int acceptedWhileFull = server->Node->childCount();
    for (int fd : filled)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    const auto freed = Clock::now();
    waitFor([&] { return server->Node->childCount() == Waiting; });
    std::printf("descriptor table full (limit 256, all taken), %d connections waiting: the main window took %.1f%% "
                "of a processor over 5 s, accepted %d meanwhile; once descriptors were free all %d were accepted, "
                "each with node and window, in %.0f ms\n",
                Waiting, share * 100, acceptedWhileFull, Waiting, secondsSince(freed) * 1e3);
    targets.AtMost("full-table-cpu", "descriptor table full, the main window's share of a processor", share * 100, 5,
                   "%");
    if (::write(go[1], "q", 1) != 1)
        targets.Fail("could not tell the peers to go");
    ::waitpid(child, nullptr, 0);
    return targets.Finish();
}

FormRun acceptForm(int n, int cycles)
{
    FormRun result;
    auto form = std::make_unique<TForm1>();
    form->show();
    bench::DrainEvents();
    TMySocket *server = bench::CreateTcpServer(*form, bench::UnusedPort());
    if (sideBySide) {
        server->DataWindow->Frame()->showNormal();
        bench::DrainEvents();
        if (!form->DataWindows->SideBySide()) {
            std::fprintf(stderr, "the windows did not go side by side\n");
            std::exit(1);
        }
    }
    auto *listener = qobject_cast<TServerSocket *>(server->Socket)->Socket();
    const int port = listener->LocalPort();
    auto accepted = [&] { return form->SocketList.Count() - 1; };

    Peer peer(port);
    result.accept = openConnections(peer, n, accepted);
    waitFor([&] { return server->Node->childCount() == n; });
    result.windows = form->DataWindows->Count();
    // A connection in the middle, its window never shown, logs 10,000 reads; then its node is
    // selected: until its window is made and painted.
    TMySocket *middle = form->SocketList.Items(n / 2);
    if (!middle->DataWindow->IsBuilt()) {
        for (int i = 0; i < 10000; ++i)
            middle->DataWindow->LogReceived(QByteArray("a read of some forty bytes, as text ") + QByteArray::number(i));
        const auto shown = Clock::now();
        form->TreeView1->setCurrentItem(middle->Node);
        middle->DataWindow->Frame()->repaint();
        result.firstShowMs = secondsSince(shown) * 1e3;
    }
    peer.CloseAll();
    waitFor([&] { return accepted() == 0 && listener->ActiveConnections() == 0; });
    bench::DrainEvents();

    const int descriptors0 = openDescriptors();
    const int windows0 = form->DataWindows->Count();
    const auto start = Clock::now();
    for (int i = 0; i < cycles; ++i) {
        peer.Connect();
        waitFor([&] { return accepted() == 1; });
        peer.CloseNewest();
        waitFor([&] { return accepted() == 0 && listener->ActiveConnections() == 0; });
    }
    result.cycles.perCycle = secondsSince(start) / cycles;
    bench::DrainEvents();
    result.cycles.descriptorsLeft = openDescriptors() - descriptors0;
    result.cycles.nodesLeft = server->Node->childCount();
    result.cycles.windowsLeft = form->DataWindows->Count() - windows0;
    result.cycles.instancesLeft = form->SocketList.Count() - 1;
    result.cycles.connectionsLeft = listener->ActiveConnections();

    form.reset();
    bench::DrainEvents();
    return result;
}

void printSpread(const char *name, std::vector<double> v, double scale, const char *unit)
{
    std::sort(v.begin(), v.end());
    std::printf("  %-34s median %9.2f %s   (min %.2f, max %.2f)\n", name, median(v) * scale, unit, v.front() * scale,
                v.back() * scale);
}

} // namespace

int main(int argc, char **argv)
{
    int burstCount = 0;
    double cap = 120;
    std::string display = "offscreen";
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--burst") == 0)
            burstCount = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--cap") == 0)
            cap = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--display") == 0)
            display = argv[i + 1];
    }
    if (burstCount > 0 && display == "both")
        return bench::RunBurstOnBoth(argc, argv);
    // Taken out before Qt sees them: its X platform reads "--display" as the X display.
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (i + 1 < argc && (std::strcmp(argv[i], "--burst") == 0 || std::strcmp(argv[i], "--cap") == 0
                             || std::strcmp(argv[i], "--display") == 0))
            ++i;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    std::unique_ptr<bench::TXServer> xServer;
    if (burstCount > 0 && display == "xvfb") {
        xServer = std::make_unique<bench::TXServer>();
        if (!xServer->Up())
            return 1;
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else if (burstCount > 0 && display == "x11") {
        qputenv("QT_QPA_PLATFORM", "xcb"); // the X server in DISPLAY (one with an accessibility bus, say)
    } else if (burstCount > 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    bench::TTargets targets(argc, argv);
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    TApplication app(argc, argv);
    // The accepted connections are descriptors of this process: as many as the hard limit allows.
    RaiseOpenFileLimit();
    if (burstCount > 0) {
        const std::string label = display == "xvfb" ? "X server (Xvfb " + xServer->Display() + ")"
                                  : display == "x11"  ? "X server (" + qEnvironmentVariable("DISPLAY").toStdString() + ")"
                                                      : display;
        return bench::RunBurst(targets, burstCount, cap, label.c_str());
    }
    std::vector<const char *> numbers;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--side-by-side") == 0)
            sideBySide = true;
        else if (std::strcmp(argv[i], "--full-table") == 0)
            return fullTable(targets);
        else
            numbers.push_back(argv[i]);
    }
    const int rounds = numbers.size() > 0 ? std::max(1, std::atoi(numbers[0])) : 3;
    const int n = numbers.size() > 1 ? std::max(200, std::atoi(numbers[1])) / 100 * 100 : 1000;

    std::vector<double> bareTotal, bareFirst, bareLast, bareResident, bareHeap;
    std::vector<double> formTotal, formFirst, formLast, formRatio, formResident, formHeap, cycleTime;
    CycleRun worst;
    for (int r = 0; r < rounds; ++r) {
        AcceptRun bare;
        FormRun form;
        if (r % 2) {
            form = acceptForm(n, n);
            bare = acceptBare(n);
        } else {
            bare = acceptBare(n);
            form = acceptForm(n, n);
        }
        if (form.windows != n + 1)
            targets.Fail("round %d: %d data windows for a server and %d connections", r + 1, form.windows, n);
        std::printf("round %d (%s first): bare %.3f s, window %.3f s (first tenth %.1f ms, last %.1f ms), %.1f KiB resident "
                    "and %.1f KiB heap per connection, cycle %.2f ms\n",
                    r + 1, r % 2 ? "window" : "bare", bare.total, form.accept.total, form.accept.tenths.front() * 1e3,
                    form.accept.tenths.back() * 1e3, form.accept.residentPerConnection / 1024,
                    form.accept.heapPerConnection / 1024, form.cycles.perCycle * 1e3);
        if (form.firstShowMs >= 0)
            std::printf("  first show of a window never shown, with a 10,000-line log: %.1f ms\n", form.firstShowMs);
        else
            std::printf("  first show of a window never shown: not measured, the window in the middle had been shown\n");
        std::printf("  tenths (ms), bare:");
        for (double h : bare.tenths)
            std::printf(" %.0f", h * 1e3);
        std::printf("; window:");
        for (double h : form.accept.tenths)
            std::printf(" %.0f", h * 1e3);
        std::printf("\n");
        std::fflush(stdout);
        bareTotal.push_back(bare.total);
        bareFirst.push_back(bare.tenths.front());
        bareLast.push_back(bare.tenths.back());
        bareResident.push_back(bare.residentPerConnection);
        bareHeap.push_back(bare.heapPerConnection);
        formTotal.push_back(form.accept.total);
        formFirst.push_back(form.accept.tenths.front());
        formLast.push_back(form.accept.tenths.back());
        formRatio.push_back(form.accept.tenths.back() / form.accept.tenths.front());
        formResident.push_back(form.accept.residentPerConnection);
        formHeap.push_back(form.accept.heapPerConnection);
        cycleTime.push_back(form.cycles.perCycle);
        worst.descriptorsLeft = std::max(worst.descriptorsLeft, form.cycles.descriptorsLeft);
        worst.nodesLeft = std::max(worst.nodesLeft, form.cycles.nodesLeft);
        worst.windowsLeft = std::max(worst.windowsLeft, form.cycles.windowsLeft);
        worst.instancesLeft = std::max(worst.instancesLeft, form.cycles.instancesLeft);
        worst.connectionsLeft = std::max(worst.connectionsLeft, form.cycles.connectionsLeft);
    }

    const std::string tenth = n == 1000 ? "hundred" : n == 10000 ? "thousand" : std::to_string(n / 10);
    std::printf("\n%d connections one after another, %d rounds (medians):\n", n, rounds);
    std::printf(" bare TServerSocket, no windows (baseline)\n");
    printSpread("total", bareTotal, 1, "s ");
    printSpread(("first " + tenth).c_str(), bareFirst, 1e3, "ms");
    printSpread(("last " + tenth).c_str(), bareLast, 1e3, "ms");
    printSpread("resident per connection", bareResident, 1.0 / 1024, "KiB");
    printSpread("heap per connection", bareHeap, 1.0 / 1024, "KiB");
    std::printf(" TCP server instance of the main window (node, data window, instance each)%s\n",
                sideBySide ? ", windows side by side" : "");
    printSpread("total", formTotal, 1, "s ");
    printSpread(("first " + tenth).c_str(), formFirst, 1e3, "ms");
    printSpread(("last " + tenth).c_str(), formLast, 1e3, "ms");
    printSpread(("last / first " + tenth).c_str(), formRatio, 1, "x ");
    printSpread("resident per connection", formResident, 1.0 / 1024, "KiB");
    printSpread("heap per connection", formHeap, 1.0 / 1024, "KiB");
    std::printf("  total against baseline: %.1f x; resident set of round 1 is the honest one (later rounds reuse "
                "freed heap)\n",
                median(formTotal) / median(bareTotal));
    std::printf(" %d connect-and-close cycles\n", n);
    printSpread("per cycle", cycleTime, 1e3, "ms");
    std::printf("  left behind (worst round): %d descriptors, %d nodes, %d windows, %d instances, %d connections\n",
                worst.descriptorsLeft, worst.nodesLeft, worst.windowsLeft, worst.instancesLeft, worst.connectionsLeft);
    if (worst.descriptorsLeft > 0 || worst.nodesLeft > 0 || worst.windowsLeft > 0 || worst.instancesLeft > 0
        || worst.connectionsLeft > 0)
        targets.Fail("the connect-and-close cycles left something behind (above)");
    std::printf("%d connections: %.2f s in all, %.1f KiB heap per connection, last / first %s %.2f x\n", n,
                median(formTotal), median(formHeap) / 1024, tenth.c_str(), median(formRatio));
    targets.AtMost("conn-ratio", ("accepting, time of the last " + tenth + " / the first, median").c_str(),
                   median(formRatio), 1.5);
    targets.AtMost("conn-heap", "heap per connection (node, instance, data window), median", median(formHeap) / 1024,
                   10, "KiB");
    return targets.Finish();
}
