#include "reading/RecordStats.h"

#include "reading/ClockBlocks.h"
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

// The statistics of the rows [first, last).
std::string statsOfRows(const RecordSet &set, std::size_t first, std::size_t last)
{
    const RecordTable &table = set.table();
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
    // The rows spread over the second `to` too.
    return statsOfRows(set, table.lowerBound(from), table.lowerBound(to + 1.0));
}

std::string statsTextBy(const RecordSet &set, std::int64_t seconds, double from, double to)
{
    std::string text;
    for (const ClockBlock &block : ClockBlocks(set.table().times(), seconds, from, to + 1.0))
        text += rowTimeText(block.start) + "\n" + statsOfRows(set, block.firstRow, block.endRow);
    return text;
}

} // namespace svglogger
