#include "mqtt/MqttOutbox.h"

#include <algorithm>

namespace svglogger {

void MqttOutbox::put(Message message)
{
    const std::lock_guard lock(m_mutex);
    if (message.kind == Kind::Health) {
        m_health = std::move(message);
        return;
    }
    if (m_waiting.size() >= m_bound && !m_waiting.empty()) {
        auto victim = std::find_if(m_waiting.begin(), m_waiting.end(),
                                   [](const Message &m) { return m.kind == Kind::Sample; });
        if (victim == m_waiting.end())
            victim = m_waiting.begin();
        ++(victim->kind == Kind::Sample ? m_droppedSamples : m_droppedEvents);
        m_waiting.erase(victim);
    }
    m_waiting.push_back(std::move(message));
}

std::deque<MqttOutbox::Message> MqttOutbox::takeMessages()
{
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_waiting, {});
}

std::optional<MqttOutbox::Message> MqttOutbox::takeHealth()
{
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_health, std::nullopt);
}

std::size_t MqttOutbox::waiting() const
{
    const std::lock_guard lock(m_mutex);
    return m_waiting.size();
}

} // namespace svglogger
