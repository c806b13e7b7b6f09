#pragma once

#include "LogFileOpener.h"

namespace svglogger::test {

// Counts the FOpen hand-offs.
class CountingOpener final : public LogFileOpener
{
public:
    int calls = 0;
    void fOpen() override { ++calls; }
};

} // namespace svglogger::test
