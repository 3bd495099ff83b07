// Appending to the receive log: 5,000 receive lines into an empty log and into a log of
// 1,000,000 lines, through LogReceived as a real receive goes, each slice of 500 lines handled by
// the event loop and flushed into the log box (layout and paint included). Prints the cost per
// line and the ratio full / empty, and the memory the 1,000,000 lines hold: heap in use (what
// malloc handed out; the line store's blocks are mapped apart and are not in it) and resident
// size, before and after, per line.
// The two logs take turns in slices, the one going first changing every pair, so a busy machine
// weighs on both alike, and the cost is the processor time this program used.
// Targets, each printed with its verdict (the exit status is non-zero when one is missed):
//   log-ratio    a line appended to the full log costs at most 1.3 times one appended to the empty log
//   log-memory   a line of the full log holds at most 64 bytes of resident memory beyond its data
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_log_append [rounds] [--no-verdicts] [--target NAME=LIMIT]

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <malloc.h>

// Qt
#include <QMdiSubWindow>
#include <QApplication>
#include <QMdiArea>

// datawindow
#include "LogView.h"
#include "datapanel.h"
#include "BenchSupport.h"
#include "BenchTargets.h"

namespace {

using bench::median;

constexpr int MeasuredLines = 5000;
// One slice is a batch as a flood makes them: lines through the event loop, then one flush.
constexpr int Slice = 500;
constexpr int FullLog = 1000000;

const QByteArray Block("GET /status HTTP/1.1 Host: 10.0.0.7");

// A data window alone in its own shown document area, as on screen.
struct Log {
    Log()
    {
        area.resize(700, 500);
        area.show();
        window = new TFrmData(&area);
        window->Build()->showMaximized();
    }
    QMdiArea area;
    TFrmData *window;
    double seconds = 0;
};

void appendSlice(Log &log)
{
    const std::clock_t start = std::clock();
    for (int i = 0; i < Slice; ++i) {
        log.window->LogReceived(Block);
        QCoreApplication::processEvents();
    }
    log.window->FlushLog();
    QCoreApplication::processEvents();
    log.seconds += static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

void fill(Log &log, int lines)
{
    for (int i = 0; i < lines; ++i) {
        log.window->LogReceived(Block);
        if (i % 32 == 31)
            QCoreApplication::processEvents();
    }
    log.window->FlushLog();
    QCoreApplication::processEvents();
}

// Bytes the heap has handed out and not got back.
double heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return static_cast<double>(m.uordblks + m.hblkhd);
}

double residentBytes()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) * 1024;
    return 0;
}

double usPerLine(const Log &log) { return log.seconds * 1e6 / MeasuredLines; }

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    bench::TTargets targets(argc, argv);
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    std::vector<double> empty, full, ratio, heapPerLine, rssPerLine;
    for (int r = 0; r < rounds; ++r) {
        auto small = std::make_unique<Log>();
        auto large = std::make_unique<Log>();
        QCoreApplication::processEvents();
        const double heapBefore = heapInUse();
        const double rssBefore = residentBytes();
        fill(*large, FullLog);
        const double heap = (heapInUse() - heapBefore) / FullLog;
        const double rss = (residentBytes() - rssBefore) / FullLog;
        const int before = int(large->window->Memo2->lineCount());
        for (int done = 0; done < MeasuredLines; done += Slice) {
            const bool largeFirst = (done / Slice) % 2 == 1;
            appendSlice(largeFirst ? *large : *small);
            appendSlice(largeFirst ? *small : *large);
        }
        std::printf("round %d: empty log %.1f us/line, log of %d lines %.1f us/line, ratio %.2f; "
                    "%d lines hold %.0f bytes/line of heap, %.0f bytes/line of resident memory\n",
                    r + 1, usPerLine(*small), before, usPerLine(*large), large->seconds / small->seconds, FullLog,
                    heap, rss);
        std::fflush(stdout);
        empty.push_back(usPerLine(*small));
        full.push_back(usPerLine(*large));
        ratio.push_back(large->seconds / small->seconds);
        heapPerLine.push_back(heap);
        // Later rounds reuse memory the first one got from the system.
        if (r == 0)
            rssPerLine.push_back(rss);
    }
    std::printf("median of %d rounds: empty log %.1f us/line, full log %.1f us/line, ratio full/empty %.2f; "
                "memory per line: heap %.0f bytes, resident %.0f bytes (first round); line of %d bytes of data\n",
                rounds, median(empty), median(full), median(ratio), median(heapPerLine), rssPerLine.front(),
                int(Block.size()));
    targets.AtMost("log-ratio", "time per line appended, log of 1,000,000 lines / empty log, median", median(ratio),
                   1.3);
    // The first round's: later rounds reuse memory the first one got from the system.
    targets.AtMost("log-memory", "resident memory per line beyond its data, first round",
                   rssPerLine.front() - Block.size(), 64, "bytes");
    return targets.Finish();
}
