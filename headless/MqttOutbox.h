#pragma once

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace svglogger {

// The messages waiting for the broker, between the engine's thread (which puts them in) and
// the network thread (which takes them out in order). Bounded: beyond the bound the oldest
// sample or event goes and is counted by kind; only the newest health message counts, and it
// is never the one dropped.
class MqttOutbox
{
public:
    enum class Kind { Sample, Event, Health };
    struct Message {
        Kind kind = Kind::Sample;
        std::string topic;
        QByteArray payload;
        bool retain = false;
    };

    explicit MqttOutbox(std::size_t bound) : m_bound(bound) {}

    void put(Message message);
    // The oldest message, now counted as handed over until settled; none when empty.
    std::optional<Message> take();
    // A message taken but not accepted by the connection: first again next time.
    void putBack(Message message);
    // A message taken has been acknowledged by the broker, or refused and counted as dropped.
    void settle();
    void refused(Kind kind);

    // Waiting, and handed over but not yet settled.
    std::size_t queued() const;
    std::uint64_t droppedSamples() const { return m_droppedSamples; }
    std::uint64_t droppedEvents() const { return m_droppedEvents; }

private:
    void countDrop(Kind kind) { ++(kind == Kind::Sample ? m_droppedSamples : m_droppedEvents); }

    const std::size_t m_bound;
    mutable std::mutex m_mutex;
    std::deque<Message> m_waiting;
    std::size_t m_handed = 0; // guarded by m_mutex
    std::atomic<std::uint64_t> m_droppedSamples{0};
    std::atomic<std::uint64_t> m_droppedEvents{0};
};

} // namespace svglogger
