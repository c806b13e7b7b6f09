#include "link/PortEntry.h"

namespace svglogger {

std::string windowsPortEntry(std::string_view description, std::string_view portName)
{
    const std::string mark = "(" + std::string(portName) + ")";
    if (description.ends_with(mark))
        return std::string(description);
    return std::string(description.empty() ? portName : description) + " " + mark;
}

std::int16_t portNumberFromEntry(std::string_view entry)
{
    constexpr std::string_view kMarker = "(COM";
    const std::size_t at = entry.rfind(kMarker);
    if (at == std::string_view::npos)
        return 0;
    int number = 0;
    for (std::size_t i = at + kMarker.size(); i < entry.size() && entry[i] >= '0' && entry[i] <= '9'; ++i) {
        number = number * 10 + (entry[i] - '0');
        if (number > 32767)
            return 0;
    }
    return static_cast<std::int16_t>(number);
}

} // namespace svglogger
