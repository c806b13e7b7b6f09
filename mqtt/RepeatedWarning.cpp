#include "mqtt/RepeatedWarning.h"

namespace svglogger {

RepeatedWarning::Verdict RepeatedWarning::holds(std::int64_t seconds, std::uint64_t times)
{
    m_total += times;
    if (!m_active) {
        m_active = true;
        m_saidAt = seconds;
        m_unsaid = 0;
        return {Say::Began, times};
    }
    m_unsaid += times;
    if (seconds - m_saidAt < m_repeatSeconds)
        return {};
    m_saidAt = seconds;
    const std::uint64_t count = m_unsaid;
    m_unsaid = 0;
    return {Say::Still, count};
}

RepeatedWarning::Verdict RepeatedWarning::cleared()
{
    if (!m_active)
        return {};
    m_active = false;
    const std::uint64_t total = m_total;
    m_total = 0;
    m_unsaid = 0;
    return {Say::Ended, total};
}

} // namespace svglogger
