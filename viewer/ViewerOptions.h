#pragma once

#include <QSize>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace svglogger {

// svg-logger-view's command line.
struct ViewerOptions {
    enum class Mode { Window, Png, Svg, ExportCsv, Stats, Events, Report };
    Mode mode = Mode::Window;
    bool printVersion = false; // --version: the version line, nothing else
    std::string output;        // --png, --svg, --export-csv
    QSize size{1600, 900};     // --size
    std::string triggerFile;   // --trigger
    std::optional<std::int64_t> from, to; // --from, --to: both included
    enum class StatsBy { Whole, Hour, Day };
    StatsBy statsBy = StatsBy::Whole;  // --by with --stats
    std::string reportPdf;       // --report: the power-quality report as PDF
    std::string reportHtml;      // --report-html: as one HTML file
    std::string reportCsvFolder; // --report-csv: its tables
    std::string reportSettings;  // --settings: its settings file
    std::vector<std::pair<std::string, std::string>> reportOverrides; // --<key> VALUE of the settings
    bool follow = false;       // --follow: the window reads on what a running logger appends
    std::vector<std::string> inputs;
    std::string error;         // a bad option: the program says it and exits with 2
};

ViewerOptions parseViewerOptions(const QStringList &arguments);

// The usage text.
std::string viewerUsage();

} // namespace svglogger
