// hillcar-bench: runs the benchmarks, then prints each measured cost beside
// its floor as a ratio.
#include "gl_window.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

// Mean real and CPU time per iteration, in microseconds, of every benchmark
// that ran without error, keyed by name and arguments ("BM_ShadePass/smooth:1").
// The CPU time is this thread's only: a GL driver's worker threads are not in it.
struct Times {
    double realUs;
    double cpuUs;
};
std::map<std::string, Times> timesUs;

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            std::string key = run.run_name.function_name;
            if (!run.run_name.args.empty()) key += "/" + run.run_name.args;
            const double toUs = 1e6 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            const double realUs = run.GetAdjustedRealTime() * toUs;
            const double cpuUs = run.GetAdjustedCPUTime() * toUs;
            if (run.run_type == Run::RT_Aggregate) {
                // With repetitions the mean of them is the figure.
                if (run.aggregate_name == "mean") {
                    timesUs[key] = Times{realUs, cpuUs};
                    haveMean[key] = true;
                }
            } else if (run.iterations > 0 && !haveMean[key]) {
                Sum& s = sums[key];
                s.real += realUs * (double)run.iterations;
                s.cpu += cpuUs * (double)run.iterations;
                s.iterations += (double)run.iterations;
                timesUs[key] = Times{s.real / s.iterations, s.cpu / s.iterations};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    struct Sum {
        double real = 0;
        double cpu = 0;
        double iterations = 0;
    };
    std::map<std::string, Sum> sums;
    std::map<std::string, bool> haveMean;
};

void printRatio(const char* what, const char* measured, const char* floor)
{
    auto m = timesUs.find(measured);
    auto f = timesUs.find(floor);
    if (m == timesUs.end() || f == timesUs.end() || f->second.realUs <= 0 ||
        f->second.cpuUs <= 0) {
        printf("  %-42s (not measured in this run)\n", what);
        return;
    }
    const Times& a = m->second;
    const Times& b = f->second;
    // Small ratios get more digits, so that they read as more than zero.
    const char* format = a.realUs / b.realUs < 0.01
                             ? "  %-42s %9.2f / %9.1f = %6.4f   %9.2f / %9.1f = %6.4f\n"
                             : "  %-42s %9.1f / %9.1f = %6.2f   %9.1f / %9.1f = %6.2f\n";
    printf(format, what, a.realUs, b.realUs, a.realUs / b.realUs, a.cpuUs, b.cpuUs,
           a.cpuUs / b.cpuUs);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    printf("\nRatios, measured / floor, per iteration in microseconds:\n");
    printf("  %-42s %29s   %29s\n", "", "real time", "CPU time (this thread)");
    printRatio("shading pass / floor", "BM_ShadePass/smooth:0", "BM_ShadeFloor");
    printRatio("shading pass with smoothing / floor", "BM_ShadePass/smooth:1", "BM_ShadeFloor");
    printRatio("counting-sink frame / played-back frame", "BM_FrameCounting/keys:0",
               "BM_GLPlayback");
    printRatio("real frame / played-back frame", "BM_GLFrame", "BM_GLPlayback");
    printRatio("recorder per frame / counting-sink frame", "BM_RecordFrame",
               "BM_FrameCounting/keys:0");
    printRatio("played-back frame / clear-only frame", "BM_GLPlayback", "BM_GLClearOnly");
    printRatio("real frame / clear-only frame", "BM_GLFrame", "BM_GLClearOnly");

    benchWindowClose();
    benchmark::Shutdown();
    return 0;
}
