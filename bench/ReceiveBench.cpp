#include "BenchEngine.h"

#include <benchmark/benchmark.h>

namespace svglogger {
namespace {

// Version-2 measurement lines as the controller streams them, one per receive event, through
// the whole receive procedure: framing, decoding, trend history, view hand-offs and the
// continuous row handed to a log file that keeps nothing.
void BM_ReceiveVersion2Lines(benchmark::State &state)
{
    test::NullLogFile file;
    bench::BenchEngine engine(file);
    engine.handler.onComm("Ver2.01\r");
    const std::vector<std::string> lines = bench::version2Lines();
    std::size_t next = 0;
    for (auto _ : state) {
        engine.handler.onComm(lines[next]);
        next = (next + 1) % lines.size();
    }
    benchmark::DoNotOptimize(engine.handler.decoder().sample());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReceiveVersion2Lines);

} // namespace
} // namespace svglogger
