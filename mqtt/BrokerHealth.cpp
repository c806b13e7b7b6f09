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

std::string BrokerHealth::droppedSinceMissed(Drops now) const
{
    if (!m_missed)
        return {};
    const std::uint64_t samples = now.samples - m_atMiss.samples;
    const std::uint64_t events = now.events - m_atMiss.events;
    if (samples != 0 && events != 0)
        return count(samples, "sample") + " and " + count(events, "event") + " dropped";
    if (samples != 0)
        return count(samples, "sample") + " dropped";
    if (events != 0)
        return count(events, "event") + " dropped";
    return {};
}

bool BrokerHealth::failed(const std::string &why, Drops now, std::int64_t seconds)
{
    const bool news = why != m_lastError || !m_missed || seconds - m_saidAt >= kRemindSeconds;
    missed(now);
    m_lastError = why;
    // Only a broker that takes every connection and closes it again is a takeover.
    m_shortInARow = 0;
    if (news) {
        m_saidAt = seconds;
        m_unsaidBefore = std::exchange(m_attemptsUnsaid, 0);
    } else {
        ++m_attemptsUnsaid;
    }
    return news;
}

BrokerHealth::Up BrokerHealth::up(Drops now, std::int64_t seconds)
{
    Up result;
    result.first = !m_everConnected;
    result.quiet = m_takeover.active();
    if (!m_takeover.active()) { // a takeover counts its drops until it is over
        result.dropped = droppedSinceMissed(now);
        m_missed = false;
    }
    if (m_everConnected)
        ++m_reconnects;
    m_connected = true;
    m_everConnected = true;
    m_lastError.clear();
    m_upAt = seconds;
    return result;
}

BrokerHealth::Lost BrokerHealth::down(Drops now, bool stopping, std::int64_t seconds, Closed closed)
{
    Lost lost;
    if (!m_connected)
        return lost;
    m_connected = false;
    if (stopping)
        return lost;
    if (closed == Closed::OtherReason)
        m_shortInARow = 0; // the broker said why: no takeover
    else if (seconds - m_upAt < kShortSeconds)
        ++m_shortInARow;
    else
        m_shortInARow = 0;
    lost.shortInARow = m_shortInARow;
    const bool taken = closed == Closed::SessionTakenOver || m_shortInARow >= kShortInARow;
    if (m_takeover.active()) {
        if (const RepeatedWarning::Verdict again = m_takeover.holds(seconds); again.say == RepeatedWarning::Say::Still) {
            lost.takeover = true;
            lost.takenSince = again.count;
        }
        return lost;
    }
    if (taken) {
        m_takeover.holds(seconds, 0);
        lost.takeover = true;
    } else {
        lost.said = true;
        m_missed = false; // a loss starts its own count, even after a failure already counted
    }
    missed(now);
    return lost;
}

std::optional<std::string> BrokerHealth::held(Drops now, std::int64_t seconds)
{
    if (!m_takeover.active() || !m_connected || seconds - m_upAt < kShortSeconds)
        return std::nullopt;
    m_takeover.cleared();
    m_shortInARow = 0;
    std::string dropped = droppedSinceMissed(now);
    m_missed = false;
    return dropped;
}

} // namespace svglogger
