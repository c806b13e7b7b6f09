#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace svglogger {

// The port-list entry of a port that Windows' inventory reports as `description` and
// `portName` ("COM3"): the description with "(COM3)" after it, as Windows names the device
// ("USB Serial Port (COM3)"); the port name alone when there is no description. A
// description that already ends in that mark is kept as it is.
std::string windowsPortEntry(std::string_view description, std::string_view portName);

// The port number named by a port-list entry: the decimal number after the last "(COM"
// (case as written), read up to the first non-digit. 0 when the entry names no port or the
// number does not fit 16 bits.
std::int16_t portNumberFromEntry(std::string_view entry);

} // namespace svglogger
