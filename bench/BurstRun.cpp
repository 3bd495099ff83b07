#include "BurstRun.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

// Qt
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QTreeWidget>

// workbench
#include "DataWindowStack.h"
#include "TMySocket.h"
#include "Unit1.h"

#include "BenchSupport.h"
#include "BenchTargets.h"
#include "BurstSupport.h"
#include "MainWindowBench.h"

namespace bench {

// N clients at once: a bare socket with the program's backlog, then the main window's server.
int RunBurst(TTargets &targets, int n, double cap, const char *display)
{
    auto form = std::make_unique<TForm1>();
    form->show();
    DrainEvents();
    TMySocket *server = CreateTcpServer(*form, UnusedPort());
    const int port = server->LocalPort;
    const int backlog = ListenBacklog(port);
    std::printf("%s: %d clients connecting at once (non-blocking connects from a process of their own), cap %.0f s; "
                "the server listens with a backlog of %d (net.core.somaxconn caps it)\n",
                display, n, cap, backlog);
    std::fflush(stdout);

    double bareSeconds = 0;
    TListenDrops bareDropped;
    const int bareAccepted = AcceptBareBurst(n, backlog > 0 ? backlog : 5, cap, bareSeconds, bareDropped);
    std::printf("  bare socket, plain accept loop: %d of %d accepted in %.3f s; SYNs dropped: %lld listen "
                "overflows, %lld listen drops\n",
                bareAccepted, n, bareSeconds, bareDropped.Overflows, bareDropped.Drops);
    std::fflush(stdout);

    auto accepted = [&] { return form->SocketList.Count() - 1; };
    DrainEvents();
    const long long heap0 = HeapInUse();
    // The event loop's longest stretch without running a timer while the burst goes on.
    auto lastTick = Clock::now();
    double longestGap = 0;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, secondsSince(lastTick));
        lastTick = Clock::now();
    });
    int formAccepted = 0, established = -1;
    double formSeconds = 0;
    TListenDrops formDropped;
    {
        TClientFleet fleet(port, n, cap);
        const TListenDrops before = TListenDrops::Now();
        const auto start = Clock::now();
        fleet.Start();
        probe.start();
        lastTick = Clock::now();
        while (accepted() < n && secondsSince(start) < cap)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        formSeconds = secondsSince(start);
        formDropped = TListenDrops::Now() - before;
        formAccepted = accepted();
        // Until the nodes of the last period are in and the window in front is painted.
        const auto settle = Clock::now();
        while (server->Node->childCount() < formAccepted && secondsSince(settle) < 10)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        DrainEvents();
        probe.stop();
        established = fleet.Established(cap + 10);
        const double heapPerConnection = formAccepted ? double(HeapInUse() - heap0) / formAccepted : 0;
        const int nodes = server->Node->childCount();
        const int windows = form->DataWindows->Count() - 1;
        std::printf("  main window's TCP server: %d of %d accepted in %.3f s (%d nodes, %d data windows); SYNs "
                    "dropped: %lld listen overflows, %lld listen drops\n",
                    formAccepted, n, formSeconds, nodes, windows, formDropped.Overflows, formDropped.Drops);
        std::printf("  clients established: %d of %d; heap per connection %.1f KiB; longest the event loop went "
                    "without running a timer: %.0f ms\n",
                    established, n, heapPerConnection / 1024, longestGap * 1e3);
        const double ratio = formSeconds / bareSeconds;
        std::printf("  main window / bare socket: %.2f x (time until all accepted%s)\n", ratio,
                    formAccepted < n || bareAccepted < n ? "; one of the two stopped at the cap" : "");
        std::fflush(stdout);
        const std::string where = std::string(" (") + display + ")";
        targets.AtLeast("burst-accepted", "clients accepted by the main window, each with node and window" + where,
                        std::min({formAccepted, nodes, windows}), n);
        targets.AtMost("burst-dropped", "SYNs dropped while the main window accepted" + where,
                       double(std::max(formDropped.Overflows, formDropped.Drops)), 0);
        targets.AtMost("burst-ratio", "time until all accepted, main window / bare socket" + where,
                       formAccepted < n ? NAN : ratio, 2, "x");
    }
    // The fleet is gone: the connections close.
    const auto closing = Clock::now();
    while (accepted() > 0 && secondsSince(closing) < 60)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    form.reset();
    DrainEvents();
    return targets.Finish();
}

// --display both: each display in a process of its own (the platform is chosen once per process).
int RunBurstOnBoth(int argc, char **argv)
{
    int status = 0;
    for (const char *display : {"offscreen", "xvfb"}) {
        std::vector<char *> args(argv, argv + argc);
        for (size_t i = 0; i + 1 < args.size(); ++i)
            if (std::strcmp(args[i], "--display") == 0)
                args[i + 1] = const_cast<char *>(display);
        args.push_back(nullptr);
        std::fflush(stdout);
        const pid_t child = ::fork();
        if (child == 0) {
            ::execv("/proc/self/exe", args.data());
            _exit(127);
        }
        int s = 0;
        ::waitpid(child, &s, 0);
        if (!WIFEXITED(s) || WEXITSTATUS(s) != 0)
            status = 1;
    }
    return status;
}

} // namespace bench
