#include "LogBudget.h"

#include <algorithm>

// platform
#include "ProcessLimits.h"

#include "LogStore.h"
#include "datapanel.h"

int64_t TLogBudget::DefaultBudget()
{
    constexpr int64_t Most = int64_t(2) * 1024 * 1024 * 1024;
    const int64_t machine = MachineMemory();
    return machine > 0 ? std::min(Most, machine / 4) : Most;
}

TLogBudget &TLogBudget::Instance()
{
    static TLogBudget budget;
    return budget;
}

TLogBudget::TLogBudget() : FBudget(DefaultBudget()) {}

void TLogBudget::SetBudget(int64_t bytes)
{
    FBudget = bytes;
    Shed();
}

void TLogBudget::Changed(TFrmData *log, int64_t bytes)
{
    int64_t &held = FLogs[log];
    FTotal += bytes - held;
    held = bytes;
    if (FTotal > FBudget)
        Shed();
}

void TLogBudget::Remove(TFrmData *log)
{
    const auto it = FLogs.find(log);
    if (it == FLogs.end())
        return;
    FTotal -= it->second;
    FLogs.erase(it);
}

void TLogBudget::Shed()
{
    // A log that sheds tells its new size through Changed, which comes back here.
    if (FShedding || FTotal <= FBudget)
        return;
    FShedding = true;
    const int64_t goal = FBudget - FBudget / TLogStore::TrimSlices;
    // Each round takes the largest log down to the second largest, or by what is over, whichever
    // is less, so that the largest give first and alike; a log that cannot shed more ends it.
    while (FTotal > goal) {
        TFrmData *largest = nullptr;
        int64_t first = 0, second = 0;
        for (const auto &[log, bytes] : FLogs) {
            if (bytes > first) {
                second = first;
                first = bytes;
                largest = log;
            } else if (bytes > second) {
                second = bytes;
            }
        }
        if (!largest)
            break;
        const int64_t over = FTotal - goal;
        const int64_t cut = std::max(std::min(over, first - second), std::min(over, first / TLogStore::TrimSlices));
        const int64_t before = FLogs[largest];
        largest->ShedLogTo(first - cut);
        if (FLogs[largest] >= before)
            break;
    }
    FShedding = false;
}
