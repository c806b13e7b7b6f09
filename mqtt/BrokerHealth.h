#pragma once

#include <cstdint>
#include <string>

namespace svglogger {

// What the MQTT publisher knows of its broker, on the network thread: up or not, ever up, the
// last failure said, and the drops counted since the broker was first missed, so that the
// journal says each reason once and, when the broker is back, what was dropped meanwhile.
class BrokerHealth
{
public:
    struct Drops {
        std::uint64_t samples = 0;
        std::uint64_t events = 0;
    };
    struct Up {
        bool first = false;  // the first connection of the run
        std::string dropped; // "12 samples and 1 event dropped" since the broker was missed, or empty
    };

    bool connected() const { return m_connected; }
    const std::string &lastError() const { return m_lastError; }

    // A connection could not be made, or the broker refused it, for `why`, at `seconds` (any
    // steady count). True when that is to be said: another reason than the last, the first
    // failure since the broker was up, or the same reason an hour after it was last said.
    bool failed(const std::string &why, Drops now, std::int64_t seconds = 0);
    // When a failure is said again after an hour: the attempts that failed unsaid before it.
    std::uint64_t unsaidAttempts() const { return m_unsaidBefore; }
    // The broker accepted the connection.
    Up up(Drops now);
    // The connection was lost; true when that is to be said (it was up, and the program is
    // not stopping).
    bool down(Drops now, bool stopping);

private:
    void missed(Drops now);

    bool m_connected = false;
    bool m_everConnected = false;
    bool m_missed = false; // the broker was missed since it was last up (or ever)
    Drops m_atMiss;
    std::string m_lastError;
    std::int64_t m_saidAt = 0;
    std::uint64_t m_attemptsUnsaid = 0;
    std::uint64_t m_unsaidBefore = 0;
};

} // namespace svglogger
