#pragma once

#include <array>

namespace svglogger {

// Where a value of a trace lands: y = (top - value) x gain, in pixels from the top.
struct TraceScale {
    float top = 0;  // the value drawn at y = 0
    float gain = 0; // pixels per unit
};

// The scale table of the five traces (0 grid voltage, 1 to 3 powers, 4 uncompensated
// voltage) from the two range sliders: ten divisions of 30 pixels each.
class GraphScales
{
public:
    static constexpr int kTraces = 5;
    static constexpr int kDivisionPixels = 30;

    GraphScales() { update(0, 0); }

    // Slider1(0) `voltageRange` 0 to 2, Slider1(1) `powerRange` -4 to 2.
    void update(int voltageRange, int powerRange);
    const TraceScale &trace(int t) const { return m_traceScale[t]; }

    // The scale number printed at division line b (0 top to 10 bottom).
    static int voltageNumber(int voltageRange, int b) { return (7350 - 350 * voltageRange) - (150 - 50 * voltageRange) * b; }
    static int powerNumber(int powerRange, int c) { return (600 - 150 * powerRange) - (100 - 25 * powerRange) * c; }

private:
    std::array<TraceScale, kTraces> m_traceScale{};
};

} // namespace svglogger
