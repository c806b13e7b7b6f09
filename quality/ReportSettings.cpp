#include "quality/ReportSettings.h"

#include "common/IniFile.h"
#include "common/TextNumber.h"

#include <array>
#include <cstdio>
#include <functional>
#include <utility>

namespace svglogger {

namespace {

// One key of the settings: how a value is read into them (the refusal after the key's name:
// "takes …, not '…'") and how their value is written, as the file and the report say it.
struct SettingKey {
    const char *key;
    std::function<std::string(ReportSettings &, const std::string &)> apply;
    std::function<std::string(const ReportSettings &)> text;
};

std::string refused(const std::string &takes, const std::string &value)
{
    return "takes " + takes + ", not '" + value + "'";
}

// A number of the settings, or of their event limits.
double &field(ReportSettings &s, double ReportSettings::*member)
{
    return s.*member;
}
double &field(ReportSettings &s, double VoltageEventLimits::*member)
{
    return s.events.*member;
}
double field(const ReportSettings &s, double ReportSettings::*member)
{
    return s.*member;
}
double field(const ReportSettings &s, double VoltageEventLimits::*member)
{
    return s.events.*member;
}

// A percentage from `low` to `high` in the file, a fraction in the settings.
template <typename Member>
SettingKey percent(const char *key, Member member, double low, double high)
{
    return {key,
            [=](ReportSettings &s, const std::string &value) {
                const std::optional<double> number = numberIfWholeText(value);
                if (!number || *number < low || *number > high)
                    return refused("a percentage from " + significantText(low) + " to " + significantText(high), value);
                field(s, member) = *number / 100.0;
                return std::string();
            },
            [=](const ReportSettings &s) { return significantText(field(s, member) * 100.0); }};
}

// Volts above 0 (up to a megavolt); none when the value is none of them.
std::optional<double> volts(const std::string &value)
{
    const std::optional<double> number = numberIfWholeText(value);
    if (!number || *number <= 0.0 || *number > 1'000'000.0)
        return std::nullopt;
    return number;
}
constexpr const char *kVolts = "volts above 0";

// One end of the user's band: "none" for no band (either end clears both); the first end
// given stands for both until the other comes.
SettingKey userBandEnd(const char *key, double std::pair<double, double>::*end)
{
    return {key,
            [=](ReportSettings &s, const std::string &value) {
                if (value == "none") {
                    s.userBand.reset();
                    return std::string();
                }
                const std::optional<double> volt = volts(value);
                if (!volt)
                    return refused(kVolts, value);
                std::pair<double, double> band = s.userBand.value_or(std::pair{*volt, *volt});
                band.*end = *volt;
                s.userBand = band;
                return std::string();
            },
            [=](const ReportSettings &s) { return s.userBand ? significantText((*s.userBand).*end) : std::string("none"); }};
}

// One of the named values of an enum.
template <typename Enum, std::size_t N>
SettingKey choice(const char *key, Enum ReportSettings::*member, const std::array<std::pair<const char *, Enum>, N> &names)
{
    return {key,
            [=](ReportSettings &s, const std::string &value) {
                for (const auto &[name, named] : names)
                    if (value == name) {
                        s.*member = named;
                        return std::string();
                    }
                std::string takes;
                for (std::size_t i = 0; i < N; ++i)
                    takes += (i == 0 ? "" : i + 1 == N ? " or " : ", ") + std::string(names[i].first);
                return refused(takes, value);
            },
            [=](const ReportSettings &s) {
                for (const auto &[name, named] : names)
                    if (s.*member == named)
                        return std::string(name);
                return std::string();
            }};
}

// Every key, in the order the report prints them.
const std::vector<SettingKey> &settingKeys()
{
    static const std::vector<SettingKey> all{
        {"nominal-voltage",
         [](ReportSettings &s, const std::string &value) {
             const std::optional<double> volt = volts(value);
             if (!volt)
                 return refused(kVolts, value);
             s.nominal = *volt;
             return std::string();
         },
         [](const ReportSettings &s) { return significantText(s.nominal); }},
        percent("band-percent", &ReportSettings::narrowBand, 0.1, 50.0),
        percent("band-share", &ReportSettings::narrowShare, 1.0, 100.0),
        percent("wide-band-percent", &ReportSettings::wideBand, 0.1, 50.0),
        percent("wide-band-share", &ReportSettings::wideShare, 1.0, 100.0),
        userBandEnd("user-band-low", &std::pair<double, double>::first),
        userBandEnd("user-band-high", &std::pair<double, double>::second),
        percent("user-band-share", &ReportSettings::userShare, 1.0, 100.0),
        {"reactance-percent",
         [](ReportSettings &s, const std::string &value) {
             const std::optional<double> number = numberIfWholeText(value);
             if (!number || *number < 0.0 || *number > 1000.0)
                 return refused("%X from 0 to 1000", value);
             s.reactancePercent = *number;
             return std::string();
         },
         [](const ReportSettings &s) { return significantText(s.reactancePercent); }},
        choice("svg-sign", &ReportSettings::svgSign, std::array{std::pair{"plus", SvgSign::Plus}, std::pair{"minus", SvgSign::Minus}}),
        percent("dip-start", &VoltageEventLimits::dipStart, 1.0, 99.0),
        percent("dip-end", &VoltageEventLimits::dipEnd, 1.0, 99.0),
        percent("swell-start", &VoltageEventLimits::swellStart, 101.0, 200.0),
        percent("swell-end", &VoltageEventLimits::swellEnd, 101.0, 200.0),
        percent("interruption", &VoltageEventLimits::interruption, 0.1, 50.0),
        percent("rvc-threshold", &ReportSettings::rapidChange, 0.1, 20.0),
        {"running-bits",
         [](ReportSettings &s, const std::string &value) {
             if (value == "none") {
                 s.runningBits = 0;
                 return std::string();
             }
             unsigned bits = 0;
             int used = 0;
             if (std::sscanf(value.c_str(), "0x%4x%n", &bits, &used) != 1 || used != static_cast<int>(value.size()))
                 return refused("none or a 16-bit mask like 0x0001", value);
             s.runningBits = static_cast<std::uint16_t>(bits);
             return std::string();
         },
         [](const ReportSettings &s) {
             char bits[16];
             std::snprintf(bits, sizeof bits, "0x%04X", s.runningBits);
             return std::string(s.runningBits == 0 ? "none" : bits);
         }},
        {"day-hours",
         [](ReportSettings &s, const std::string &value) {
             int from = 0, to = 0, used = 0;
             if (std::sscanf(value.c_str(), "%d-%d%n", &from, &to, &used) != 2 || used != static_cast<int>(value.size())
                 || from < 0 || to > 24 || from >= to)
                 return refused("hours like 8-22", value);
             s.dayHours = {from, to};
             return std::string();
         },
         [](const ReportSettings &s) { return std::to_string(s.dayHours.first) + "-" + std::to_string(s.dayHours.second); }},
        choice("language", &ReportSettings::language,
               std::array{std::pair{"ja", ReportSettings::Language::Japanese}, std::pair{"en", ReportSettings::Language::English}}),
        {"site",
         [](ReportSettings &s, const std::string &value) {
             if (value.find_first_of("\r\n") != std::string::npos)
                 return refused("one line of text", value);
             s.site = value;
             return std::string();
         },
         [](const ReportSettings &s) { return s.site; }},
    };
    return all;
}

// One entry applied; why it is refused otherwise.
std::string apply(ReportSettings &s, const std::string &key, const std::string &value)
{
    for (const SettingKey &setting : settingKeys())
        if (key == setting.key) {
            const std::string why = setting.apply(s, value);
            return why.empty() ? why : key + " " + why;
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
    if (ini) {
        file.source = ini->name();
        for (const IniFile::Entry &entry : ini->entries()) {
            if (const std::string why = apply(file.settings, entry.key, entry.value); !why.empty()) {
                file.error = ini->where(entry, why);
                return file;
            }
            file.origins[entry.key] = ini->where(entry, "");
        }
    }
    for (const auto &[key, value] : overrides) {
        if (const std::string why = apply(file.settings, key, value); !why.empty()) {
            file.error = "--" + why;
            return file;
        }
        file.origins[key] = "--";
    }
    ReportSettings &s = file.settings;
    s.events.nominal = s.nominal;
    const std::string &source = file.source;
    const VoltageEventLimits &e = s.events;
    // In order from below: interruption < dip-start < dip-end < 100 % < swell-end < swell-start
    // (the keys' own ranges keep dips below 100 % and swells above), the narrow band inside the
    // wide one; otherwise the events and verdicts would judge by thresholds that contradict.
    if (e.dipStart <= e.interruption)
        file.error = source + ": dip-start must be above interruption";
    else if (e.dipEnd <= e.dipStart)
        file.error = source + ": dip-end must be above dip-start";
    else if (e.swellEnd >= e.swellStart)
        file.error = source + ": swell-end must be below swell-start";
    else if (s.narrowBand >= s.wideBand)
        file.error = source + ": band-percent must be below wide-band-percent";
    else if (s.userBand && s.userBand->first >= s.userBand->second)
        file.error = source + ": user-band-low must be below user-band-high (both are needed)";
    return file;
}

} // namespace

std::string ReportSettingsFile::refusal(std::string_view key, std::string_view why) const
{
    const auto origin = origins.find(key);
    return (origin == origins.end() ? source + ": " : origin->second) + std::string(key) + " " + std::string(why);
}

std::vector<std::string> ReportSettings::lines() const
{
    std::vector<std::string> out;
    for (const SettingKey &setting : settingKeys())
        out.push_back(std::string(setting.key) + " = " + setting.text(*this));
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
        for (const SettingKey &setting : settingKeys())
            names.emplace_back(setting.key);
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
