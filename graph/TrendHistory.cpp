#include "graph/TrendHistory.h"

#include "common/TextNumber.h"

namespace svglogger {

void TrendHistory::add(const MeasurementSample &sample)
{
    using S = MeasurementSample;
    constexpr S::Index traced[kQuantities] = {S::GridVoltage, S::LoadActivePower, S::LoadReactivePower, S::SvgOutput,
                                              S::UncompensatedVoltage};
    for (int q = 0; q < kQuantities; ++q) {
        if (const auto rounded = roundToInt32(sample[traced[q]]))
            store(q, *rounded);
    }
    advance();
}

void TrendHistory::advance()
{
    ++m_trendWritePos;
    if (m_trendCount < m_trendWritePos)
        m_trendCount = m_trendWritePos;
    m_trendWritePos %= kSlots;
}

} // namespace svglogger
