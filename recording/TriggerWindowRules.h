#pragma once

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
    // "(H時間MM分SS秒)" for a duration in seconds, as a time of day: 24 hours or more show only
    // the remainder.
    static std::string durationText(double seconds);
};

} // namespace svglogger
