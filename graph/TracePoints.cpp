#include "graph/TracePoints.h"

#include "common/TextNumber.h"
#include "graph/TrendHistory.h"

#include <algorithm>

namespace svglogger {

namespace {

// y is not limited (the plot area clips), but it must stay a 32-bit number.
std::int32_t pixelRow(const TraceScale &scale, std::int32_t value)
{
    const double y = roundHalfEven((double{scale.top} - value) * double{scale.gain});
    return static_cast<std::int32_t>(std::clamp(y, -2147483648.0, 2147483647.0));
}

} // namespace

TracePoints::TracePoints()
{
    for (int j = 0; j < kPoints; ++j)
        m_x[j] = j;
}

int TracePoints::fill(const TrendHistory &history, int quantity, const TraceScale &scale)
{
    const int count = history.count();
    if (count >= kPoints) {
        // Full ring: the oldest sample (at the write position) lands at x = 0.
        int slot = history.writePos();
        for (int k = 0; k < kPoints; ++k) {
            m_y[k] = pixelRow(scale, history.value(quantity, slot));
            if (++slot == TrendHistory::kSlots)
                slot = 0;
        }
        return 0;
    }
    const int first = kPoints - count;
    for (int k = 0; k < count; ++k)
        m_y[first + k] = pixelRow(scale, history.value(quantity, k));
    return first;
}

} // namespace svglogger
