#pragma once

#include <string_view>

namespace svglogger {

// What a figure of the report can claim: computed as EN 50160 asks (from the controller's
// ~200 ms values, not an IEC 61000-4-30 instrument's), indicative only, or not measurable
// from these values at all (never a number then).
enum class FigureClass { En50160Method, Indicative, NotMeasurable };

// The `class` column's words: "EN 50160 method", "indicative", "not measurable".
std::string_view name(FigureClass figureClass);

} // namespace svglogger
