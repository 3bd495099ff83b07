#pragma once
// One budget of memory for the receive logs of all data windows together. Each log is bounded on
// its own (TFrmData's log bounds), but a server with many flooding connections has many logs: past
// the budget, the largest logs give up their oldest lines (each says in its first line how many
// went, as a log past its own bound does) until all of them fit again, less a slice, so that this
// comes seldom.

#include <cstdint>
#include <unordered_map>

class TFrmData;

class TLogBudget {
public:
    // A quarter of the machine's memory, at most 2 GiB.
    static int64_t DefaultBudget();
    static TLogBudget &Instance();

    int64_t Budget() const { return FBudget; }
    void SetBudget(int64_t bytes);
    // What all logs hold together, as last told.
    int64_t Total() const { return FTotal; }

    // A log tells what it holds now after every change (0 as it goes).
    void Changed(TFrmData *log, int64_t bytes);
    void Remove(TFrmData *log);

private:
    TLogBudget();
    void Shed();

    int64_t FBudget;
    int64_t FTotal = 0;
    std::unordered_map<TFrmData *, int64_t> FLogs;
    bool FShedding = false;
};
