#pragma once

#include "reading/RecordTable.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace svglogger {

struct TriggerSettings;

// Where a run with these trigger settings would have fired over recorded rows, evaluated by
// the recording's own TriggerEvaluator (comparison depth, OR/AND, the kept condition count
// included). Each row is one sample (an interval file's averages). After a firing, the rows
// of that capture (the record count, less the pre-trigger rows it took) are not evaluated,
// as in a continuous triggered run; a single shot ends at its first capture.
std::vector<std::size_t> replayTrigger(const RecordTable &table, std::size_t first, std::size_t last,
                                       const TriggerSettings &settings, std::int16_t enabledConditionCount);

} // namespace svglogger
