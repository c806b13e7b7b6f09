#pragma once

#include "link/PortWriter.h"

#include <string>

namespace svglogger::test {

// Collects every byte written to the port.
class FakePort final : public PortWriter
{
public:
    std::string written;
    void output(std::string_view bytes) override { written.append(bytes); }
};

} // namespace svglogger::test
