#include "BenchEngine.h"
#include "ui/MainWindow.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace svglogger {
namespace {

// One decoded version-2 line through everything the window does per sample: decoding, the
// readout labels, the row into a real log file. Reported as time per sample.
void BM_WindowSample(benchmark::State &state)
{
    QTemporaryDir dir;
    MainWindow window;
    window.run().setLogFolder(dir.path().toStdString() + "/");
    window.run().received("Ver2.01\r");
    const std::vector<std::string> lines = bench::version2Lines();
    std::size_t next = 0;
    for (auto _ : state) {
        window.run().received(lines[next]);
        next = (next + 1) % lines.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WindowSample)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace svglogger
