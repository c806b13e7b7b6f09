#pragma once

#include <prometheus/metric_family.h>

#include <vector>

namespace svglogger {

// The process_* families every Prometheus client library serves, read from /proc/self at each
// scrape: CPU seconds, resident and virtual memory, open and allowed file descriptors, the
// start time. A figure the kernel does not give is left out, never served as 0.
std::vector<prometheus::MetricFamily> processMetricFamilies();

} // namespace svglogger
