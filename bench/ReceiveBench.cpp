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
    bench::receiveVersion2Stream(state, engine);
    benchmark::DoNotOptimize(engine.handler.decoder().sample());
}
BENCHMARK(BM_ReceiveVersion2Lines);

} // namespace
} // namespace svglogger
