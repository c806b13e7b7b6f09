#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace svglogger {

// Turns a line into the bytes that go out for it, CR included; at the given share of lines
// it injects a fault instead: a truncated line, junk bytes, a CR LF line end, a field out of
// the 16-bit range, or a 40,000-character run without CR in front of the line.
class LineGarbler
{
public:
    enum class Fault { None, Truncated, Junk, CrLf, OutOfRange, LongRun };

    LineGarbler(double rate, std::uint32_t seed);

    std::string bytesFor(const std::string &line);
    Fault lastFault() const { return m_lastFault; }

    static constexpr std::size_t kLongRun = 40000;

private:
    double m_rate = 0.0;
    std::mt19937 m_random;
    Fault m_lastFault = Fault::None;
};

} // namespace svglogger
