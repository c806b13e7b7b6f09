#pragma once

#include <cstdint>

namespace svglogger {

// Routes every CSV row: to the log file, to the pre-trigger buffer, to the capture file or
// nowhere.
enum class TriggerState : std::int16_t {
    Untriggered = 0, // recording without trigger: rows go to the log file
    Armed = 1,       // waiting for the trigger: rows go to the pre-trigger buffer
    Capturing = 2,   // a capture is being written
    Finished = 3     // a single-shot capture is complete: rows are dropped
};

} // namespace svglogger
