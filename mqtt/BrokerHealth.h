#pragma once

#include "mqtt/RepeatedWarning.h"

#include <cstdint>
#include <optional>
#include <string>

namespace svglogger {

// What the MQTT publisher knows of its broker, on the network thread: up or not, ever up, the
// last failure said, and the drops counted since the broker was first missed, so that the
// journal says each reason once and, when the broker is back, what was dropped meanwhile.
// It also sees another client with the same client id: a broker gives the connection to the
// newest client, so two such clients take it from each other every few seconds. MQTT 5 may
// say so (Session taken over); a broker may as well just close the socket.
class BrokerHealth
{
public:
    struct Drops {
        std::uint64_t samples = 0;
        std::uint64_t events = 0;
    };
    struct Up {
        bool first = false;  // the first connection of the run
        bool quiet = false;  // a takeover goes on: its connections are not said one by one
        std::string dropped; // "12 samples and 1 event dropped" since the broker was missed, or empty
    };
    // Why the broker closed the connection, when it said so (MQTT 5).
    enum class Closed { Unsaid, SessionTakenOver, OtherReason };
    struct Lost {
        bool said = false;          // "broker lost" is to be said
        bool takeover = false;      // the takeover is to be said: just seen, or an hour after it was said
        std::uint64_t takenSince = 0; // with takeover said again: connections taken since it was said last
        int shortInARow = 0;        // connections lost within kShortSeconds of being made, in a row
    };

    // A connection lost within this many seconds of being made counts towards a takeover,
    // kShortInARow of them in a row are one; a connection that holds this long ends it.
    static constexpr std::int64_t kShortSeconds = 10;
    static constexpr int kShortInARow = 3;
    static constexpr std::int64_t kRemindSeconds = 3600;

    bool connected() const { return m_connected; }
    const std::string &lastError() const { return m_lastError; }
    bool takenOver() const { return m_takeover.active(); }
    // Connections made after the run's first.
    std::uint64_t reconnects() const { return m_reconnects; }

    // A connection could not be made, or the broker refused it, for `why`, at `seconds` (any
    // steady count). True when that is to be said: another reason than the last, the first
    // failure since the broker was up, or the same reason an hour after it was last said.
    bool failed(const std::string &why, Drops now, std::int64_t seconds = 0);
    // When a failure is said again after an hour: the attempts that failed unsaid before it.
    std::uint64_t unsaidAttempts() const { return m_unsaidBefore; }
    // The broker accepted the connection at `seconds`.
    Up up(Drops now, std::int64_t seconds = 0);
    // The connection was lost at `seconds`; said when it was up and the program is not
    // stopping, unless a takeover goes on (said once, and again hourly with its count).
    Lost down(Drops now, bool stopping, std::int64_t seconds = 0, Closed closed = Closed::Unsaid);
    // While connected: after a takeover, once the connection has held kShortSeconds, the
    // takeover is over; then, once, what was dropped while it went on ("" for nothing).
    std::optional<std::string> held(Drops now, std::int64_t seconds);

private:
    void missed(Drops now);
    std::string droppedSinceMissed(Drops now) const;

    bool m_connected = false;
    bool m_everConnected = false;
    bool m_missed = false; // the broker was missed since it was last up (or ever)
    Drops m_atMiss;
    std::string m_lastError;
    std::int64_t m_saidAt = 0;
    std::uint64_t m_attemptsUnsaid = 0;
    std::uint64_t m_unsaidBefore = 0;
    std::uint64_t m_reconnects = 0;
    std::int64_t m_upAt = 0;
    int m_shortInARow = 0;
    RepeatedWarning m_takeover{kRemindSeconds}; // its occurrences: the connections taken
};

} // namespace svglogger
