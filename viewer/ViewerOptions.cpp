#include "viewer/ViewerOptions.h"

#include "reading/RecordTime.h"

namespace svglogger {

std::string viewerUsage()
{
    return "usage: svg-logger-view [--trigger FILE] [INPUT...]    the window (with the trigger's marks)\n"
           "       svg-logger-view --png OUT.png [--size 1600x900] INPUT...\n"
           "       svg-logger-view --svg OUT.svg [--size 1600x900] INPUT...\n"
           "       svg-logger-view --export-csv OUT.csv INPUT...\n"
           "       svg-logger-view --stats INPUT...               per column: name,min,max,mean,count\n"
           "       svg-logger-view --events --trigger FILE INPUT...  one line per firing\n"
           "  --from \"yyyy/mm/dd H:MM:SS\" and --to \"...\" (both included) limit any of them.\n"
           "  INPUT: a CSV file of the logger, or a folder (every log file in it).\n";
}

ViewerOptions parseViewerOptions(const QStringList &arguments)
{
    ViewerOptions options;
    auto fail = [&](const std::string &why) {
        options.error = why;
        return options;
    };
    auto setMode = [&](ViewerOptions::Mode mode) {
        if (options.mode != ViewerOptions::Mode::Window && options.mode != mode)
            return false;
        options.mode = mode;
        return true;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString a = arguments[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= arguments.size())
                return std::nullopt;
            return arguments[++i].toStdString();
        };
        if (a == "--png" || a == "--svg" || a == "--export-csv") {
            const auto mode = a == "--png" ? ViewerOptions::Mode::Png
                : a == "--svg"             ? ViewerOptions::Mode::Svg
                                           : ViewerOptions::Mode::ExportCsv;
            const std::optional<std::string> out = value();
            if (!out || out->empty())
                return fail(a.toStdString() + " takes the file to write");
            if (!setMode(mode))
                return fail(a.toStdString() + " goes with no other of --png, --svg, --export-csv, --stats, --events");
            options.output = *out;
        } else if (a == "--stats" || a == "--events") {
            if (!setMode(a == "--stats" ? ViewerOptions::Mode::Stats : ViewerOptions::Mode::Events))
                return fail(a.toStdString() + " goes with no other of --png, --svg, --export-csv, --stats, --events");
        } else if (a == "--size") {
            const std::optional<std::string> text = value();
            const QStringList parts = text ? QString::fromStdString(*text).split('x') : QStringList();
            bool okW = false, okH = false;
            const int w = parts.size() == 2 ? parts[0].toInt(&okW) : 0, h = parts.size() == 2 ? parts[1].toInt(&okH) : 0;
            if (!okW || !okH || w < 200 || h < 150 || w > 20000 || h > 20000)
                return fail("--size takes WIDTHxHEIGHT in pixels, 200x150 to 20000x20000");
            options.size = QSize(w, h);
        } else if (a == "--trigger") {
            const std::optional<std::string> file = value();
            if (!file || file->empty())
                return fail("--trigger takes a trigger settings file");
            options.triggerFile = *file;
        } else if (a == "--from" || a == "--to") {
            const std::optional<std::string> text = value();
            const std::optional<std::int64_t> time = text ? parseRowTime(*text) : std::nullopt;
            if (!time)
                return fail(a.toStdString() + " takes a time as the logger writes it, \"yyyy/mm/dd H:MM:SS\"");
            (a == "--from" ? options.from : options.to) = *time;
        } else if (a == "--help" || a == "-h") {
            return fail("");
        } else if (a.startsWith("--")) {
            return fail("unknown option " + a.toStdString());
        } else {
            options.inputs.push_back(a.toStdString());
        }
    }
    if (options.mode == ViewerOptions::Mode::Events && options.triggerFile.empty())
        return fail("--events needs --trigger FILE");
    if (options.mode != ViewerOptions::Mode::Events && !options.triggerFile.empty()
        && options.mode != ViewerOptions::Mode::Window)
        return fail("--trigger goes with --events (or the window)");
    if (options.mode != ViewerOptions::Mode::Window && options.inputs.empty())
        return fail("no input: name CSV files or folders");
    if (options.from && options.to && *options.from > *options.to)
        return fail("--from is after --to");
    return options;
}

} // namespace svglogger
