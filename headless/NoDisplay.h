#pragma once

#include "graph/GraphView.h"
#include "link/LinkView.h"

namespace svglogger {

// The readout and the graph of a program without a window: nothing to show.
class NoDisplay final : public LinkView, public GraphView
{
public:
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
