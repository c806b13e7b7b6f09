#include "BenchFakes.h"
#include "PlainSettings.h"
#include "ReceiveHandler.h"
#include "ShiftJisLogFile.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace svglogger {
namespace {

// Decoded version-2 lines through the whole pipeline into a real Shift-JIS file, each row
// handed to the operating system as it is written. One item = one row.
void BM_ContinuousRowsToFile(benchmark::State &state)
{
    QTemporaryDir dir;
    PlainSettings settings;
    bench::NullView view;
    bench::NullGraphView graphView;
    bench::NullRecordingView recordingView;
    bench::FixedClock clock;
    bench::NullPort port;
    PlainTriggerSettings triggerSettings;
    bench::NullRunControl runControl;
    ShiftJisLogFile file;
    ReceiveHandler handler(EngineInterfaces{settings, clock, port, view, graphView, recordingView, triggerSettings, file, runControl});
    handler.recorder().outputPathEdited(dir.path().toStdString() + "/x.csv");
    handler.onComm("Ver2.01\r");
    if (!handler.recorder().logFileOpen()) {
        state.SkipWithError("log file not opened");
        return;
    }

    std::vector<std::string> lines;
    for (int i = 0; i < 64; ++i) {
        lines.push_back("MN R,00" + std::to_string(10 + i % 40) + ",0,0,0,0," + std::to_string(6550 + i) + ",0,"
                        + std::to_string(120 + i) + "," + std::to_string(-45 - i) + "," + std::to_string(38 + i)
                        + ",0,0,0,0," + std::to_string(i % 9) + "," + std::to_string(-(i % 7)) + ","
                        + std::to_string(200 + i) + "," + std::to_string(-150 - i) + "\r");
    }
    std::size_t next = 0;
    const std::int64_t before = handler.recorder().recordCount();
    for (auto _ : state) {
        handler.onComm(lines[next]);
        next = (next + 1) % lines.size();
    }
    const std::int64_t rows = handler.recorder().recordCount() - before;
    if (rows != state.iterations())
        state.SkipWithError("a row was not written");
    state.SetItemsProcessed(rows);
}
BENCHMARK(BM_ContinuousRowsToFile);

} // namespace
} // namespace svglogger
