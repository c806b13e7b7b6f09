#include "viewer/ViewerOptions.h"

#include "reading/RecordTime.h"
#include "quality/ReportSettings.h"
#include "viewer/PlotPainter.h"

#include <QCommandLineParser>

#include <algorithm>
#include <map>
#include <optional>

namespace svglogger {

std::string viewerUsage()
{
    // In the usual Usage/Options form, which help2man turns into the man page.
    return "Usage: svg-logger-view [--trigger FILE] [--follow] [--settings FILE] [INPUT...]\n"
           "  or:  svg-logger-view --png OUT.png [--size 1600x900] INPUT...\n"
           "  or:  svg-logger-view --svg OUT.svg [--size 1600x900] INPUT...\n"
           "  or:  svg-logger-view --export-csv OUT.csv INPUT...\n"
           "  or:  svg-logger-view --stats [--by hour|day] INPUT...\n"
           "  or:  svg-logger-view --events --trigger FILE INPUT...\n"
           "  or:  svg-logger-view --report FILE.pdf [--report-html FILE.html] [--report-csv DIR] [--settings FILE] INPUT...\n"
           "Looks at the SVG logger's recorded CSV files: a window over a week of them, pictures, statistics,\n"
           "an export, a trigger replayed over them, the power-quality and SVG-effectiveness report.\n"
           "INPUT: a CSV file of the logger, or a folder (every log file in it).\n"
           "\n"
           "Options:\n"
           "  --trigger FILE        the window: the marks where a run with these trigger settings would\n"
           "                        have fired; with --events: one line per firing\n"
           "  --follow              the window: reading on what a running logger appends\n"
           "  --png OUT.png         draw the inputs as a PNG picture\n"
           "  --svg OUT.svg         draw the inputs as an SVG picture\n"
           "  --size WxH            the picture's size (default 1600x900)\n"
           "  --export-csv OUT.csv  the rows of the inputs in one CSV file\n"
           "  --stats               per column: name,min,max,mean,count\n"
           "  --by hour|day         with --stats: a block an hour or a day, each after its time\n"
           "  --events              with --trigger: one line per firing\n"
           "  --report FILE.pdf     the power-quality and SVG-effectiveness report as PDF\n"
           "  --report-html FILE    the report as one HTML file\n"
           "  --report-csv DIR      the report's tables as CSV files\n"
           "  --settings FILE       the report's settings, which the window's event list judges by too;\n"
           "                        each of its keys also as --KEY VALUE\n"
           "  --from TIME           \"yyyy/mm/dd H:MM:SS\": the first time included, for any of them\n"
           "  --to TIME             the last time included\n"
           "  -h, --help            show this help\n"
           "  --version             show the program's version\n";
}

ViewerOptions parseViewerOptions(const QStringList &arguments)
{
    ViewerOptions options;
    auto fail = [&](const std::string &why) {
        options.error = why;
        return options;
    };
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    QStringList valued{"png", "svg", "export-csv", "size", "trigger", "from", "to", "by", "report", "report-html", "report-csv", "settings"};
    for (const std::string &key : reportSettingKeys())
        valued << QString::fromStdString(key);
    for (const QString &name : valued)
        parser.addOption(QCommandLineOption(name, {}, name));
    for (const QString &name : {QStringLiteral("stats"), QStringLiteral("events"), QStringLiteral("follow"), QStringLiteral("version")})
        parser.addOption(QCommandLineOption(name));
    parser.addOption(QCommandLineOption(QStringList{"help", "h"}));
    parser.addPositionalArgument("inputs", {});
    auto setMode = [&](ViewerOptions::Mode mode) {
        if (options.mode != ViewerOptions::Mode::Window && options.mode != mode)
            return false;
        options.mode = mode;
        return true;
    };
    // One option with its value (none where it came without one): empty, or why it is refused.
    auto apply = [&](const QString &name, const std::optional<std::string> &value) -> std::string {
        const std::string option = "--" + name.toStdString();
        if (name == "png" || name == "svg" || name == "export-csv") {
            const auto mode = name == "png" ? ViewerOptions::Mode::Png
                : name == "svg"             ? ViewerOptions::Mode::Svg
                                            : ViewerOptions::Mode::ExportCsv;
            if (!value || value->empty())
                return option + " takes the file to write";
            if (!setMode(mode))
                return option + " goes with no other of --png, --svg, --export-csv, --stats, --events";
            options.output = *value;
            // A picture is written in the format its name asks for, never other bytes under it.
            if (mode != ViewerOptions::Mode::ExportCsv
                && !PlotPainter::pictureFormatOf(QString::fromStdString(*value)))
                return option + " writes .png, .jpg (.jpeg) or .svg files: '" + *value + "' names none of them";
        } else if (name == "stats" || name == "events") {
            if (!setMode(name == "stats" ? ViewerOptions::Mode::Stats : ViewerOptions::Mode::Events))
                return option + " goes with no other of --png, --svg, --export-csv, --stats, --events";
        } else if (name == "report" || name == "report-html" || name == "report-csv") {
            if (!value || value->empty())
                return option + (name == "report-csv" ? " takes the folder to write the tables into" : " takes the file to write");
            if (!setMode(ViewerOptions::Mode::Report))
                return option + " goes with no other of --png, --svg, --export-csv, --stats, --events";
            (name == "report" ? options.reportPdf : name == "report-html" ? options.reportHtml : options.reportCsvFolder) = *value;
        } else if (std::find(reportSettingKeys().begin(), reportSettingKeys().end(), name.toStdString()) != reportSettingKeys().end()) {
            if (!value)
                return option + " takes a value";
            options.reportOverrides.emplace_back(name.toStdString(), *value);
        } else if (name == "settings") {
            if (!value || value->empty())
                return option + " takes the report's settings file";
            options.reportSettings = *value;
        } else if (name == "follow") {
            options.follow = true;
        } else if (name == "size") {
            const QStringList parts = value ? QString::fromStdString(*value).split('x') : QStringList();
            bool okW = false, okH = false;
            const int w = parts.size() == 2 ? parts[0].toInt(&okW) : 0, h = parts.size() == 2 ? parts[1].toInt(&okH) : 0;
            if (!okW || !okH || w < 200 || h < 150 || w > 20000 || h > 20000)
                return "--size takes WIDTHxHEIGHT in pixels, 200x150 to 20000x20000";
            options.size = QSize(w, h);
        } else if (name == "trigger") {
            if (!value || value->empty())
                return "--trigger takes a trigger settings file";
            options.triggerFile = *value;
        } else if (name == "by") {
            if (!value || (*value != "hour" && *value != "day"))
                return "--by takes hour or day";
            options.statsBy = *value == "hour" ? ViewerOptions::StatsBy::Hour : ViewerOptions::StatsBy::Day;
        } else if (name == "from" || name == "to") {
            const std::optional<std::int64_t> time = value ? parseClockTime(*value) : std::nullopt;
            if (!time)
                return option + " takes a time as the logger writes it, \"yyyy/mm/dd H:MM:SS\"";
            (name == "from" ? options.from : options.to) = *time;
        }
        return {};
    };

    const bool parsed = parser.parse(QStringList{"svg-logger-view"} + arguments);
    if (!parser.unknownOptionNames().isEmpty())
        return fail("unknown option --" + parser.unknownOptionNames().constFirst().toStdString());
    if (parser.isSet("help"))
        return fail("");
    if (parser.isSet("version")) {
        options.printVersion = true;
        return options;
    }
    // In the order given, so that the second of two commands is the one refused.
    std::map<QString, qsizetype> seen; // how often each option came so far: its value's index
    for (const QString &name : parser.optionNames()) {
        const qsizetype occurrence = seen[name]++;
        const QStringList values = valued.contains(name) ? parser.values(name) : QStringList();
        const std::string why = apply(name, occurrence < values.size() ? std::optional(values[occurrence].toStdString())
                                                                       : std::nullopt);
        if (!why.empty())
            return fail(why);
    }
    if (!parsed) {
        // The parser's only other refusal: a value missing, which can only be after the last argument.
        const QString last = arguments.isEmpty() ? QString() : arguments.constLast();
        const std::string why = apply(last.mid(last.startsWith("--") ? 2 : 1), std::nullopt);
        return fail(why.empty() ? parser.errorText().toStdString() : why);
    }
    for (const QString &input : parser.positionalArguments())
        options.inputs.push_back(input.toStdString());
    if (options.mode == ViewerOptions::Mode::Events && options.triggerFile.empty())
        return fail("--events needs --trigger FILE");
    if (options.mode != ViewerOptions::Mode::Events && !options.triggerFile.empty()
        && options.mode != ViewerOptions::Mode::Window)
        return fail("--trigger goes with --events (or the window)");
    if (options.mode != ViewerOptions::Mode::Window && options.inputs.empty())
        return fail("no input: name CSV files or folders");
    if (options.statsBy != ViewerOptions::StatsBy::Whole && options.mode != ViewerOptions::Mode::Stats)
        return fail("--by goes with --stats");
    // The window's event list judges by the report's settings too.
    if ((!options.reportSettings.empty() || !options.reportOverrides.empty()) && options.mode != ViewerOptions::Mode::Report
        && options.mode != ViewerOptions::Mode::Window)
        return fail(options.reportSettings.empty() ? "--" + options.reportOverrides.front().first + " goes with --report or the window"
                                                   : "--settings goes with --report or the window");
    if (options.follow && options.mode != ViewerOptions::Mode::Window)
        return fail("--follow goes with the window alone");
    if (options.from && options.to && *options.from > *options.to)
        return fail("--from is after --to");
    return options;
}

} // namespace svglogger
