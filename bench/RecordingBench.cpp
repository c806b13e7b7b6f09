#include "BenchEngine.h"
#include "platform/ShiftJisLogFile.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace svglogger {
namespace {

// Decoded version-2 lines through the whole pipeline into a real Shift-JIS file, each row
// handed to the operating system as it is written and brought to the disk at most every
// /N seconds (10, the default; 0 after every row). One item = one row.
void BM_ContinuousRowsToFile(benchmark::State &state)
{
    QTemporaryDir dir;
    ShiftJisLogFile file;
    file.setSyncSeconds(static_cast<int>(state.range(0)));
    bench::BenchEngine engine(file);
    LogRecorder &recorder = engine.handler.recorder();
    recorder.outputPathEdited(dir.path().toStdString() + "/x.csv");
    engine.handler.receiveBytes("Ver2.01\r");
    if (!recorder.logFileOpen()) {
        state.SkipWithError("log file not opened");
        return;
    }
    const std::vector<std::string> lines = bench::version2Lines();
    std::size_t next = 0;
    const std::int64_t before = recorder.recordCount();
    for (auto _ : state) {
        engine.handler.receiveBytes(lines[next]);
        next = (next + 1) % lines.size();
    }
    const std::int64_t rows = recorder.recordCount() - before;
    if (rows != state.iterations())
        state.SkipWithError("a row was not written");
    state.SetItemsProcessed(rows);
}
BENCHMARK(BM_ContinuousRowsToFile)->Arg(10)->Arg(0);

} // namespace
} // namespace svglogger
