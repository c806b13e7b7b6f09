#pragma once

namespace svglogger {

class TracePoints;

// The plot area the traces are drawn into.
class GraphView
{
public:
    virtual ~GraphView() = default;

    // Clears the plot area back to its stored frame.
    virtual void clearPlot() = 0;
    // One solid, one-pixel polyline in the colour of `trace` through points `first` to 700.
    virtual void drawTrace(int trace, const TracePoints &points, int first) = 0;
    // All traces of this sample are drawn.
    virtual void plotDone() = 0;
};

} // namespace svglogger
