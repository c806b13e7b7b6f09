#pragma once

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace svglogger {

// The messages on their way from the engine's thread, which puts them in, to the network
// thread, which takes them all every few milliseconds into its spool. Bounded in case the
// network thread falls behind: beyond the bound the oldest sample goes (an event only when
// no sample is left), counted by kind. Only the newest health message counts.
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
    // The samples and events in the order they came.
    std::deque<Message> takeMessages();
    // The newest health message not yet taken.
    std::optional<Message> takeHealth();

    std::size_t waiting() const;
    std::uint64_t droppedSamples() const { return m_droppedSamples; }
    std::uint64_t droppedEvents() const { return m_droppedEvents; }

private:
    const std::size_t m_bound;
    mutable std::mutex m_mutex;
    std::deque<Message> m_waiting;         // guarded by m_mutex
    std::optional<Message> m_health;       // guarded by m_mutex
    std::atomic<std::uint64_t> m_droppedSamples{0};
    std::atomic<std::uint64_t> m_droppedEvents{0};
};

} // namespace svglogger
