#pragma once

#include "quality/PowerQualityReport.h"

#include <string>
#include <utility>
#include <vector>

namespace svglogger {

// The report's tables as CSV files (UTF-8, CR LF, English column names), by file name:
// voltage_10min.csv, compliance.csv, events.csv, dip_table.csv, swell_table.csv, daily.csv,
// summary.csv; each row of figures with its class ("EN 50160 method", "indicative", "not measurable").
std::vector<std::pair<std::string, std::string>> reportCsvFiles(const PowerQualityReport &report);

} // namespace svglogger
