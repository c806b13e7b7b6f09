#pragma once

#include <string_view>

namespace svglogger {

// What the report says of a parameter against its limit. EN 50160 gives limits for the supply
// voltage's 10-minute values and the unbalance only; for dips, swells, interruptions and rapid
// voltage changes it gives indicative values (a count per year, a typical size): no limit to
// pass or fail, so their figures stand without a verdict of their own.
enum class Verdict { Pass, Fail, NotAvailable, NoLimit, NotMeasurable };

// As the CSV files say it: "pass", "fail", "not available", "no limit", "not measurable".
std::string_view name(Verdict verdict);

} // namespace svglogger
