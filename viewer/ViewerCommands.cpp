#include "viewer/ViewerCommands.h"

#include "quality/PowerQualityReport.h"
#include "quality/ReportCsv.h"
#include "reading/RecordExport.h"
#include "reading/RecordSet.h"
#include "reading/RecordStats.h"
#include "reading/RecordTime.h"
#include "reading/TraceColumns.h"
#include "reading/TriggerReplay.h"
#include "recording/TriggerFile.h"
#include "viewer/PlotPainter.h"
#include "viewer/ReportBlocks.h"
#include "viewer/ReportHtml.h"
#include "viewer/ReportPdf.h"

#include <QHashFunctions>


#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

namespace svglogger {

namespace {

// Files into `folder` (made where missing), all or none: each is written beside its place
// first and renamed only once every one is written whole. The system's reason otherwise.
std::string writeAllOrNone(const std::string &folder, const std::vector<std::pair<std::string, std::string>> &files)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        return "cannot make " + folder + ": " + error.message();
    std::vector<fs::path> written;
    const auto removeWritten = [&] {
        for (const fs::path &path : written)
            fs::remove(path, error);
    };
    for (const auto &[name, bytes] : files) {
        const fs::path temporary = fs::path(folder) / ("." + name + ".part");
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (out)
            written.push_back(temporary);
        if (!out || !out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush()) {
            const std::string why = std::strerror(errno);
            out.close();
            removeWritten();
            return "cannot write " + (fs::path(folder) / name).string() + ": " + why;
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        fs::rename(written[i], fs::path(folder) / files[i].first, error);
        if (error) {
            removeWritten();
            return "cannot write " + (fs::path(folder) / files[i].first).string() + ": " + error.message();
        }
    }
    return {};
}

} // namespace

int runViewerCommand(const ViewerOptions &options, std::ostream &out, std::ostream &err)
{
    TriggerFile trigger;
    if (options.mode == ViewerOptions::Mode::Events) {
        trigger = TriggerFile::read(options.triggerFile);
        if (!trigger.error.empty()) {
            err << "svg-logger-view: " << trigger.error << "\n";
            return kViewBadInput;
        }
    }
    // Qt's PDF writer keeps its fonts in a hash table: with the process's random seed their
    // order, and so the PDF's bytes, would change from run to run.
    if (options.mode == ViewerOptions::Mode::Report)
        QHashSeed::setDeterministicGlobalSeed();
    // A bad settings file is said before a month of files is read.
    ReportSettingsFile settings;
    if (options.mode == ViewerOptions::Mode::Report)
        settings = readReportSettings(options.reportSettings, options.reportOverrides);
    if (!settings.error.empty()) {
        err << "svg-logger-view: " << settings.error << "\n";
        return kViewBadInput;
    }
    const RecordSet set = RecordSet::load(options.inputs);
    for (const std::string &problem : set.problems())
        err << problem << "\n";
    if (set.table().rows() == 0) {
        err << "svg-logger-view: no input has a readable row\n";
        return kViewBadInput;
    }
    const double from = options.from ? static_cast<double>(*options.from) : -std::numeric_limits<double>::infinity();
    const double to = options.to ? static_cast<double>(*options.to) : std::numeric_limits<double>::infinity();
    const RecordTable &table = set.table();
    // Every command gives the same outcome for a range without a row: by the rule the
    // statistics and the export hold rows to (an interval row's whole span within).
    if ((options.from || options.to) && !table.anyWithin(from, to + 1.0)) {
        err << "svg-logger-view: no row in the range\n";
        return kViewBadInput;
    }

    switch (options.mode) {
    case ViewerOptions::Mode::Stats:
        if (options.statsBy != ViewerOptions::StatsBy::Whole)
            out << statsTextBy(set, options.statsBy == ViewerOptions::StatsBy::Hour ? 3600 : 86400, from, to);
        else
            out << (options.from || options.to ? statsText(set, from, to) : statsText(set));
        return kViewOk;
    case ViewerOptions::Mode::Events: {
        const std::size_t first = table.lowerBound(from);
        const std::size_t last = table.lowerBound(to + 1.0);
        for (std::size_t row : replayTrigger(table, first, last, trigger.settings,
                                             static_cast<std::int16_t>(trigger.enabledConditions)))
            out << rowTimeText(static_cast<std::int64_t>(std::floor(table.times()[row]))) << "\n";
        return kViewOk;
    }
    case ViewerOptions::Mode::ExportCsv: {
        std::ofstream file(options.output, std::ios::binary | std::ios::trunc);
        if (!file) {
            err << "svg-logger-view: cannot write " << options.output << "\n";
            return kViewBadInput;
        }
        // Whole seconds, both included: the rows spread over the second `to` too.
        if (const std::string why = exportRows(set, from, to + 1.0, file); !why.empty()) {
            file.close();
            std::remove(options.output.c_str());
            err << "svg-logger-view: " << why << "\n";
            return kViewBadInput;
        }
        return kViewOk;
    }
    case ViewerOptions::Mode::Png:
    case ViewerOptions::Mode::Svg: {
        TraceColumns columns(set);
        ViewWindow window;
        window.showAll(table);
        if (options.from || options.to)
            window.setRange(options.from ? from : window.from(), options.to ? to + 1.0 : window.to());
        PlotOptions plotOptions;
        QStringList inputs;
        for (const std::string &input : options.inputs)
            inputs << QString::fromStdString(input);
        plotOptions.source = PlotPainter::sourceOf(inputs);
        PlotPainter plot(columns, window, plotOptions);
        plot.layout(options.size);
        if (const QSize smallest = plot.smallestReadableSize();
            options.size.width() < smallest.width() || options.size.height() < smallest.height()) {
            err << "svg-logger-view: at " << options.size.width() << "x" << options.size.height()
                << " the picture's labels would overlap: give --size " << smallest.width() << "x" << smallest.height()
                << " or larger\n";
            return kViewBadInput;
        }
        const PlotPainter::Picture kind = *PlotPainter::pictureFormatOf(QString::fromStdString(options.output));
        if (!plot.writePicture(options.size, QString::fromStdString(options.output), kind)) {
            err << "svg-logger-view: cannot write " << options.output << "\n";
            return kViewBadInput;
        }
        return kViewOk;
    }
    case ViewerOptions::Mode::Report: {
        // The period asked for, rows or none in it (whole seconds, `to` included); else whole days.
        const auto [first, end] = reportPeriod(table, options.from ? std::optional<double>(from) : std::nullopt,
                                               options.to ? std::optional<double>(to + 1.0) : std::nullopt);
        const PowerQualityReport report = makeReport(set, first, end, settings.settings);
        if (report.refusal) {
            err << "svg-logger-view: " << settings.refusal(report.refusal->key, report.refusal->why) << "\n";
            return kViewBadInput;
        }
        // The CSV files first: the PDF sends its reader to events.csv only once that is written.
        const bool csv = !options.reportCsvFolder.empty();
        if (csv) {
            if (const std::string why = writeAllOrNone(options.reportCsvFolder, reportCsvFiles(report)); !why.empty()) {
                err << "svg-logger-view: " << why << "\n";
                return kViewBadInput;
            }
        }
        const std::vector<ReportBlock> blocks = reportBlocks(report, csv ? ReportCsvFiles::Written : ReportCsvFiles::NotWritten);
        QString why;
        if ((!options.reportPdf.empty() && !writeReportPdf(QString::fromStdString(options.reportPdf), blocks, report, why))
            || (!options.reportHtml.empty()
                && !writeReportHtml(QString::fromStdString(options.reportHtml), blocks, report, why))) {
            err << "svg-logger-view: " << why.toStdString() << "\n";
            return kViewBadInput;
        }
        return kViewOk;
    }
    case ViewerOptions::Mode::Window:
        break;
    }
    return kViewOk;
}

} // namespace svglogger
