#include "recording/TriggerFile.h"

#include "common/IniFile.h"
#include "common/TextNumber.h"
#include "recording/TriggerWindowRules.h"

#include <array>
#include <string_view>

namespace svglogger {

namespace {

// Applies one entry; an error text when the key is unknown or the value is not taken.
std::string apply(TriggerFile &file, const std::string &key, const std::string &value)
{
    TriggerSettings &s = file.settings;
    auto number = [&](std::string &target) {
        if (!numberIfWholeText(value))
            return key + " takes a number, not '" + value + "'";
        target = value;
        return std::string();
    };
    auto onOffInto = [&](bool &target) {
        const std::optional<bool> on = switchIfWholeText(value);
        if (!on)
            return key + " takes on or off, not '" + value + "'";
        target = *on;
        return std::string();
    };
    if (key == "type") {
        if (value != "single" && value != "continuous")
            return "type takes single or continuous, not '" + value + "'";
        s.continuous = value == "continuous";
        return {};
    }
    if (key == "combination") {
        if (value != "or" && value != "and")
            return "combination takes or or and, not '" + value + "'";
        s.orCombination = value == "or";
        return {};
    }
    if (key == "pre-trigger-count")
        return number(s.preTriggerCount);
    if (key == "record-count")
        return number(s.recordCount);
    if (key == "compare-depth")
        return number(s.compareDepth);
    for (std::size_t k = 0; k < kTriggerQuantities.size(); ++k) {
        const std::string q(kTriggerQuantities[k].key);
        const bool windowed = !kTriggerQuantities[k].magnitude();
        if (key == q + "-window-out")
            return onOffInto(s.windowOut[k]);
        if (key == q + "-change")
            return onOffInto(s.change[k]);
        if (key == q + "-change-threshold")
            return number(s.changeThresholds[k]);
        if (windowed && key == q + "-upper")
            return number(s.limits[2 * k]);
        if (windowed && key == q + "-lower")
            return number(s.limits[2 * k + 1]);
        if (!windowed && key == q + "-limit")
            return number(s.limits[k + 4]);
    }
    return "unknown key '" + key + "'";
}

} // namespace

TriggerFile TriggerFile::read(const std::string &path)
{
    return fromIni(IniFile::read(path));
}

TriggerFile TriggerFile::fromIni(const IniFile &ini)
{
    TriggerFile file;
    if (!ini.ok()) {
        file.error = ini.error();
        return file;
    }
    for (const IniFile::Entry &entry : ini.entries()) {
        if (std::string why = apply(file, entry.key, entry.value); !why.empty()) {
            file.error = ini.where(entry, why);
            return file;
        }
    }
    // The boxes lose the focus: the window's rules correct them as they would.
    TriggerSettings &s = file.settings;
    const TriggerWindowRules::RecordCounts counts =
        TriggerWindowRules::validatedRecordCounts({s.preTriggerCount, s.recordCount});
    if (counts.preTrigger != s.preTriggerCount)
        file.corrections.push_back("pre-trigger-count " + s.preTriggerCount + " becomes " + counts.preTrigger);
    if (counts.record != s.recordCount)
        file.corrections.push_back("record-count " + s.recordCount + " becomes " + counts.record);
    s.preTriggerCount = counts.preTrigger;
    s.recordCount = counts.record;
    const std::string depth = TriggerWindowRules::validatedCompareDepth(s.compareDepth);
    if (depth != s.compareDepth)
        file.corrections.push_back("compare-depth " + s.compareDepth + " becomes " + depth);
    s.compareDepth = depth;
    for (std::size_t k = 0; k < kTriggerQuantities.size(); ++k)
        file.enabledConditions += int{s.windowOut[k]} + int{s.change[k]};
    return file;
}

} // namespace svglogger
