#include "quality/Coverage.h"

#include "reading/RecordColumns.h"

#include <algorithm>
#include <cmath>

namespace svglogger {

namespace c = recordColumn;

Coverage coverageOf(const RecordTable &table, double from, double to, double samplePeriod, double gapSeconds,
                    std::uint16_t runningBits)
{
    Coverage coverage;
    coverage.expected = std::max(0.0, to - from) / samplePeriod;
    const std::size_t first = table.lowerBound(from), last = table.lowerBound(to);
    const std::vector<double> &times = table.times();
    const bool status = table.has(c::kStatus), output = table.has(c::value(MeasurementSample::SvgOutput));
    if (runningBits != 0 && status)
        coverage.runningSeconds = 0.0;
    for (std::size_t row = first; row < last; ++row) {
        ++coverage.samples;
        if (row > first && times[row] - times[row - 1] > gapSeconds)
            coverage.gaps.push_back({times[row - 1], times[row]});
        if (coverage.runningSeconds) {
            const float word = table.value(c::kStatus, row);
            if (!std::isnan(word) && (static_cast<std::uint16_t>(static_cast<int>(word)) & runningBits) == runningBits)
                *coverage.runningSeconds += samplePeriod;
        }
        if (output) {
            const float q = table.value(c::value(MeasurementSample::SvgOutput), row);
            if (!std::isnan(q) && q != 0.0f)
                coverage.outputSeconds += samplePeriod;
        }
    }
    return coverage;
}

} // namespace svglogger
