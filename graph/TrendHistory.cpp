#include "graph/TrendHistory.h"

#include "common/TextNumber.h"

namespace svglogger {

void TrendHistory::add(const MeasurementSample &sample)
{
    for (int q = 0; q < kTraces; ++q) {
        if (const auto rounded = roundToInt32(sample[kTrendTraces[static_cast<std::size_t>(q)].source]))
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
