#include "graph/TracePlotter.h"
#include "graph/TrendHistory.h"
#include "ui/PlotArea.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace svglogger {
namespace {

// A full ring as the simulator fills it: slow drift and a little noise around the working
// values of the five quantities.
TrendHistory smoothHistory()
{
    TrendHistory history;
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0.0, 3.0);
    for (int i = 0; i < TrendHistory::kSlots; ++i) {
        const double drift = std::sin(i / 120.0);
        history.store(0, static_cast<std::int32_t>(6600 + 60 * drift + noise(random)));
        history.store(1, static_cast<std::int32_t>(150 + 50 * drift + noise(random)));
        history.store(2, static_cast<std::int32_t>(110 + 30 * drift + noise(random)));
        history.store(3, static_cast<std::int32_t>(100 + 25 * drift + noise(random)));
        history.store(4, static_cast<std::int32_t>(6670 + 60 * drift + noise(random)));
        history.advance();
    }
    return history;
}

// Every sample jumps from beyond the top to beyond the bottom and back.
TrendHistory worstCaseHistory()
{
    TrendHistory history;
    for (int i = 0; i < TrendHistory::kSlots; ++i) {
        const bool high = i % 2 == 0;
        history.store(0, high ? 7400 : 5800);
        history.store(1, high ? 700 : -500);
        history.store(2, high ? -500 : 700);
        history.store(3, high ? 700 : -500);
        history.store(4, high ? 5800 : 7400);
        history.advance();
    }
    return history;
}

void plotInto(benchmark::State &state, const TrendHistory &history)
{
    PlotArea plot;
    plot.drawFrame();
    TracePlotter plotter;
    for (auto _ : state) {
        plotter.plotTraces(history, true, plot);
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(plot.canvas().constBits());
    state.SetItemsProcessed(state.iterations());
}

// One PlotTraces call into the real plot area with a full ring: the frame restored, then
// five traces of 701 points.
void BM_PlotTraces(benchmark::State &state)
{
    plotInto(state, smoothHistory());
}
BENCHMARK(BM_PlotTraces)->Unit(benchmark::kMicrosecond);

void BM_PlotTracesWorstCase(benchmark::State &state)
{
    plotInto(state, worstCaseHistory());
}
BENCHMARK(BM_PlotTracesWorstCase)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace svglogger
