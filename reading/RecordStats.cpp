#include "reading/RecordStats.h"
#include "reading/RecordTime.h"

#include "recording/CsvText.h"

#include <cmath>

namespace svglogger {

namespace {

std::string line(int slot, const ColumnStats &stats)
{
    std::string text = columnName(slot) + ",";
    if (stats.count == 0)
        return text + ",,,0\n";
    text += stats.minText + "," + stats.maxText + ",";
    appendNumberText(text, stats.sum / static_cast<double>(stats.count), -1);
    return text + "," + std::to_string(stats.count) + "\n";
}

} // namespace

std::string statsText(const RecordSet &set)
{
    std::string text = "name,min,max,mean,count\n";
    for (int slot : set.columns())
        text += line(slot, set.stats()[static_cast<std::size_t>(slot)]);
    return text;
}

std::string statsText(const RecordSet &set, double from, double to)
{
    const RecordTable &table = set.table();
    const std::size_t first = table.lowerBound(from);
    const std::size_t last = table.lowerBound(to + 1.0); // the rows spread over the second `to` too
    std::string text = "name,min,max,mean,count\n";
    for (int slot : set.columns()) {
        ColumnStats stats;
        const std::vector<float> &column = table.column(slot);
        for (std::size_t r = first; r < last && r < column.size(); ++r) {
            if (std::isnan(column[r]))
                continue;
            // The logger writes at most 7 significant digits: the float's shortest text is
            // the file's.
            std::string shown;
            appendNumberText(shown, column[r], -1);
            stats.add(column[r], shown);
        }
        text += line(slot, stats);
    }
    return text;
}

std::string statsTextBy(const RecordSet &set, std::int64_t seconds, double from, double to)
{
    const RecordTable &table = set.table();
    std::string text;
    std::size_t row = table.lowerBound(from);
    while (row < table.rows() && table.times()[row] < to + 1.0) {
        // The block of this row; the next starts at the first row after it.
        const std::int64_t start = blockStart(table.times()[row], seconds);
        const double blockFrom = std::max(from, static_cast<double>(start));
        const double blockTo = std::min(to, static_cast<double>(start + seconds - 1));
        text += rowTimeText(start) + "\n" + statsText(set, blockFrom, blockTo);
        row = table.lowerBound(static_cast<double>(start + seconds));
    }
    return text;
}

} // namespace svglogger
