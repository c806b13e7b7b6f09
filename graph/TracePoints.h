#pragma once

#include "graph/GraphScales.h"

#include <array>
#include <cstdint>

namespace svglogger {

class TrendHistory;

// The 701 polyline points of a trace: x of point j is j; y is filled per trace from the
// trend history so that the newest sample lands at x = 700.
class TracePoints
{
public:
    static constexpr int kPoints = 701;

    TracePoints();

    // Fills y for `quantity` of `history` with `scale` and returns the index of the first
    // point; the points run from there to 700. With an empty history the range is empty.
    int fill(const TrendHistory &history, int quantity, const TraceScale &scale);

    std::int32_t x(int j) const { return m_x[j]; }
    std::int32_t y(int j) const { return m_y[j]; }
    const std::array<std::int32_t, kPoints> &ys() const { return m_y; }

private:
    std::array<std::int32_t, kPoints> m_x{};
    std::array<std::int32_t, kPoints> m_y{};
};

} // namespace svglogger
