#include "quality/Coverage.h"

#include "reading/RecordColumns.h"

#include <algorithm>
#include <cmath>

namespace svglogger {

namespace c = recordColumn;

Coverage coverageOf(const RowSpans &rows, double from, double to, std::uint16_t runningBits)
{
    Coverage coverage;
    coverage.periodSeconds = std::max(0.0, to - from);
    coverage.expected = coverage.periodSeconds / rows.samplePeriod();
    const RecordTable &table = rows.table();
    const bool status = table.has(c::kStatus), output = table.has(c::value(MeasurementSample::SvgOutput));
    if (runningBits != 0 && status)
        coverage.runningSeconds = 0.0;
    // From the row before the first in the period: its time may reach into it.
    const std::size_t first = table.lowerBound(from);
    for (std::size_t row = first > 0 ? first - 1 : 0; row < rows.rows() && rows.span(row).begin < to; ++row) {
        const double own = rows.ownBegin(row);
        coverage.samples += own >= from && own < to;
        if (row > first && rows.gapBefore(row))
            coverage.gaps.push_back({table.times()[row - 1], own});
        const double seconds = rows.secondsWithin(row, from, to);
        if (seconds <= 0.0)
            continue;
        coverage.seconds += seconds;
        if (coverage.runningSeconds) {
            const float word = table.value(c::kStatus, row);
            if (!std::isnan(word) && (static_cast<std::uint16_t>(static_cast<int>(word)) & runningBits) == runningBits)
                *coverage.runningSeconds += seconds;
        }
        if (output) {
            const float q = table.value(c::value(MeasurementSample::SvgOutput), row);
            if (!std::isnan(q) && q != 0.0f)
                coverage.outputSeconds += seconds;
        }
    }
    return coverage;
}

} // namespace svglogger
