// The seeded lifecycle soak (see soak/Soak.h for what it does and checks):
//   VELMORA_SOAK_SEED=<seed>         the sequence (printed at the start of every run)
//   VELMORA_SOAK_SECONDS=<s>         how long to run (default 40)
//   VELMORA_SOAK_ONLY=3,17,40        only these steps of the sequence
// scripts/soak.sh runs it longer under the sanitizers.

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <random>
#include <set>

// Qt
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>

#include "PrivateNetwork.h"
#include "soak/Soak.h"

using namespace testing_support;

namespace {

uint64_t SeedOfThisRun()
{
    bool ok = false;
    const uint64_t given = qEnvironmentVariable("VELMORA_SOAK_SEED").toULongLong(&ok);
    return ok ? given : std::random_device{}() * 0x100000001ull + uint64_t(QDateTime::currentMSecsSinceEpoch());
}

// Runs the sequence of a seed: for the given time, or only the listed steps.
void RunSoak(uint64_t seed, double seconds, const std::set<int> &only = {})
{
    const bool groups = InPrivateNetwork() && RouteMulticastToLoopback();
    std::printf("soak seed %llu%s; replay: VELMORA_SOAK_SEED=%llu\n", (unsigned long long)seed,
                groups ? ", group members on" : "", (unsigned long long)seed);
    std::fflush(stdout);
    soak::Soak soak(seed, groups);
    std::mt19937_64 lengths(seed ^ 0x5eed);
    QElapsedTimer clock;
    clock.start();
    int step = 0, steps = 0;
    QString failure;
    const int last = only.empty() ? INT_MAX : *only.rbegin();
    while (step <= last && (only.empty() ? clock.elapsed() < seconds * 1000 : true)) {
        // A sequence of 20 to 120 steps, then the window goes.
        const int length = int(lengths() % 100) + 20;
        for (int i = 0; i < length && step <= last; ++i, ++step) {
            const bool run = only.empty() || only.count(step);
            steps += run;
            ASSERT_TRUE(soak.Step(step, run, &failure))
                << "step " << step << ": " << failure.toStdString() << "\nseed " << seed;
        }
        ASSERT_TRUE(soak.EndSequence(&failure)) << failure.toStdString() << "\nseed " << seed;
    }
    std::printf("soak seed %llu: %d steps ran clean in %.0f s; the longest a step waited to settle: %.0f ms\n",
                (unsigned long long)seed, steps, clock.elapsed() / 1000.0, soak.LongestSettle());
}

bool NamespacesHere()
{
    static const bool here = [] {
        QProcess probe;
        probe.start(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("true")});
        return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
    }();
    return here;
}

} // namespace

TEST(Soak, ASeededRandomLifecycleKeepsEveryInvariant)
{
    const double seconds = qEnvironmentVariableIsSet("VELMORA_SOAK_SECONDS")
                               ? qEnvironmentVariable("VELMORA_SOAK_SECONDS").toDouble()
                               : 40;
    std::set<int> only;
    for (const QString &s : qEnvironmentVariable("VELMORA_SOAK_ONLY").split(QLatin1Char(','), Qt::SkipEmptyParts))
        only.insert(s.toInt());
    // In a network of its own, where group members can join too.
    if (!InPrivateNetwork() && NamespacesHere()) {
        const PrivateNetworkRun run = RunCurrentTestInPrivateNetwork(int(seconds * 1000) + 120000);
        const QStringList lines = run.output.split(QLatin1Char('\n'));
        for (const QString &line : lines)
            if (line.startsWith(QLatin1String("soak seed")))
                std::printf("%s\n", qPrintable(line));
        // The steps that led to a failure, and the failure.
        EXPECT_TRUE(run.passed) << lines.mid(std::max(0, int(lines.size()) - 80)).join(QLatin1Char('\n')).toStdString();
        return;
    }
    RunSoak(SeedOfThisRun(), seconds, only);
}
