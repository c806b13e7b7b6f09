#include "graph/TracePlotter.h"

#include "graph/GraphView.h"
#include "graph/TrendHistory.h"

namespace svglogger {

void TracePlotter::plotTraces(const TrendHistory &history, bool uncompensatedShown, GraphView &view)
{
    view.clearPlot();
    const int traces = uncompensatedShown ? GraphScales::kTraces : GraphScales::kTraces - 1;
    if (history.count() > 0) {
        for (int t = 0; t < traces; ++t) {
            const int first = m_points.fill(history, t, m_scales.trace(t));
            view.drawTrace(t, m_points, first);
        }
    }
    view.plotDone();
}

} // namespace svglogger
