#pragma once

#include "link/MeasurementSample.h"
#include "link/Quantity.h"

#include <array>
#include <cstdint>

namespace svglogger {

// Ring of the last 701 decoded samples for the trend graph: five rounded quantities per slot
// (0 grid voltage, 1 load active power, 2 load reactive power, 3 SVG output,
// 4 uncompensated voltage). Lives for the whole program run; never cleared.
class TrendHistory
{
public:
    static constexpr int kSlots = 701;
    static constexpr int kTraces = static_cast<int>(kTrendTraces.size());

    std::int32_t value(int quantity, int slot) const { return m_values[quantity][slot]; }
    // Slot written next; once the ring is full also the slot of the oldest sample.
    std::int32_t writePos() const { return m_trendWritePos; }
    // Slots holding data, 0 to 701.
    std::int32_t count() const { return m_trendCount; }

    // A decoded sample: its five traced quantities, rounded, into the slot at the write
    // position, then the ring moves on. A value no 32-bit integer holds leaves the slot's
    // old value for that quantity.
    void add(const MeasurementSample &sample);

    // Stores into the slot at the write position; the ring does not move.
    void store(int quantity, std::int32_t value) { m_values[quantity][m_trendWritePos] = value; }
    // Moves to the next slot once all quantities of a sample are stored.
    void advance();

private:
    std::array<std::array<std::int32_t, kSlots>, kTraces> m_values{};
    std::int32_t m_trendWritePos = 0;
    std::int32_t m_trendCount = 0;
};

} // namespace svglogger
