#pragma once

#include "common/Clock.h"
#include "graph/GraphView.h"
#include "link/LinkView.h"
#include "link/PortWriter.h"
#include "recording/LogFileWriter.h"
#include "recording/RecordingView.h"
#include "recording/RunControl.h"

namespace svglogger::test {

// Views, port, clock and log file that take everything and keep nothing: for soak runs and
// benchmarks, where only the engine is to be measured and nothing may pile up.
class NullLinkView final : public LinkView
{
public:
    void showMeasurementTime(std::string_view) override {}
    void communicationLogInserted(std::int32_t, std::string_view) override {}
    void communicationLogTrimmed(std::int32_t) override {}
    void setReadoutValue(int, std::string_view) override {}
    void setNegativeSequenceRowsEnabled(bool) override {}
};

class NullGraphView final : public GraphView
{
public:
    void clearPlot() override {}
    void drawTrace(int, const TracePoints &, int) override {}
    void plotDone() override {}
};

class NullRecordingView final : public RecordingView
{
public:
    void setOutputPath(std::string_view) override {}
    void setRecordCount(std::string_view) override {}
    void setSampleCount(std::string_view) override {}
    void setCaptureIndicatorVisible(bool) override {}
    void showStatus(std::string_view) override {}
};

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
