#pragma once
// The verdicts of a benchmark: every target it prints says "met" or "MISSED", a run that went
// wrong (a short transfer, a lost datagram) says why, and the exit status is non-zero when any
// target was missed or the run went wrong. Options every benchmark takes:
//   --no-verdicts          print the figures and the targets, no verdicts; a missed target does
//                          not fail the process (a run that went wrong still does)
//   --target NAME=LIMIT    judge the target NAME against LIMIT instead (repeatable)

#include <map>
#include <set>
#include <string>

namespace bench {

class TTargets {
public:
    // Takes the options above out of argc/argv; call before anything else reads them.
    TTargets(int &argc, char **argv);

    // Prints "target NAME: WHAT VALUE UNIT, at most LIMIT UNIT: met" (or MISSED); true if met.
    bool AtMost(const std::string &name, const std::string &what, double value, double limit,
                const std::string &unit = std::string());
    bool AtLeast(const std::string &name, const std::string &what, double value, double limit,
                 const std::string &unit = std::string());

    // The run went wrong: prints "FAILED: " and the reason. The figure it spoiled must not be used.
    void Fail(const char *format, ...) __attribute__((format(printf, 2, 3)));
    bool Failed() const { return FFailures > 0; }

    // Prints the closing line and gives the exit status for main.
    int Finish();

private:
    bool Judge(const std::string &name, const std::string &what, double value, bool atMost, double limit,
               const std::string &unit);

    bool FVerdicts = true;
    std::map<std::string, double> FLimits; // from --target
    std::set<std::string> FJudged;
    int FMet = 0;
    int FMissed = 0;
    int FFailures = 0;
    bool FBadOption = false;
};

} // namespace bench
