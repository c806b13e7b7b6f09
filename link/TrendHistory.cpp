#include "link/TrendHistory.h"

namespace svglogger {

void TrendHistory::advance()
{
    ++m_trendWritePos;
    if (m_trendCount < m_trendWritePos)
        m_trendCount = m_trendWritePos;
    m_trendWritePos %= kSlots;
}

} // namespace svglogger
