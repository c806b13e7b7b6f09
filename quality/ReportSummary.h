#pragma once

#include "quality/FigureClass.h"
#include "quality/Verdict.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace svglogger {

struct PowerQualityReport;

// The report's first page, the one to sign: a row for each parameter EN 50160 sets for medium
// voltage, what these values can say of it, against what, and the verdict.
struct ReportSummary {
    enum class Parameter {
        VoltageVariation,
        Unbalance,
        Dips,
        Swells,
        ShortInterruptions,
        LongInterruptions,
        RapidVoltageChanges,
        Frequency,
        Flicker,
        Harmonics,
        Signalling,
    };
    // The period's 10-minute intervals by what they hold of the parameter; they add up to all
    // the period's intervals. Valid: complete and not flagged.
    struct Intervals {
        std::size_t valid = 0, flagged = 0, incomplete = 0, missing = 0;
    };
    struct Row {
        Parameter parameter = Parameter::VoltageVariation;
        FigureClass figureClass = FigureClass::En50160Method;
        std::string limit;                 // "-" where EN 50160 sets none; never a comma
        std::optional<Intervals> intervals; // none where not measurable
        std::string result;                // never a comma
        Verdict verdict = Verdict::NotAvailable;
    };
    std::vector<Row> rows; // one for each parameter, in the enum's order

    static constexpr std::string_view kEdition = "EN 50160:2010 method, indicative";
};

// As summary.csv names it: "voltage_variation", "unbalance", "dips", "swells",
// "interruptions_short", "interruptions_long", "rapid_voltage_changes", "frequency",
// "flicker", "harmonics", "signalling".
std::string_view name(ReportSummary::Parameter parameter);

// The summary of a report whose figures are computed.
ReportSummary summaryOf(const PowerQualityReport &report);

} // namespace svglogger
