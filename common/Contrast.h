#pragma once

#include <cstdint>

namespace svglogger {

// Colours as 0xRRGGBB (sRGB) and how far they stand apart, by WCAG 2's relative luminance:
// a trace must stand 3:1 from its background to be seen (pure green on white is 1.4:1).

// 0 (black) to 1 (white).
double relativeLuminance(std::uint32_t rgb);
// 1 (the same) to 21 (black on white).
double contrastRatio(std::uint32_t a, std::uint32_t b);
// `rgb` itself where it stands `ratio` from `background`, else the same hue darkened (on a
// light background) or lightened (on a dark one) just as far as it takes.
std::uint32_t withContrast(std::uint32_t rgb, std::uint32_t background, double ratio = 3.0);

} // namespace svglogger
