#pragma once

#include "quality/PowerQualityReport.h"

#include <QString>

#include <cstdint>

namespace svglogger::reportText {

// The report's own words in its language: the pages, the pictures and the HTML file's.
bool japanese(const PowerQualityReport &report);
QString say(const PowerQualityReport &report, const char *ja, const char *en);

// A number with `decimals` places, a time as the log files write it (midnight too with its
// time), a date.
QString number(double value, int decimals);
QString timeText(double time);
QString dateText(std::int64_t midnight);

} // namespace svglogger::reportText
