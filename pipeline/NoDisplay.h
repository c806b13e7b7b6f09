#pragma once

#include "graph/GraphView.h"
#include "link/LinkView.h"
#include "recording/RecordingView.h"

namespace svglogger {

// The readout, the graph and the recording's counts where there is no window (the headless
// program, soak runs, benchmarks, the fuzzer): nothing to show, nothing kept.
class NoDisplay final : public LinkView, public GraphView, public RecordingView
{
public:
    void setOutputPath(std::string_view) override {}
    void setRecordCount(std::string_view) override {}
    void setSampleCount(std::string_view) override {}
    void setCaptureIndicatorVisible(bool) override {}
    void showMeasurementTime(std::string_view) override {}
    void communicationLogInserted(std::int32_t, std::string_view) override {}
    void communicationLogTrimmed(std::int32_t) override {}
    void setReadoutValue(int, std::string_view) override {}
    void setNegativeSequenceRowsEnabled(bool) override {}
    void clearPlot() override {}
    void drawTrace(int, const TracePoints &, int) override {}
    void plotDone() override {}
};

} // namespace svglogger
