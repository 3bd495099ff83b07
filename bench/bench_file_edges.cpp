// Receiving into files and logs where they meet their edges, through the main window's TCP server:
//  - --fifo (default): a connection's window receives a 256 MiB flood into a FIFO whose reader
//    takes 1 MiB and then reads no more, against the same flood with no capture in the same run
//    (rounds alternate which goes first). A 10 ms timer probe records the longest time the event
//    loop did not turn; the capture must stop alone (its box says it fell behind) and the window
//    count every byte. Target fifo-gap: the worst gap at most 50 ms.
//  - --memory: 8 connections each send 1 GiB of UTF-8 Chinese text at once; the peak resident
//    set of the whole process against the logs' budget (a quarter of the machine's memory, at most
//    2 GiB; --budget MIB sets another), with the resident set before the floods as the baseline.
//    Target memory-peak: at most the budget plus 200 MiB. --gib N sends N GiB a connection.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_file_edges [rounds] [--fifo] [--memory]
//       [--budget MIB] [--gib N] [--no-verdicts] [--target NAME=LIMIT]...

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

// Qt
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

// platform
#include "MessageSeam.h"
// transport
#include "TServerSocket.h"
#include "TServerWinSocket.h"
// datawindow
#include "LogBudget.h"
#include "datapanel.h"
// workbench
#include "TMySocket.h"
#include "TreeNode.h"
#include "Unit1.h"
#include "BenchSupport.h"
#include "BenchTargets.h"
#include "FloodSupport.h"

namespace {

using namespace flood;

int listeningPort(TMySocket *server)
{
    auto *socket = qobject_cast<TServerSocket *>(server->Socket);
    return socket ? socket->Socket()->LocalPort() : 0;
}

// The window of the server's one connection, brought to the front as a user watching it has it.
TFrmData *onlyWindow(TForm1 &form, TMySocket *server)
{
    if (!runUntil([&] { return server->Node->childCount() == 1; }, 10000))
        return nullptr;
    TMySocket *accepted = NodeInstance(server->Node->child(0));
    form.TreeView1->setCurrentItem(accepted->Node);
    return accepted->DataWindow;
}

// A reader of a FIFO that takes a little and then stops reading, holding the FIFO open.
class TStoppedReader {
public:
    explicit TStoppedReader(const QByteArray &path)
    {
        FFd = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
        FThread = std::thread([this] {
            std::vector<char> room(1024 * 1024);
            for (size_t got = 0; got < room.size() && !FStop;) {
                const ssize_t n = ::read(FFd, room.data(), room.size() - got);
                if (n > 0)
                    got += size_t(n);
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    ~TStoppedReader()
    {
        FStop = true;
        FThread.join();
        ::close(FFd);
    }

private:
    int FFd = -1;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

struct FifoRound {
    double gapMs = 0;
    bool ok = false;
};

FifoRound fifoRound(TForm1 &form, TMySocket *server, TStallProbe &probe, const QString &fifo, QStringList &boxes,
                    bench::TTargets &targets)
{
    constexpr long long Total = 256LL * 1024 * 1024;
    FifoRound r;
    // The connection before has gone with its peer.
    runUntil([&] { return server->Node->childCount() == 0; }, 10000);
    TStreamPeer peer(listeningPort(server), Total);
    TFrmData *w = onlyWindow(form, server);
    if (!w) {
        targets.Fail("the connection was not accepted");
        return r;
    }
    std::unique_ptr<TStoppedReader> reader;
    boxes.clear();
    if (!fifo.isEmpty()) {
        reader = std::make_unique<TStoppedReader>(fifo.toLocal8Bit());
        if (!w->StartCapture(fifo)) {
            targets.Fail("the capture into the FIFO did not start: %s", qPrintable(boxes.join('|')));
            return r;
        }
    }
    probe.Start();
    peer.Go();
    const bool counted = runUntil([&] { return w->RecvCount == Total; }, 120000);
    r.gapMs = probe.Stop();
    runUntil([&] { return fifo.isEmpty() || !boxes.isEmpty(); }, 10000);
    peer.Release();
    peer.Join();
    if (!counted)
        targets.Fail("the window counted %lld of %lld bytes", (long long)w->RecvCount, Total);
    else if (!fifo.isEmpty() && (boxes.size() != 1 || !boxes[0].startsWith(QStringLiteral("接收到文件已停止：写入跟不上接收"))))
        targets.Fail("the capture did not stop alone with its box: %s", qPrintable(boxes.join('|')));
    else
        r.ok = true;
    return r;
}

void runFifo(TForm1 &form, int rounds, QStringList &boxes, bench::TTargets &targets)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    if (::mkfifo(fifo.toLocal8Bit().constData(), 0600) != 0) {
        targets.Fail("mkfifo: %s", std::strerror(errno));
        return;
    }
    TMySocket *server = form.CreateTcpServer(0);
    TStallProbe probe;
    std::vector<double> plain, fifoGaps;
    for (int round = 0; round < rounds; ++round) {
        for (int side = 0; side < 2; ++side) {
            const bool capture = (side == 0) == (round % 2 == 0);
            const FifoRound r = fifoRound(form, server, probe, capture ? fifo : QString(), boxes, targets);
            if (!r.ok)
                continue;
            (capture ? fifoGaps : plain).push_back(r.gapMs);
            std::printf("round %d, %s: worst probe gap %.1f ms\n", round + 1,
                        capture ? "capturing into a FIFO nobody reads" : "no capture", r.gapMs);
        }
    }
    std::printf("256 MiB floods, worst probe gap, median: no capture %.1f ms, capturing into a stopped FIFO %.1f ms\n",
                bench::median(plain), bench::median(fifoGaps));
    targets.AtMost("fifo-gap", "capturing into a FIFO whose reader stopped, worst probe gap, median",
                   bench::median(fifoGaps), 50, "ms");
}

// One peer of the memory flood: its connection's local port once connected, what it sent, and
// what the window counted of it (published by the user interface thread).
struct ChinesePeer {
    std::atomic<int> port{0};
    std::atomic<long long> sent{0};
    std::atomic<long long> counted{0};
};

// Sends total bytes of UTF-8 Chinese text lines to 127.0.0.1:port, a piece the log shows whole at
// a time: every byte ends in a line (a text cut anywhere, its characters often split), as from a
// device that sends as it measures, rather than reads of megabytes of which a line shows 64 KiB.
void sendChinese(int port, long long total, ChinesePeer *peer)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in to = loopbackIn(port);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0) {
        ::close(fd);
        return;
    }
    peer->port = boundPort(fd);
    QByteArray text;
    while (text.size() < 1024 * 1024)
        text += QStringLiteral("温度：25℃，湿度：60%，风速：3米每秒；设备编号：甲乙丙丁。\r\n").toUtf8();
    constexpr long long Piece = 60 * 1024;
    const Clock::time_point start = Clock::now();
    for (long long done = 0; done < total;) {
        const long long n = std::min(Piece, total - done);
        if (::send(fd, text.constData() + done % (text.size() - Piece), size_t(n), MSG_NOSIGNAL) != n)
            break;
        done += n;
        peer->sent = done;
        // The next piece once the window has read this one (at most 10 minutes in all).
        while (peer->counted < done && secondsBetween(start, Clock::now()) < 600)
            std::this_thread::yield();
    }
    // Held open until the receiver has read all: a close could end the read early.
    char byte;
    (void)::recv(fd, &byte, 1, 0);
    ::close(fd);
}

void runMemory(TForm1 &form, long long perConnection, long long budgetMiB, bench::TTargets &targets)
{
    constexpr int Connections = 8;
    TLogBudget &budget = TLogBudget::Instance();
    if (budgetMiB > 0)
        budget.SetBudget(budgetMiB * 1024 * 1024);
    TMySocket *server = form.CreateTcpServer(0);
    const int port = listeningPort(server);
    ChinesePeer peers[Connections];
    std::vector<std::thread> threads;
    // Each window's count, for its peer's thread.
    QTimer publish;
    QObject::connect(&publish, &QTimer::timeout, [&] {
        for (int i = 0; i < server->Node->childCount(); ++i) {
            TMySocket *accepted = NodeInstance(server->Node->child(i));
            for (ChinesePeer &p : peers)
                if (p.port == accepted->RemotePort)
                    p.counted = accepted->DataWindow->RecvCount;
        }
    });
    publish.start(0);
    const double before = rssMiB();
    resetPeakRss();
    const Clock::time_point start = Clock::now();
    for (ChinesePeer &p : peers)
        threads.emplace_back(sendChinese, port, perConnection, &p);
    const bool accepted = runUntil([&] { return server->Node->childCount() == Connections; }, 10000);
    const auto received = [&] {
        long long all = 0;
        for (int i = 0; i < server->Node->childCount(); ++i)
            all += NodeInstance(server->Node->child(i))->DataWindow->RecvCount;
        return all;
    };
    const long long total = perConnection * Connections;
    const bool counted = accepted && runUntil([&] { return received() == total; }, 900000);
    publish.stop();
    const double seconds = secondsBetween(start, Clock::now());
    const double peak = peakRssMiB();
    long long logs = 0;
    for (int i = 0; i < server->Node->childCount(); ++i)
        logs += NodeInstance(server->Node->child(i))->DataWindow->LogBytes();
    // Deleting the server closes its connections, which lets the peers go.
    form.TreeView1->setCurrentItem(server->Node);
    form.Button2Click();
    for (ChinesePeer &p : peers)
        p.counted = perConnection;
    for (std::thread &t : threads)
        t.join();
    if (!counted) {
        targets.Fail("the windows counted %lld of the %lld bytes sent", received(), total);
        return;
    }
    std::printf("%d connections x %.2f GiB of UTF-8 Chinese text, every byte in a line, in %.1f s: resident "
                "before %.0f MiB, peak %.0f MiB; the logs hold %.0f MiB (budget %.0f MiB, each log at most %.0f MiB)\n",
                Connections, perConnection / 1073741824.0, seconds, before, peak, logs / 1048576.0,
                budget.Budget() / 1048576.0, TFrmData::DefaultMaxLogBytes / 1048576.0);
    targets.AtMost("memory-peak", "8 connections of Chinese text, peak resident set",
                   peak, budget.Budget() / 1048576.0 + 200, "MiB");
}

} // namespace

int main(int argc, char **argv)
{
    bench::TTargets targets(argc, argv);
    int rounds = 3;
    bool fifo = false, memory = false;
    long long budgetMiB = 0;
    double gib = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--fifo")
            fifo = true;
        else if (a == "--memory")
            memory = true;
        else if (a == "--budget" && i + 1 < argc)
            budgetMiB = std::atoll(argv[++i]);
        else if (a == "--gib" && i + 1 < argc)
            gib = std::atof(argv[++i]);
        else if (std::atoi(argv[i]) > 0)
            rounds = std::atoi(argv[i]);
    }
    if (!fifo && !memory)
        fifo = true;
    QApplication app(argc, argv);
    QStringList boxes;
    ui::SetMessageSink([&boxes](ui::BoxKind, const QString &text) { boxes << text; });
    TForm1 form;
    form.show();
    if (fifo)
        runFifo(form, rounds, boxes, targets);
    if (memory)
        runMemory(form, (long long)(gib * 1073741824.0), budgetMiB, targets);
    return targets.Finish();
}
