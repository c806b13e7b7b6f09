#include "PlainSettings.h"
#include "ReceiveHandler.h"
#include "BenchFakes.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace svglogger {
namespace {

// Version-2 measurement lines as the controller streams them, one per receive event, through
// the whole receive procedure: framing, decoding, trend history, view hand-offs and the
// continuous row handed to a log file that keeps nothing.
void BM_ReceiveVersion2Lines(benchmark::State &state)
{
    PlainSettings settings;
    bench::NullView view;
    bench::NullGraphView graphView;
    bench::NullRecordingView recordingView;
    bench::FixedClock clock;
    bench::NullPort port;
    PlainTriggerSettings triggerSettings;
    bench::NullRunControl runControl;
    bench::NullLogFile logFile;
    ReceiveHandler handler(EngineInterfaces{settings, clock, port, view, graphView, recordingView, triggerSettings, logFile, runControl});
    handler.onComm("Ver2.01\r");

    std::vector<std::string> lines;
    for (int i = 0; i < 64; ++i) {
        lines.push_back("MN R,00" + std::to_string(10 + i % 40) + ",0,0,0,0," + std::to_string(6550 + i) + ",0,"
                        + std::to_string(120 + i) + "," + std::to_string(-45 - i) + "," + std::to_string(38 + i)
                        + ",0,0,0,0," + std::to_string(i % 9) + "," + std::to_string(-(i % 7)) + ","
                        + std::to_string(200 + i) + "," + std::to_string(-150 - i) + "\r");
    }
    std::size_t next = 0;
    for (auto _ : state) {
        handler.onComm(lines[next]);
        next = (next + 1) % lines.size();
    }
    benchmark::DoNotOptimize(handler.decoder().sample());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReceiveVersion2Lines);

} // namespace
} // namespace svglogger
