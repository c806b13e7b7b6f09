#pragma once

#include "common/Clock.h"
#include "link/PortWriter.h"
#include "recording/LogFileWriter.h"
#include "pipeline/RunControl.h"

namespace svglogger::test {

// The port, clock and log file that take everything and keep nothing, for soak runs and
// benchmarks where only the engine is measured (the readout, graph and counts: NoDisplay).
class NullPort final : public PortWriter
{
public:
    void output(std::string_view) override {}
};

class NullRunControl final : public RunControl
{
public:
    void stopRun() override {}
};

class FixedClock final : public Clock
{
public:
    LocalDateTime now() const override { return {2026, 12, 7, 10, 30, 15}; }
    std::int64_t epochMilliseconds() const override { return epochMillisecondsAsUtc(now()); }
};

// A log file that takes every line and keeps none.
class NullLogFile final : public LogFileWriter
{
public:
    OpenResult createNew(const std::string &) override { return OpenResult::Opened; }
    bool writeLine(std::string_view) override { return true; }
    void close() override {}
};

} // namespace svglogger::test
