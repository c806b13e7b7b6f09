#include "quality/Statistics.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>

namespace svglogger {

std::optional<double> nearestRank(std::vector<double> values, double fraction)
{
    assert(std::none_of(values.begin(), values.end(), [](double v) { return std::isnan(v); }));
    if (values.empty())
        return std::nullopt;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

} // namespace svglogger
