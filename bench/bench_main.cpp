// hillcar-bench: runs the benchmarks, then prints each measured cost beside
// its floor as a ratio.
#include "gl_window.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

// Mean real time per iteration, in microseconds, of every benchmark that ran
// without error, keyed by name and arguments ("BM_ShadePass/smooth:1").
std::map<std::string, double> timesUs;

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration || run.iterations == 0)
                continue;
            std::string key = run.run_name.function_name;
            if (!run.run_name.args.empty()) key += "/" + run.run_name.args;
            Sum& s = sums[key];
            s.seconds += run.real_accumulated_time;
            s.iterations += (double)run.iterations;
            timesUs[key] = s.seconds / s.iterations * 1e6;
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    struct Sum {
        double seconds = 0;
        double iterations = 0;
    };
    std::map<std::string, Sum> sums;
};

void printRatio(const char* what, const char* measured, const char* floor)
{
    auto m = timesUs.find(measured);
    auto f = timesUs.find(floor);
    if (m == timesUs.end() || f == timesUs.end() || f->second <= 0) {
        printf("  %-44s  (not measured in this run)\n", what);
        return;
    }
    printf("  %-44s %9.1f us / %9.1f us = %7.2f\n", what, m->second, f->second,
           m->second / f->second);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    printf("\nRatios (real time per iteration, measured / floor):\n");
    printRatio("shading pass / floor", "BM_ShadePass/smooth:0", "BM_ShadeFloor");
    printRatio("shading pass with smoothing / floor", "BM_ShadePass/smooth:1", "BM_ShadeFloor");
    printRatio("counting-sink frame / played-back frame", "BM_FrameCounting/keys:0",
               "BM_GLPlayback");
    printRatio("real frame / played-back frame", "BM_GLFrame", "BM_GLPlayback");
    printRatio("played-back frame / clear-only frame", "BM_GLPlayback", "BM_GLClearOnly");
    printRatio("real frame / clear-only frame", "BM_GLFrame", "BM_GLClearOnly");

    benchWindowClose();
    benchmark::Shutdown();
    return 0;
}
