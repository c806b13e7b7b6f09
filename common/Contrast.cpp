#include "common/Contrast.h"

#include <algorithm>
#include <cmath>

namespace svglogger {

namespace {

double linear(unsigned channel)
{
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

unsigned channel(std::uint32_t rgb, int shift)
{
    return (rgb >> shift) & 0xFFu;
}

// Each channel moved towards 0 (t = 0: as it is, 1: black) or towards 255.
std::uint32_t mixed(std::uint32_t rgb, double t, bool towardsWhite)
{
    std::uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
        const double c = channel(rgb, shift);
        const double m = towardsWhite ? c + (255.0 - c) * t : c * (1.0 - t);
        out |= static_cast<std::uint32_t>(std::lround(std::clamp(m, 0.0, 255.0))) << shift;
    }
    return out;
}

} // namespace

double relativeLuminance(std::uint32_t rgb)
{
    return 0.2126 * linear(channel(rgb, 16)) + 0.7152 * linear(channel(rgb, 8)) + 0.0722 * linear(channel(rgb, 0));
}

double contrastRatio(std::uint32_t a, std::uint32_t b)
{
    const double la = relativeLuminance(a), lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::uint32_t withContrast(std::uint32_t rgb, std::uint32_t background, double ratio)
{
    if (contrastRatio(rgb, background) >= ratio)
        return rgb;
    const bool towardsWhite = relativeLuminance(background) < 0.5;
    // The least change that reaches the ratio: contrast grows with t, so bisect.
    double low = 0.0, high = 1.0;
    for (int i = 0; i < 30; ++i) {
        const double t = (low + high) / 2;
        (contrastRatio(mixed(rgb, t, towardsWhite), background) >= ratio ? high : low) = t;
    }
    return mixed(rgb, high, towardsWhite);
}

} // namespace svglogger
