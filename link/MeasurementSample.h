#pragma once

#include <array>
#include <cassert>
#include <cstddef>

namespace svglogger {

// One decoded measurement: ten single-precision values addressed by index. Zeroed at the
// start of every receive event; within an event a value changes only when its step succeeds.
struct MeasurementSample {
    enum Index : std::size_t {
        GridVoltage = 0,          // V
        LoadActivePower = 1,      // kW
        LoadReactivePower = 2,    // kVar
        SvgOutput = 3,            // kVar
        NegSeqVoltageD = 4,       // V, version-2 controllers only
        NegSeqVoltageQ = 5,       // V
        NegSeqCommandD = 6,       // A
        NegSeqCommandQ = 7,       // A
        UncompensatedVoltage = 8, // V, calculated
        StatusWord = 9,           // status word as a signed 16-bit number
        FieldCount = 10
    };

    std::array<float, FieldCount> values{};

    float &operator[](std::size_t index)
    {
        assert(index < values.size());
        return values[index];
    }
    float operator[](std::size_t index) const
    {
        assert(index < values.size());
        return values[index];
    }
    void clear() { values.fill(0.0f); }
};

// The voltage the grid would have without the SVG (V): the grid voltage plus the voltage the
// SVG's output (kVar) raises across the percentage reactance X (per 10 MVA, 6.7 kV base).
inline double uncompensatedVoltage(double gridVoltage, double svgOutputKvar, double reactancePercent)
{
    return gridVoltage + svgOutputKvar / 10000.0 * reactancePercent / 100.0 * 6700.0;
}

} // namespace svglogger
