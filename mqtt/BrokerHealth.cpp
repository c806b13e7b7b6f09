#include "mqtt/BrokerHealth.h"

#include <utility>

namespace svglogger {

namespace {

std::string count(std::uint64_t n, const char *what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

} // namespace

void BrokerHealth::missed(Drops now)
{
    if (m_missed)
        return;
    m_missed = true;
    m_atMiss = now;
}

bool BrokerHealth::failed(const std::string &why, Drops now, std::int64_t seconds)
{
    constexpr std::int64_t kRemindSeconds = 3600;
    const bool news = why != m_lastError || !m_missed || seconds - m_saidAt >= kRemindSeconds;
    missed(now);
    m_lastError = why;
    if (news) {
        m_saidAt = seconds;
        m_unsaidBefore = std::exchange(m_attemptsUnsaid, 0);
    } else {
        ++m_attemptsUnsaid;
    }
    return news;
}

BrokerHealth::Up BrokerHealth::up(Drops now)
{
    Up result;
    result.first = !m_everConnected;
    if (m_missed) {
        const std::uint64_t samples = now.samples - m_atMiss.samples;
        const std::uint64_t events = now.events - m_atMiss.events;
        if (samples != 0 && events != 0)
            result.dropped = count(samples, "sample") + " and " + count(events, "event") + " dropped";
        else if (samples != 0)
            result.dropped = count(samples, "sample") + " dropped";
        else if (events != 0)
            result.dropped = count(events, "event") + " dropped";
    }
    m_connected = true;
    m_everConnected = true;
    m_missed = false;
    m_lastError.clear();
    return result;
}

bool BrokerHealth::down(Drops now, bool stopping)
{
    if (!m_connected)
        return false;
    m_connected = false;
    if (stopping)
        return false;
    m_missed = false; // a loss starts its own count, even after a failure already counted
    missed(now);
    return true;
}

} // namespace svglogger
