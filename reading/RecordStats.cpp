#include "reading/RecordStats.h"

#include "reading/RecordTime.h"
#include "recording/CsvText.h"

#include <cmath>
#include <utility>
#include <vector>

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

// The statistics of the rows [first, last) that lie within [from, before) (rowWithin).
std::string statsOfRows(const RecordSet &set, std::size_t first, std::size_t last, double from, double before)
{
    const RecordTable &table = set.table();
    std::string text = "name,min,max,mean,count\n";
    for (int slot : set.columns()) {
        ColumnStats stats;
        const std::vector<float> &column = table.column(slot);
        for (std::size_t r = first; r < last && r < column.size(); ++r)
            if (!std::isnan(column[r]) && table.within(r, from, before))
                stats.add(column[r]);
        text += line(slot, stats);
    }
    return text;
}

// The rows that may lie within [from, before): from the first at `from` to the last at
// `before` itself (an interval row's span may end there).
std::pair<std::size_t, std::size_t> rowsAround(const RecordTable &table, double from, double before)
{
    const std::size_t last = table.atOrBefore(before);
    return {table.lowerBound(from), last == table.rows() ? 0 : last + 1};
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
    // The rows spread over the second `to` too.
    const auto [first, last] = rowsAround(set.table(), from, to + 1.0);
    return statsOfRows(set, first, last, from, to + 1.0);
}

std::string statsTextBy(const RecordSet &set, std::int64_t seconds, double from, double to)
{
    const RecordTable &table = set.table();
    const double before = to + 1.0;
    const auto [first, last] = rowsAround(table, from, before);
    std::string text;
    // Each row in the block its blockTime is in (an interval row in the one its span ends
    // in); a block of rows in time order, named when a row of it lies within the range.
    std::size_t blockFirst = first;
    std::int64_t start = 0;
    bool any = false;
    for (std::size_t r = first; r <= last; ++r) {
        const std::int64_t at = r < last ? blockStart(table.blockTime(r), seconds) : start;
        if (r == last || (r > blockFirst && at != start)) {
            if (any)
                text += rowTimeText(start) + "\n" + statsOfRows(set, blockFirst, r, from, before);
            blockFirst = r;
            any = false;
        }
        if (r < last) {
            start = at;
            any = any || table.within(r, from, before);
        }
    }
    return text;
}

} // namespace svglogger
