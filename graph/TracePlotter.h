#pragma once

#include "graph/GraphScales.h"
#include "graph/TracePoints.h"

namespace svglogger {

class GraphView;
class TrendHistory;

// PlotTraces: redraws every trace from the trend history at each decoded sample, the newest
// sample at the right edge; the uncompensated voltage only while it is switched on.
class TracePlotter
{
public:
    void plotTraces(const TrendHistory &history, bool uncompensatedShown, GraphView &view);

    GraphScales &scales() { return m_scales; }
    const GraphScales &scales() const { return m_scales; }

private:
    GraphScales m_scales;
    TracePoints m_points;
};

} // namespace svglogger
