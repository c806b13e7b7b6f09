#pragma once

#include <optional>
#include <vector>

namespace svglogger {

// The value not exceeded by `fraction` (0 to 1) of `values` by nearest rank: the ⌈fraction·n⌉-th
// smallest, at least the first; fraction 0 gives the minimum, 1 the maximum. None of none.
// The values hold no NaN (they would leave the order undefined).
std::optional<double> nearestRank(std::vector<double> values, double fraction);

} // namespace svglogger
