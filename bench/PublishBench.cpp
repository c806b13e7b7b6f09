#include "headless/Journal.h"
#include "headless/MqttPublisher.h"

#include <benchmark/benchmark.h>

#include <sstream>

namespace svglogger {
namespace {

// One decoded version-2 sample into the publisher: its JSON (time with the local offset, the
// CSV row's numbers) and its place in the bounded queue, which is full and drops its oldest,
// as while a broker is away. No network: that runs on its own thread.
void BM_PublishSample(benchmark::State &state)
{
    std::ostringstream out;
    Journal journal(out, true);
    MqttPublisher publisher(MqttConfig{"127.0.0.1", 1883, false, {}, "svg-logger/bench", {}, {}, 18000, "bench"},
                            journal);
    MeasurementSample sample;
    const float values[10] = {6601, 149.3f, 114.1f, 102.5f, 18, 0.4f, 3.7f, 2.0f, 6712, 0};
    for (std::size_t q = 0; q < MeasurementSample::FieldCount; ++q)
        sample[q] = values[q];
    LocalDateTime time{2026, 12, 7, 11, 51, 17};
    for (auto _ : state) {
        publisher.lineRecorded(time, sample, 2);
        sample[MeasurementSample::GridVoltage] += 1; // the next sample, as a stream brings it
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["queued"] = static_cast<double>(publisher.queued());
}
BENCHMARK(BM_PublishSample)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace svglogger
