#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace svglogger {

// The system's own texts in Shift-JIS (code page 932) without a converter library: ASCII as
// it is, the characters of the CSV headers from a table of their codes. Empty when `utf8`
// holds any other character or is not valid UTF-8.
std::optional<std::string> toShiftJis(std::string_view utf8);

} // namespace svglogger
