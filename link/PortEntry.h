#pragma once

#include <cstdint>
#include <string_view>

namespace svglogger {

// The port number named by a port-list entry: the decimal number after the last "(COM"
// (case as written), read up to the first non-digit. 0 when the entry names no port or the
// number does not fit 16 bits.
std::int16_t portNumberFromEntry(std::string_view entry);

} // namespace svglogger
