#include "headless/MqttOutbox.h"

#include <algorithm>
#include <cassert>

namespace svglogger {

void MqttOutbox::put(Message message)
{
    const std::lock_guard lock(m_mutex);
    if (message.kind == Kind::Health) {
        // Only the newest health counts: one still waiting is replaced.
        const auto waiting = std::find_if(m_waiting.begin(), m_waiting.end(),
                                          [](const Message &m) { return m.kind == Kind::Health; });
        if (waiting != m_waiting.end())
            m_waiting.erase(waiting);
    }
    if (m_waiting.size() >= m_bound) {
        // The oldest sample or event goes; the one health message waiting stays.
        auto oldest = m_waiting.begin();
        if (oldest != m_waiting.end() && oldest->kind == Kind::Health)
            ++oldest;
        if (oldest != m_waiting.end()) {
            countDrop(oldest->kind);
            m_waiting.erase(oldest);
        }
    }
    m_waiting.push_back(std::move(message));
}

std::optional<MqttOutbox::Message> MqttOutbox::take()
{
    const std::lock_guard lock(m_mutex);
    if (m_waiting.empty())
        return std::nullopt;
    Message message = std::move(m_waiting.front());
    m_waiting.pop_front();
    ++m_handed; // counted as waiting while it is between the two
    return message;
}

void MqttOutbox::putBack(Message message)
{
    const std::lock_guard lock(m_mutex);
    assert(m_handed > 0);
    --m_handed;
    m_waiting.push_front(std::move(message));
}

void MqttOutbox::settle()
{
    const std::lock_guard lock(m_mutex);
    assert(m_handed > 0);
    --m_handed;
}

void MqttOutbox::refused(Kind kind)
{
    settle();
    countDrop(kind);
}

std::size_t MqttOutbox::queued() const
{
    const std::lock_guard lock(m_mutex);
    return m_waiting.size() + m_handed;
}

} // namespace svglogger
