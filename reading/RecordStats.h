#pragma once

#include "reading/RecordSet.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace svglogger {

// The statistics of each column, as "--stats" prints them: a header line
// "name,min,max,mean,count", then a line per column of the files in their order, the name as
// the header has it, min and max as the file wrote them, the mean to 7 significant digits.
// With a time range, only its rows count; a column without a value there gives its name and
// a count of 0.
std::string statsText(const RecordSet &set);
std::string statsText(const RecordSet &set, double from, double to);
// One block an hour or a day (`seconds` 3600 or 86400, by the local clock's calendar) that has
// rows within [from, to]: a line naming it as the log files write times ("2026/12/01",
// "2026/12/01 13:00:00"), then its statsText lines.
std::string statsTextBy(const RecordSet &set, std::int64_t seconds, double from, double to);

} // namespace svglogger
