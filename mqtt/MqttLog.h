#pragma once

#include <string_view>

namespace svglogger {

// Where the MQTT side says what became of the broker, the spool and the run's clock: one line
// each, from the engine's thread and the network thread alike, so an implementation writes
// each line whole.
class MqttLog
{
public:
    virtual ~MqttLog() = default;

    virtual void info(std::string_view text) = 0;
    // Something went wrong and publishing goes on around it (the broker away, the spool).
    virtual void warning(std::string_view text) = 0;
    // A message or a setting the broker or libmosquitto refuses.
    virtual void fault(std::string_view text) = 0;
};

} // namespace svglogger
