#pragma once

#include <string_view>

namespace svglogger {

// The sending side of the serial port: every character goes out as one byte.
class PortWriter
{
public:
    virtual ~PortWriter() = default;
    virtual void output(std::string_view bytes) = 0;
};

} // namespace svglogger
