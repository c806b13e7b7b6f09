#include "quality/ReportSettings.h"

#include "common/IniFile.h"
#include "common/TextNumber.h"

#include <cstdio>

namespace svglogger {

namespace {

std::string percentText(double fraction)
{
    return significantText(fraction * 100.0);
}

// One entry applied; why it is refused otherwise.
std::string apply(ReportSettings &s, const std::string &key, const std::string &value)
{
    const std::optional<double> number = numberIfWholeText(value);
    const auto percent = [&](double &target, double low, double high) -> std::string {
        if (!number || *number < low || *number > high)
            return key + " takes a percentage from " + significantText(low) + " to " + significantText(high) + ", not '" + value + "'";
        target = *number / 100.0;
        return {};
    };
    const auto volts = [&](double &target) -> std::string {
        if (!number || *number <= 0.0 || *number > 1'000'000.0)
            return key + " takes volts above 0, not '" + value + "'";
        target = *number;
        return {};
    };
    if (key == "nominal-voltage")
        return volts(s.nominal);
    if (key == "band-percent")
        return percent(s.narrowBand, 0.1, 50.0);
    if (key == "band-share")
        return percent(s.narrowShare, 1.0, 100.0);
    if (key == "wide-band-percent")
        return percent(s.wideBand, 0.1, 50.0);
    if (key == "wide-band-share")
        return percent(s.wideShare, 1.0, 100.0);
    if (key == "user-band-low" || key == "user-band-high") {
        if (value == "none") {
            s.userBand.reset();
            return {};
        }
        double volt = 0.0;
        if (std::string why = volts(volt); !why.empty())
            return why;
        std::pair<double, double> band = s.userBand.value_or(std::pair{volt, volt});
        (key == "user-band-low" ? band.first : band.second) = volt;
        s.userBand = band;
        return {};
    }
    if (key == "user-band-share")
        return percent(s.userShare, 1.0, 100.0);
    if (key == "reactance-percent") {
        if (!number || *number < 0.0 || *number > 1000.0)
            return key + " takes %X from 0 to 1000, not '" + value + "'";
        s.reactancePercent = *number;
        return {};
    }
    if (key == "svg-sign") {
        if (value != "plus" && value != "minus")
            return key + " takes plus or minus, not '" + value + "'";
        s.svgSign = value == "plus" ? SvgSign::Plus : SvgSign::Minus;
        return {};
    }
    if (key == "dip-start")
        return percent(s.events.dipStart, 1.0, 99.0);
    if (key == "dip-end")
        return percent(s.events.dipEnd, 1.0, 99.0);
    if (key == "swell-start")
        return percent(s.events.swellStart, 101.0, 200.0);
    if (key == "swell-end")
        return percent(s.events.swellEnd, 101.0, 200.0);
    if (key == "interruption")
        return percent(s.events.interruption, 0.1, 50.0);
    if (key == "rvc-threshold")
        return percent(s.rapidChange, 0.1, 20.0);
    if (key == "running-bits") {
        unsigned bits = 0;
        int used = 0;
        if (value == "none") {
            s.runningBits = 0;
            return {};
        }
        if (std::sscanf(value.c_str(), "0x%4x%n", &bits, &used) != 1 || used != static_cast<int>(value.size()))
            return key + " takes none or a 16-bit mask like 0x0001, not '" + value + "'";
        s.runningBits = static_cast<std::uint16_t>(bits);
        return {};
    }
    if (key == "day-hours") {
        int from = 0, to = 0, used = 0;
        if (std::sscanf(value.c_str(), "%d-%d%n", &from, &to, &used) != 2 || used != static_cast<int>(value.size())
            || from < 0 || to > 24 || from >= to)
            return key + " takes hours like 8-22, not '" + value + "'";
        s.dayHours = {from, to};
        return {};
    }
    if (key == "language") {
        if (value != "ja" && value != "en")
            return key + " takes ja or en, not '" + value + "'";
        s.language = value == "ja" ? ReportSettings::Language::Japanese : ReportSettings::Language::English;
        return {};
    }
    return "unknown key " + key;
}

// The file's entries (none without a file), then the command line's, which win; then the
// checks across keys, named by where the settings came from.
ReportSettingsFile fromIni(const IniFile *ini, const std::vector<std::pair<std::string, std::string>> &overrides)
{
    ReportSettingsFile file;
    if (ini && !ini->ok()) {
        file.error = ini->error();
        return file;
    }
    if (ini)
        for (const IniFile::Entry &entry : ini->entries())
            if (const std::string why = apply(file.settings, entry.key, entry.value); !why.empty()) {
                file.error = ini->where(entry, why);
                return file;
            }
    for (const auto &[key, value] : overrides)
        if (const std::string why = apply(file.settings, key, value); !why.empty()) {
            file.error = "--" + why;
            return file;
        }
    ReportSettings &s = file.settings;
    s.events.nominal = s.nominal;
    const std::string source = ini ? ini->name() : std::string("the report's settings");
    // The hysteresis must point the right way: a dip ends above where it starts.
    if (s.events.dipEnd <= s.events.dipStart)
        file.error = source + ": dip-end must be above dip-start";
    else if (s.events.swellEnd >= s.events.swellStart)
        file.error = source + ": swell-end must be below swell-start";
    else if (s.userBand && s.userBand->first >= s.userBand->second)
        file.error = source + ": user-band-low must be below user-band-high (both are needed)";
    return file;
}

} // namespace

std::vector<std::string> ReportSettings::lines() const
{
    std::vector<std::string> out{
        "nominal-voltage = " + significantText(nominal),
        "band-percent = " + percentText(narrowBand),
        "band-share = " + percentText(narrowShare),
        "wide-band-percent = " + percentText(wideBand),
        "wide-band-share = " + percentText(wideShare),
        "user-band-low = " + (userBand ? significantText(userBand->first) : std::string("none")),
        "user-band-high = " + (userBand ? significantText(userBand->second) : std::string("none")),
        "user-band-share = " + percentText(userShare),
        "reactance-percent = " + significantText(reactancePercent),
        std::string("svg-sign = ") + (svgSign == SvgSign::Plus ? "plus" : "minus"),
        "dip-start = " + percentText(events.dipStart),
        "dip-end = " + percentText(events.dipEnd),
        "swell-start = " + percentText(events.swellStart),
        "swell-end = " + percentText(events.swellEnd),
        "interruption = " + percentText(events.interruption),
        "rvc-threshold = " + percentText(rapidChange),
    };
    char bits[16];
    std::snprintf(bits, sizeof bits, "0x%04X", runningBits);
    out.push_back(std::string("running-bits = ") + (runningBits == 0 ? "none" : bits));
    out.push_back("day-hours = " + std::to_string(dayHours.first) + "-" + std::to_string(dayHours.second));
    out.push_back(std::string("language = ") + (language == Language::Japanese ? "ja" : "en"));
    return out;
}

ReportSettingsFile readReportSettings(const std::string &path, const std::vector<std::pair<std::string, std::string>> &overrides)
{
    if (path.empty())
        return fromIni(nullptr, overrides);
    const IniFile ini = IniFile::read(path);
    return fromIni(&ini, overrides);
}

const std::vector<std::string> &reportSettingKeys()
{
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> names;
        for (const std::string &line : ReportSettings{}.lines())
            names.push_back(line.substr(0, line.find(' ')));
        return names;
    }();
    return keys;
}

ReportSettingsFile parseReportSettings(std::string_view text, const std::string &name)
{
    const IniFile ini = IniFile::parse(text, name);
    return fromIni(&ini, {});
}

} // namespace svglogger
