#include "recording/TriggerWindowRules.h"

#include "common/TextNumber.h"
#include "recording/TriggerCapture.h"

#include <algorithm>

#include <cmath>
#include <cstdio>

namespace svglogger {

TriggerWindowRules::RecordCounts TriggerWindowRules::validatedRecordCounts(RecordCounts counts)
{
    if (readTextNumber(counts.record) < readTextNumber(counts.preTrigger))
        counts.preTrigger = counts.record;
    if (readTextNumber(counts.preTrigger) < 0)
        counts.preTrigger = "0";
    if (readTextNumber(counts.record) < 10)
        counts.record = "10";
    return counts;
}

std::string TriggerWindowRules::validatedCompareDepth(std::string_view text)
{
    return atLeastOneText(text);
}

std::string TriggerWindowRules::durationText(double seconds)
{
    if (!std::isfinite(seconds))
        seconds = 0;
    // Whole seconds of the time of day; a remainder of half a second or more rounds up.
    long long total = std::llround(std::fmod(seconds, 86400.0));
    total = ((total % 86400) + 86400) % 86400;
    char text[64];
    std::snprintf(text, sizeof text, "(%lld時間%02lld分%02lld秒)", total / 3600, total / 60 % 60, total % 60);
    return text;
}

std::int32_t TriggerWindowRules::takenOverPreTriggerCount(const std::string &text)
{
    return static_cast<std::int32_t>(
        std::clamp(roundHalfEven(readTextNumber(text)), 0.0, double{TriggerCapture::kMaxPreTriggerCount}));
}

std::int32_t TriggerWindowRules::takenOverCompareDepth(const std::string &text)
{
    return static_cast<std::int32_t>(std::clamp(roundHalfEven(readTextNumber(text)), 1.0, double{kMaxCompareDepth}));
}

} // namespace svglogger
