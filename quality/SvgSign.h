#pragma once

namespace svglogger {

// How the recorded SVG output's sign is read; one setting for the power factor and for the
// voltage without the SVG. The window's V_unc = V + Q_svg ÷ 10000 × X ÷ 100 × 6700 says that
// removing a positive output raises the voltage: a positive output lowered it, so it is
// reactive power drawn in the same direction as the load's (lagging). Plus reads it so: the
// point of connection carries Q_load + Q_svg, and an SVG that compensates the load records the
// other sign than the load's. Minus reads a positive output as supplied to the grid (leading):
// Q_load − Q_svg, and V_unc = V − Q_svg·X.
enum class SvgSign { Plus, Minus };

// The SVG's output as reactive power drawn in the load's direction, kvar.
constexpr double drawnSvgOutput(double recordedKvar, SvgSign sign)
{
    return sign == SvgSign::Plus ? recordedKvar : -recordedKvar;
}

} // namespace svglogger
