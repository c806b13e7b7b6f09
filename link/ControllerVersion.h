#pragma once

#include <cstdint>

namespace svglogger {

// The controller's generations, as its version line names them ("Ver2." is version 2, any
// other version an older controller): the line layout, the CSV layout and the readout rows
// follow it. Unknown until the first version line of the program.
enum class ControllerVersion : std::int16_t { Unknown = 0, Older = 1, Version2 = 2 };

// The number MQTT messages and the fuzzer's checks give it: 0, 1 or 2.
constexpr int versionNumber(ControllerVersion version)
{
    return static_cast<int>(version);
}

} // namespace svglogger
