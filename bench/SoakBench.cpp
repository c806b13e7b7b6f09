#include "soak/DaySoak.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace svglogger {
namespace {

// The 24-hour continuous soak: 432,000 lines through the engine into checked files. Reports
// the time of a day and the process's peak resident memory.
void BM_SoakDay(benchmark::State &state)
{
    test::DaySoak::Result result;
    for (auto _ : state)
        result = test::DaySoak::run(test::DaySoak::Mode::Continuous);
    if (!result.problem.empty() || result.rows != result.lines)
        state.SkipWithError("the soak lost or broke rows");
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["heap_growth_KiB"] =
        (static_cast<double>(result.heapAtEnd) - static_cast<double>(result.heapAfterFirstHour)) / 1024.0;
    state.SetItemsProcessed(state.iterations() * result.lines);
}
BENCHMARK(BM_SoakDay)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace svglogger
