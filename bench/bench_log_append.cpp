// Appending to the receive log: 1,000 receive lines into an empty log and into a log of
// 100,000 lines, each line handled by the event loop as a real receive would be (layout and
// paint included). Prints the cost per line and the ratio full / empty; it should stay near 1.
// The two logs take turns in slices of 50 lines, so a busy machine weighs on both alike, and
// the cost is the processor time this program used.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_log_append [rounds]

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

// Qt
#include <QApplication>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QStringList>

// datawindow
#include "datapanel.h"

namespace {

constexpr int MeasuredLines = 1000;
constexpr int Slice = 50;
constexpr int FullLog = 100000;

const QByteArray Block("GET /status HTTP/1.1 Host: 10.0.0.7");

// A data window alone in its own shown document area, as on screen.
struct Log {
    Log()
    {
        area.resize(700, 500);
        area.show();
        window = new TFrmData(&area);
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
    log.seconds += static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

void fill(Log &log, int lines)
{
    const QString line = QStringLiteral("12:00:00 收到数据：") + QString::fromLatin1(Block);
    const QString chunk = QStringList(1000, line).join(QLatin1Char('\n'));
    for (int i = 0; i < lines / 1000; ++i)
        log.window->Memo2->appendPlainText(chunk);
    QCoreApplication::processEvents();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double usPerLine(const Log &log) { return log.seconds * 1e6 / MeasuredLines; }

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    std::vector<double> empty, full, ratio;
    for (int r = 0; r < rounds; ++r) {
        auto small = std::make_unique<Log>();
        auto large = std::make_unique<Log>();
        fill(*large, FullLog);
        const int before = large->window->Memo2->document()->blockCount();
        for (int done = 0; done < MeasuredLines; done += Slice) {
            appendSlice(*small);
            appendSlice(*large);
        }
        std::printf("round %d: empty log %.1f us/line, log of %d lines %.1f us/line, ratio %.2f\n", r + 1,
                    usPerLine(*small), before, usPerLine(*large), large->seconds / small->seconds);
        empty.push_back(usPerLine(*small));
        full.push_back(usPerLine(*large));
        ratio.push_back(large->seconds / small->seconds);
    }
    std::printf("median of %d rounds: empty log %.1f us/line, full log %.1f us/line, ratio full/empty %.2f\n", rounds,
                median(empty), median(full), median(ratio));
    return 0;
}
