#pragma once

#include "mqtt/MqttLog.h"

#include <mutex>
#include <string>

namespace svglogger::test {

// The MQTT side's lines as the journal writes them without priorities, one a line: text()
// holds them all. Lines come from the network thread too.
class TextLog final : public MqttLog
{
public:
    void info(std::string_view text) override { add(text); }
    void warning(std::string_view text) override { add(text); }
    void fault(std::string_view text) override { add(text); }

    std::string text() const
    {
        const std::lock_guard lock(m_mutex);
        return m_text;
    }

private:
    void add(std::string_view line)
    {
        const std::lock_guard lock(m_mutex);
        m_text.append(line).append("\n");
    }
    mutable std::mutex m_mutex;
    std::string m_text;
};

} // namespace svglogger::test
