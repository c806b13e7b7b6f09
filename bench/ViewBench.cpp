#include "reading/MappedFile.h"
#include "reading/RecordReader.h"
#include "reading/RecordSet.h"
#include "reading/TraceColumns.h"
#include "reading/ViewWindow.h"
#include "recording/CsvLayout.h"
#include "recording/DateSerial.h"
#include "recording/LogFileName.h"
#include "recording/ShiftJisText.h"
#include "tools/RecordedDay.h"
#include "viewer/PlotPainter.h"
#include "viewer/ReportBlocks.h"
#include "viewer/ReportHtml.h"
#include "viewer/ReportPdf.h"
#include "viewer/ViewerWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>

namespace svglogger {
namespace {

// A day (24 hourly files, 432,000 rows) and a week (seven such days) of the simulator's
// stream as the logger records it, written once per run of the benchmarks.
const std::string &dayFolder()
{
    static QTemporaryDir dir;
    static const std::string folder = [] {
        const std::string f = dir.path().toStdString() + "/day";
        RecordedDay day;
        day.folder = f;
        day.eventEverySeconds = 900;
        day.write();
        return f;
    }();
    return folder;
}

const std::vector<std::string> &weekFolders()
{
    static QTemporaryDir dir;
    static const std::vector<std::string> folders = [] {
        std::vector<std::string> f;
        for (int d = 1; d <= 7; ++d) {
            RecordedDay day;
            day.folder = dir.path().toStdString() + "/" + std::to_string(d);
            day.day = d;
            day.seed = static_cast<unsigned>(d);
            day.write();
            f.push_back(day.folder);
        }
        return f;
    }();
    return folders;
}

std::int64_t bytesIn(const std::vector<std::string> &files)
{
    std::int64_t bytes = 0;
    for (const std::string &f : files)
        bytes += static_cast<std::int64_t>(std::filesystem::file_size(f));
    return bytes;
}

// Parsing one core's share: one hourly file (18,000 rows) from memory, as bytes per second.
void BM_ParseHourFile(benchmark::State &state)
{
    const std::string path = RecordSet::logFilesIn(dayFolder()).front();
    const MappedFile file(path);
    for (auto _ : state) {
        RecordFile read = readRecord(path, file.bytes());
        benchmark::DoNotOptimize(read.table.rows());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(file.bytes().size()));
}
BENCHMARK(BM_ParseHourFile)->Unit(benchmark::kMillisecond);

// A whole day and a whole week, files read by one worker per core; memory per value.
void BM_LoadDay(benchmark::State &state)
{
    const std::vector<std::string> files = RecordSet::logFilesIn(dayFolder());
    std::size_t values = 0, bytes = 0;
    for (auto _ : state) {
        const RecordSet set = RecordSet::load({dayFolder()});
        values = set.table().rows() * set.columns().size();
        bytes = set.table().rows() * sizeof(double);
        for (int slot : set.columns())
            bytes += set.table().column(slot).size() * sizeof(float); // room reserved beyond is never touched
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytesIn(files));
    state.counters["bytes_per_value"] = static_cast<double>(bytes) / static_cast<double>(values);
}
BENCHMARK(BM_LoadDay)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadWeek(benchmark::State &state)
{
    std::vector<std::string> files;
    for (const std::string &f : weekFolders())
        for (const std::string &file : RecordSet::logFilesIn(f))
            files.push_back(file);
    std::size_t rows = 0;
    for (auto _ : state) {
        const RecordSet set = RecordSet::load(weekFolders());
        const TraceColumns columns(set); // the pyramids the window draws from
        rows = set.table().rows();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytesIn(files));
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_LoadWeek)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// 40,000 files of 10 s each (five rows a second, a logger restarted every 10 s), in eight
// folders of 5,000 so that a run takes 5,000 to 40,000 of them; written once per run.
const std::vector<std::string> &smallFileFolders()
{
    static QTemporaryDir dir;
    static const std::vector<std::string> folders = [] {
        std::vector<std::string> f;
        const std::string header = *toShiftJis(headerLine(SamplingMode::Continuous, ControllerVersion::Version2)) + "\r\n";
        MeasurementSample sample;
        sample[MeasurementSample::GridVoltage] = 6600.0f;
        sample[MeasurementSample::LoadActivePower] = 150.0f;
        const std::int64_t first = daysFromCivil(2026, 12, 1) * 86400;
        for (int folder = 0; folder < 8; ++folder) {
            f.push_back(dir.path().toStdString() + "/" + std::to_string(folder));
            std::filesystem::create_directories(f.back());
            for (int file = 0; file < 5000; ++file) {
                const std::int64_t start = first + 10 * (5000 * folder + file);
                const LocalDateTime named = civilFromSeconds(start);
                std::string text = header;
                for (int second = 0; second < 10; ++second)
                    for (int row = 0; row < 5; ++row) {
                        sample[MeasurementSample::GridVoltage] = 6600.0f + static_cast<float>(row);
                        text += continuousRow(civilFromSeconds(start + second), sample, ControllerVersion::Version2) + "\r\n";
                    }
                std::ofstream(f.back() + "/" + LogFileName{named.day, named.hour, named.minute, named.second}.text(),
                              std::ios::binary) << text;
            }
        }
        return f;
    }();
    return folders;
}

// Many small files: each folder's files listed, each file named once (however many), looked
// at and read; time per set should grow as the number of files does, not as its square.
void BM_LoadManySmallFiles(benchmark::State &state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::vector<std::string> &all = smallFileFolders();
    const std::vector<std::string> folders(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count / 5000));
    std::size_t parts = 0;
    for (auto _ : state)
        parts = RecordSet::load(folders).parts().size();
    if (parts != count)
        state.SkipWithError("not every file was joined");
    state.counters["files_per_s"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LoadManySmallFiles)->Arg(5000)->Arg(10000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// One redraw of a week at 1600x900: everything, an hour, a minute, two seconds.
void BM_RedrawWeek(benchmark::State &state)
{
    static const RecordSet set = RecordSet::load(weekFolders());
    static TraceColumns columns(set);
    ViewWindow window;
    window.showAll(set.table());
    const double middle = (window.from() + window.to()) / 2.0;
    const double spans[] = {0.0, 3600.0, 60.0, 2.0};
    if (spans[state.range(0)] > 0.0)
        window.setRange(middle - spans[state.range(0)] / 2.0, middle + spans[state.range(0)] / 2.0);
    PlotOptions options;
    QImage image(1600, 900, QImage::Format_RGB32);
    for (auto _ : state) {
        PlotPainter plot(columns, window, options);
        plot.layout(image.size());
        QPainter painter(&image);
        plot.paint(painter, &image);
    }
}
BENCHMARK(BM_RedrawWeek)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// The readout at the pointer anywhere in a week: the row at or before a time and its values.
void BM_CursorReadoutWeek(benchmark::State &state)
{
    static const RecordSet set = RecordSet::load(weekFolders());
    const RecordTable &table = set.table();
    const double first = table.times().front(), span = table.times().back() - first;
    double at = 0.0;
    float sum = 0.0f;
    for (auto _ : state) {
        at = std::fmod(at + span * 0.618034, span);
        const std::size_t row = table.atOrBefore(first + at);
        for (int slot : set.columns())
            sum += table.value(slot, row);
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_CursorReadoutWeek);

// The window on a day: from open() to the first paint with the data, everything loaded.
void BM_WindowOpenDay(benchmark::State &state)
{
    for (auto _ : state) {
        ViewerWindow window;
        window.resize(1280, 800);
        window.show();
        QApplication::processEvents();
        QSignalSpy loaded(&window, &ViewerWindow::loaded);
        QElapsedTimer timer;
        timer.start();
        window.open({QString::fromStdString(dayFolder())});
        loaded.wait(30000);
        window.repaint(); // the first paint with the day
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_WindowOpenDay)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The power-quality report of a week from its loaded set: the figures, then its PDF and HTML.
void BM_ReportWeek(benchmark::State &state)
{
    static const RecordSet set = RecordSet::load(weekFolders());
    const double from = std::floor(set.table().times().front()), to = std::floor(set.table().times().back()) + 1.0;
    QTemporaryDir dir;
    for (auto _ : state) {
        const PowerQualityReport report = makeReport(set, from, to, ReportSettings{});
        const std::vector<ReportBlock> blocks = reportBlocks(report, ReportCsvFiles::NotWritten);
        QString why;
        benchmark::DoNotOptimize(writeReportPdf(dir.path() + "/week.pdf", blocks, report, why));
        benchmark::DoNotOptimize(reportHtml(blocks, report).size());
    }
}
BENCHMARK(BM_ReportWeek)->Unit(benchmark::kMillisecond)->Iterations(3);

// The window on a week at 1600x900, everything shown: a pointer move (the frame kept, the
// pointer line drawn over it) and a wheel step (the frame drawn anew), each with its paint.
ViewerWindow &weekWindow()
{
    static ViewerWindow *window = [] {
        auto *w = new ViewerWindow;
        w->resize(1600, 900);
        w->show();
        QSignalSpy loaded(w, &ViewerWindow::loaded);
        QStringList folders;
        for (const std::string &f : weekFolders())
            folders << QString::fromStdString(f);
        w->open(folders);
        loaded.wait(60000);
        QApplication::processEvents();
        return w;
    }();
    return *window;
}

void BM_PointerMoveWeek(benchmark::State &state)
{
    QWidget *plot = weekWindow().findChild<QWidget *>("RecordPlot");
    plot->repaint();
    int x = plot->width() / 4;
    for (auto _ : state) {
        x = x % (plot->width() / 2) + plot->width() / 4 + 7;
        QMouseEvent move(QEvent::MouseMove, QPointF(x, plot->height() / 3), plot->mapToGlobal(QPointF(x, plot->height() / 3)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(plot, &move);
        plot->repaint();
    }
}
BENCHMARK(BM_PointerMoveWeek)->Unit(benchmark::kMillisecond);

void BM_WheelStepWeek(benchmark::State &state)
{
    QWidget *plot = weekWindow().findChild<QWidget *>("RecordPlot");
    int step = 0;
    for (auto _ : state) {
        const QPointF at(plot->width() / 2, plot->height() / 3);
        const int delta = (step++ % 8) < 4 ? 120 : -120; // in four steps, out four
        QWheelEvent wheel(at, plot->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(plot, &wheel);
        plot->repaint();
    }
}
BENCHMARK(BM_WheelStepWeek)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace svglogger
