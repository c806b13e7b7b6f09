#pragma once

#include "metrics/MetricsState.h"

#include <prometheus/metric_family.h>

#include <vector>

namespace svglogger {

// The families a scrape serves, by Prometheus' conventions: base units, counters ending in
// _total, no timestamps; the link's state and an axis as labels. The last values are left out
// when they are stale at `now`; everything else is always there.
std::vector<prometheus::MetricFamily> metricFamilies(const MetricsState &state, MetricsState::SteadyTime now);

} // namespace svglogger
