#include "graph/GraphScales.h"

namespace svglogger {

void GraphScales::update(int voltageRange, int powerRange)
{
    // Divisions computed in double, kept as 32-bit floats.
    const TraceScale voltage{static_cast<float>(7350 - 350 * voltageRange),
                             static_cast<float>(30.0 / (150 - 50 * voltageRange))};
    const TraceScale power{static_cast<float>(600 - 150 * powerRange),
                           static_cast<float>(30.0 / (100 - 25 * powerRange))};
    m_traceScale = {voltage, power, power, power, voltage};
}

} // namespace svglogger
