#pragma once

#include "common/Settings.h"
#include "pipeline/NoDisplay.h"
#include "pipeline/ReceiveHandler.h"
#include "recording/LogFileWriter.h"
#include "recording/TriggerSettings.h"
#include "support/NullViews.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace svglogger::bench {

// The engine behind one receive handler with views that show nothing and the given log file.
// The graph is switched off (Check2 clear): its per-sample cost is BM_PlotTraces's.
struct BenchEngine {
    Settings settings;
    TriggerSettings triggerSettings;
    NoDisplay display;
    NoDisplay recordingView;
    test::FixedClock clock;
    test::NullPort port;
    test::NullRunControl runControl;
    ReceiveHandler handler;

    explicit BenchEngine(LogFileWriter &file)
        : handler(EngineInterfaces{settings, clock, port, display, display, recordingView, triggerSettings, file,
                                   runControl})
    {
        settings.graph = false;
    }
};

// 64 version-2 measurement lines with moving values, each ended by CR.
inline std::vector<std::string> version2Lines()
{
    std::vector<std::string> lines;
    for (int i = 0; i < 64; ++i) {
        lines.push_back("MN R,00" + std::to_string(10 + i % 40) + ",0,0,0,0," + std::to_string(6550 + i) + ",0,"
                        + std::to_string(120 + i) + "," + std::to_string(-45 - i) + "," + std::to_string(38 + i)
                        + ",0,0,0,0," + std::to_string(i % 9) + "," + std::to_string(-(i % 7)) + ","
                        + std::to_string(200 + i) + "," + std::to_string(-150 - i) + "\r");
    }
    return lines;
}

// A version-2 controller's stream, one line per receive event, for as long as the benchmark
// runs; each iteration one line.
inline void receiveVersion2Stream(benchmark::State &state, BenchEngine &engine)
{
    engine.handler.receiveBytes("Ver2.01\r");
    const std::vector<std::string> lines = version2Lines();
    std::size_t next = 0;
    for (auto _ : state) {
        engine.handler.receiveBytes(lines[next]);
        next = (next + 1) % lines.size();
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace svglogger::bench
