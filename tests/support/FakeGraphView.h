#pragma once

#include "graph/GraphView.h"
#include "graph/TracePoints.h"

#include <utility>
#include <vector>

namespace svglogger::test {

// Records the polylines of the last plot: per trace its points from `first` to 700.
class FakeGraphView final : public GraphView
{
public:
    struct Trace {
        int trace;
        std::vector<std::pair<int, int>> points;
    };
    std::vector<Trace> traces; // of the last plot
    int clears = 0;
    int plots = 0;

    void clearPlot() override
    {
        ++clears;
        traces.clear();
    }
    void drawTrace(int trace, const TracePoints &points, int first) override
    {
        Trace t{trace, {}};
        for (int j = first; j < TracePoints::kPoints; ++j)
            t.points.emplace_back(points.x(j), points.y(j));
        traces.push_back(std::move(t));
    }
    void plotDone() override { ++plots; }
};

} // namespace svglogger::test
