#pragma once

#include "quality/SvgSign.h"
#include "quality/VoltageEvents.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace svglogger {

// What a power-quality report is judged by: every key of its settings file with its default,
// printed in the report so that a reader knows the rules it was made with.
struct ReportSettings {
    double nominal = 6600.0;                      // Uc, V
    double narrowBand = 0.10, narrowShare = 0.99; // EN 50160 for MV: ±10 % for 99 % of the 10-min values
    double wideBand = 0.15, wideShare = 1.00;     // and ±15 % for all of them
    std::optional<std::pair<double, double>> userBand; // V, both included
    double userShare = 0.99;
    double reactancePercent = 100.0; // %X per 10 MVA, for the voltage without the SVG
    SvgSign svgSign = SvgSign::Plus; // for the power factor and the voltage without the SVG alike
    VoltageEventLimits events;       // its nominal is kept equal to `nominal`
    double rapidChange = 0.03;       // of Uc
    std::uint16_t runningBits = 0;   // none: availability not determinable
    std::pair<int, int> dayHours{8, 22};
    enum class Language { Japanese, English };
    Language language = Language::Japanese;
    std::string site; // the report's site; empty: the name of the files' folder

    // The event thresholds with Uc: what the report and the window's event list judge by.
    VoltageEventLimits eventLimits() const
    {
        VoltageEventLimits limits = events;
        limits.nominal = nominal;
        return limits;
    }

    // "key = value" for each key, in the file's own words.
    std::vector<std::string> lines() const;
};

// A settings file read: its settings, or the error naming the file and line.
struct ReportSettingsFile {
    ReportSettings settings;
    std::string error;
    // Where each key given got its value: "<file>:<line>: " or "--"; keys left at their default
    // are named by `source` (the file, or "the report's settings").
    std::map<std::string, std::string, std::less<>> origins;
    std::string source = "the report's settings";

    // A value refused later, by what the data show, named as a bad value is when read:
    // "r.ini:3: nominal-voltage 110 V …", "--nominal-voltage 110 V …", "r.ini: nominal-voltage …".
    std::string refusal(std::string_view key, std::string_view why) const;
};

// The file at `path` (none when empty), then `overrides` (key, value) from the command line,
// which win; a refusal names the file and line, or the option.
ReportSettingsFile readReportSettings(const std::string &path,
                                      const std::vector<std::pair<std::string, std::string>> &overrides = {});
// Every key of the settings, as the file and the command line (with "--") name them.
const std::vector<std::string> &reportSettingKeys();
ReportSettingsFile parseReportSettings(std::string_view text, const std::string &name);

} // namespace svglogger
