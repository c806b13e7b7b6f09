#include "metrics/MetricFamilies.h"
#include "metrics/MetricsEndpoint.h"
#include "metrics/RunMetrics.h"
#include "support/HttpGet.h"
#include "support/RunRig.h"

#include <prometheus/text_serializer.h>

#include <benchmark/benchmark.h>

namespace svglogger {
namespace {

using namespace std::chrono_literals;

// A run's metrics with a fresh version-2 sample, an MQTT broker configured and every
// histogram bucket used: the largest exposition a box serves.
struct FullMetrics {
    test::RunRig rig;
    RunMetrics metrics{{"1.0.0", "", SamplingMode::Continuous, 1.8e9, 6600, true, 5000ms}, rig.run};
    FullMetrics()
    {
        metrics.setMqtt({true, 10, 0, 0});
        metrics.setDiskFree(50'000'000'000);
        LineRecord record;
        record.layout = {SamplingMode::Continuous, ControllerVersion::Version2};
        const float values[10] = {6601, 149.3f, 114.1f, 102.5f, 18, 0.4f, 3.7f, 2.0f, 6712, 0x13};
        for (int i = 0; i < 1000; ++i) {
            for (std::size_t q = 0; q < MeasurementSample::FieldCount; ++q)
                record.sample[q] = values[q];
            record.sample[MeasurementSample::GridVoltage] = 5800.0f + static_cast<float>(i % 1600);
            record.epochMilliseconds = 1'800'000'000'000 + 200 * i;
            metrics.lineRecorded(record);
        }
    }
};

// What one sample costs the receive path with the endpoint on: the copy under the lock, the
// energy and the histogram.
void BM_MetricsLineRecorded(benchmark::State &state)
{
    FullMetrics full;
    LineRecord record;
    record.layout = {SamplingMode::Continuous, ControllerVersion::Version2};
    record.sample[MeasurementSample::GridVoltage] = 6601;
    record.sample[MeasurementSample::LoadActivePower] = 149.3f;
    for (auto _ : state) {
        record.epochMilliseconds += 200;
        full.metrics.lineRecorded(record);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MetricsLineRecorded);

// One scrape's own work: the snapshot, the families and Prometheus' text format.
void BM_ScrapeText(benchmark::State &state)
{
    FullMetrics full;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text =
            prometheus::TextSerializer().Serialize(metricFamilies(full.metrics.snapshot(), std::chrono::steady_clock::now()));
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ScrapeText)->Unit(benchmark::kMicrosecond);

// A whole scrape over loopback HTTP, as Prometheus makes it: the wall time of a GET that
// the endpoint's threads serve (their CPU is not this thread's).
void BM_ScrapeOverHttp(benchmark::State &state)
{
    FullMetrics full;
    MetricsEndpoint endpoint([&] { return metricFamilies(full.metrics.snapshot(), std::chrono::steady_clock::now()); });
    MetricsEndpoint::Config config;
    config.listen = "127.0.0.1:0";
    if (const std::string error = endpoint.start(config); !error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        const test::HttpReply reply = test::httpGet(endpoint.port(), "/metrics");
        if (reply.code != 200) {
            state.SkipWithError("the scrape failed");
            break;
        }
    }
}
BENCHMARK(BM_ScrapeOverHttp)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
} // namespace svglogger
