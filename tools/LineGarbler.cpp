#include "tools/LineGarbler.h"

#include <algorithm>

namespace svglogger {

LineGarbler::LineGarbler(double rate, std::uint32_t seed)
    : m_rate(std::clamp(rate, 0.0, 1.0))
    , m_random(seed)
{
}

std::string LineGarbler::bytesFor(const std::string &line)
{
    m_lastFault = Fault::None;
    if (m_rate <= 0.0 || std::uniform_real_distribution<double>(0.0, 1.0)(m_random) >= m_rate)
        return line + "\r";

    m_lastFault = static_cast<Fault>(std::uniform_int_distribution<int>(1, 5)(m_random));
    switch (m_lastFault) {
    case Fault::Truncated: {
        const std::size_t cut = std::uniform_int_distribution<std::size_t>(0, line.size() / 2)(m_random);
        return line.substr(0, cut) + "\r";
    }
    case Fault::Junk: {
        std::string junk;
        const int n = std::uniform_int_distribution<int>(1, 12)(m_random);
        for (int i = 0; i < n; ++i) {
            char c = static_cast<char>(std::uniform_int_distribution<int>(1, 255)(m_random));
            junk += c == '\r' ? '?' : c;
        }
        const std::size_t at = std::uniform_int_distribution<std::size_t>(0, line.size())(m_random);
        return line.substr(0, at) + junk + line.substr(at) + "\r";
    }
    case Fault::CrLf:
        return line + "\r\n";
    case Fault::OutOfRange: {
        // The voltage field: field 2 of the older layout, field 5 of version 2.
        const std::size_t fields = static_cast<std::size_t>(std::count(line.begin(), line.end(), ','));
        const int target = fields >= 17 ? 5 : 2;
        std::size_t start = line.find(',');
        for (int i = 0; i < target && start != std::string::npos; ++i)
            start = line.find(',', start + 1);
        if (start == std::string::npos)
            return line + "\r";
        const std::size_t end = line.find(',', start + 1);
        return line.substr(0, start + 1) + "40000" + (end == std::string::npos ? "" : line.substr(end)) + "\r";
    }
    case Fault::LongRun:
        return std::string(kLongRun, 'x') + line + "\r";
    case Fault::None:
        break;
    }
    return line + "\r";
}

} // namespace svglogger
