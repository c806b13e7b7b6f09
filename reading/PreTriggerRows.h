#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace svglogger {

// The moment a log file's name was taken, "Tarmin{day}D{hour}H{minute}M{second}[G][-n].csv":
// the day of the month and the seconds into that day. Nothing for any other name.
struct FileNameTime {
    int day = 1;
    int secondOfDay = 0;
};
std::optional<FileNameTime> fileNameTime(std::string_view fileName);

// How many rows of a capture file come before the row that fired it. A capture file is named
// when the trigger fires, so its pre-trigger rows are the ones stamped before its name's
// moment; an hourly file is named by its first row. `times` are the file's rows (seconds, as
// the table spreads them within their second); `preTriggerCount` the trigger's setting as
// the user knows it (0: unknown), which says how many rows of the firing's own second still
// came before it. 0 for a file that is no capture or fired on its first row.
std::size_t preTriggerRows(std::string_view fileName, const double *times, std::size_t rows,
                           std::size_t preTriggerCount);

} // namespace svglogger
