#include "BenchTargets.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

namespace {

// Enough digits to read a figure, not so many that it looks more exact than it is.
std::string figure(double v)
{
    if (std::isnan(v))
        return "nan";
    char text[64];
    const double a = std::fabs(v);
    std::snprintf(text, sizeof text, a >= 100 ? "%.0f" : a >= 10 ? "%.1f" : a >= 1 ? "%.2f" : "%.3g", v);
    return text;
}

std::string withUnit(const std::string &number, const std::string &unit)
{
    if (number == "nan")
        return "(no figure: no round went right)";
    return unit.empty() ? number : number + (unit == "%" ? "" : " ") + unit;
}

} // namespace

TTargets::TTargets(int &argc, char **argv)
{
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--no-verdicts") == 0) {
            FVerdicts = false;
        } else if (std::strcmp(arg, "--target") == 0 || std::strncmp(arg, "--target=", 9) == 0) {
            const char *setting = arg[8] == '=' ? arg + 9 : i + 1 < argc ? argv[++i] : "";
            const char *equals = std::strchr(setting, '=');
            char *end = nullptr;
            const double limit = equals ? std::strtod(equals + 1, &end) : 0;
            if (!equals || equals == setting || end == equals + 1 || *end != '\0') {
                std::fprintf(stderr, "--target wants NAME=LIMIT, got \"%s\"\n", setting);
                FBadOption = true;
                continue;
            }
            FLimits[std::string(setting, equals)] = limit;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[argc] = nullptr;
}

bool TTargets::AtMost(const std::string &name, const std::string &what, double value, double limit,
                      const std::string &unit)
{
    return Judge(name, what, value, true, limit, unit);
}

bool TTargets::AtLeast(const std::string &name, const std::string &what, double value, double limit,
                       const std::string &unit)
{
    return Judge(name, what, value, false, limit, unit);
}

bool TTargets::Judge(const std::string &name, const std::string &what, double value, bool atMost, double limit,
                     const std::string &unit)
{
    const auto given = FLimits.find(name);
    if (given != FLimits.end())
        limit = given->second;
    FJudged.insert(name);
    // A figure that is not a number (nothing measured) meets nothing.
    const bool met = !std::isnan(value) && (atMost ? value <= limit : value >= limit);
    char limitText[64];
    std::snprintf(limitText, sizeof limitText, "%g", limit);
    std::printf("target %s: %s %s, target %s %s%s%s\n", name.c_str(), what.c_str(), withUnit(figure(value), unit).c_str(),
                atMost ? "<=" : ">=", withUnit(limitText, unit).c_str(), FVerdicts ? ": " : "",
                FVerdicts ? (met ? "met" : "MISSED") : "");
    std::fflush(stdout);
    if (met)
        ++FMet;
    else
        ++FMissed;
    return met;
}

void TTargets::Fail(const char *format, ...)
{
    ++FFailures;
    std::printf("FAILED: ");
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
    std::fflush(stdout);
}

int TTargets::Finish()
{
    bool badOption = FBadOption;
    for (const auto &limit : FLimits)
        if (!FJudged.count(limit.first)) {
            std::fprintf(stderr, "--target: this run judged no target named \"%s\"\n", limit.first.c_str());
            badOption = true;
        }
    const int judged = FMet + FMissed;
    if (judged == 0)
        std::printf("verdict: no targets in this run; %s\n", FFailures ? "the run FAILED (see above)" : "nothing failed");
    else if (FVerdicts)
        std::printf("verdict: %d of %d target%s met%s%s\n", FMet, judged, judged == 1 ? "" : "s",
                    FMissed ? ", some MISSED" : "", FFailures ? "; the run FAILED (see above)" : "");
    else
        std::printf("verdict: none given (--no-verdicts), %d target%s printed%s\n", judged, judged == 1 ? "" : "s",
                    FFailures ? "; the run FAILED (see above)" : "");
    std::fflush(stdout);
    if (badOption)
        return 2;
    return FFailures || (FVerdicts && FMissed) ? 1 : 0;
}

} // namespace bench
