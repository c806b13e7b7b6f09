#pragma once

#include <cstdint>

namespace svglogger {

// State of the dialogue with the controller. The value 1 is not used.
enum class LinkState : std::int16_t {
    Idle = 0,           // no measurement run, port closed
    AwaitingPrompt = 2, // ESC sent, waiting for "D:"
    Streaming = 3       // "MN R" sent, measurement lines expected
};

} // namespace svglogger
