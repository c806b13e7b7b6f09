#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace svglogger {

// The rules of the trigger settings window's boxes, applied when a box loses the focus, and
// the duration it shows for one capture.
class TriggerWindowRules
{
public:
    struct RecordCounts {
        std::string preTrigger; // Text1(0) "プリトリガレコード数："
        std::string record;     // Text1(1) "記録レコード数："
    };

    // Either record-count box lost the focus: a record count below the pre-trigger count is
    // copied into it, a negative pre-trigger count becomes "0", a record count below 10 "10".
    static RecordCounts validatedRecordCounts(RecordCounts counts);
    // The comparison depth's box was left: a depth below 1 (also empty or non-numeric text) becomes "1".
    static std::string validatedCompareDepth(std::string_view text);
    // "設定" takes the two counts over: the number in the box rounded to a whole (halves to
    // even), beyond what the rings can hold the nearest end. Five samples a second: 100,000
    // samples look back more than five hours.
    static constexpr std::int32_t kMaxCompareDepth = 100000;
    static std::int32_t takenOverPreTriggerCount(const std::string &text); // 0 to kMaxPreTriggerCount
    static std::int32_t takenOverCompareDepth(const std::string &text);    // 1 to kMaxCompareDepth
    // "(H時間MM分SS秒)" for a duration in seconds, as a time of day: 24 hours or more show only
    // the remainder.
    static std::string durationText(double seconds);
};

} // namespace svglogger
