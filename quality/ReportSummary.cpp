#include "quality/ReportSummary.h"

#include "common/TextNumber.h"
#include "quality/PowerQualityReport.h"
#include "reading/ClockBlocks.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <functional>

namespace svglogger {

namespace {

using Parameter = ReportSummary::Parameter;
using Item = PowerQualityReport::Compliance::Item;

constexpr std::int64_t kTenMinutes = 600;

// The 10-minute intervals of the period by what they hold: the voltage's, or only those that
// also carry `has` (the unbalance's); the rest, none of the period's rows among them, missing.
ReportSummary::Intervals intervalsOf(const PowerQualityReport &report, const std::function<bool(const TenMinuteValue &)> &has)
{
    std::size_t all = 0;
    for ([[maybe_unused]] const ClockBlock &block : ClockBlocks(report.from, report.to, kTenMinutes))
        ++all;
    ReportSummary::Intervals intervals;
    for (const TenMinuteValue &v : report.tenMinutes) {
        if (!has(v))
            continue;
        ++(v.incomplete ? intervals.incomplete : v.flagged ? intervals.flagged : intervals.valid);
    }
    intervals.missing = all - std::min(all, intervals.valid + intervals.flagged + intervals.incomplete);
    return intervals;
}

const PowerQualityReport::Compliance *itemOf(const std::vector<PowerQualityReport::Compliance> &rows, Item item)
{
    const auto found = std::find_if(rows.begin(), rows.end(), [&](const PowerQualityReport::Compliance &c) { return c.item == item; });
    return found == rows.end() ? nullptr : &*found;
}

// Pass only where every judged item passes in every week judged (EN 50160 judges each week;
// the whole period where it is no longer than one); fail where one fails; not available where
// none could be judged.
Verdict weekly(const PowerQualityReport &report, std::initializer_list<Item> items)
{
    std::vector<const std::vector<PowerQualityReport::Compliance> *> periods;
    if (report.weeks.empty())
        periods.push_back(&report.compliance);
    for (const PowerQualityReport::Week &week : report.weeks)
        periods.push_back(&week.compliance);
    bool passed = false;
    for (const auto *period : periods)
        for (Item item : items) {
            const PowerQualityReport::Compliance *row = itemOf(*period, item);
            const Verdict verdict = row ? row->judged() : Verdict::NotAvailable;
            if (verdict == Verdict::Fail)
                return Verdict::Fail;
            passed = passed || verdict == Verdict::Pass;
        }
    return passed ? Verdict::Pass : Verdict::NotAvailable;
}

// The share of each item's valid intervals within its limit ("99.31 %; 100.00 %"): of the
// whole period, or, where it has weeks, the lowest of them (what the weekly verdict turns on).
std::string shares(const PowerQualityReport &report, std::initializer_list<Item> items)
{
    std::string text;
    for (Item item : items) {
        std::optional<double> lowest;
        const auto take = [&](const std::vector<PowerQualityReport::Compliance> &rows) {
            if (const PowerQualityReport::Compliance *row = itemOf(rows, item); row && row->available && row->valid.intervals != 0)
                lowest = std::min(lowest.value_or(100.0), row->valid.percent());
        };
        if (report.weeks.empty())
            take(report.compliance);
        for (const PowerQualityReport::Week &week : report.weeks)
            take(week.compliance);
        text += (text.empty() ? "" : "; ") + (lowest ? fixedText(*lowest, 2) + " %" : std::string("-"));
    }
    return text;
}

std::string count(std::size_t n)
{
    return std::to_string(n);
}

} // namespace

std::string_view name(ReportSummary::Parameter parameter)
{
    static constexpr std::array<std::string_view, 11> kNames{
        "voltage_variation", "unbalance", "dips", "swells", "interruptions_short", "interruptions_long",
        "rapid_voltage_changes", "frequency", "flicker", "harmonics", "signalling"};
    static_assert(kNames.size() == static_cast<std::size_t>(Parameter::Signalling) + 1, "a name for each parameter");
    return kNames[static_cast<std::size_t>(parameter)];
}

ReportSummary summaryOf(const PowerQualityReport &report)
{
    ReportSummary summary;
    const auto always = [](const TenMinuteValue &) { return true; };
    const auto row = [&](Parameter parameter, FigureClass figureClass, std::string limit, std::optional<ReportSummary::Intervals> intervals,
                         std::string result, Verdict verdict) {
        assert(limit.find(',') == std::string::npos && result.find(',') == std::string::npos); // one CSV field each
        summary.rows.push_back({parameter, figureClass, std::move(limit), intervals, std::move(result), verdict});
    };

    // EN 50160's limits for medium voltage, each over a week's valid 10-minute values.
    const PowerQualityReport::Compliance *narrow = itemOf(report.compliance, Item::Voltage10Percent),
                                         *wide = itemOf(report.compliance, Item::Voltage15Percent),
                                         *unbalance = itemOf(report.compliance, Item::Unbalance);
    assert(narrow && wide && unbalance);
    const auto required = [](const PowerQualityReport::Compliance &c) { return " (" + significantText(c.requiredShare * 100.0) + " %)"; };
    row(Parameter::VoltageVariation, FigureClass::En50160Method, narrow->limit + required(*narrow) + "; " + wide->limit + required(*wide),
        intervalsOf(report, always), shares(report, {Item::Voltage10Percent, Item::Voltage15Percent}),
        weekly(report, {Item::Voltage10Percent, Item::Voltage15Percent}));
    const bool hasUnbalance = unbalance->available;
    row(Parameter::Unbalance, FigureClass::En50160Method, unbalance->limit + required(*unbalance),
        intervalsOf(report, [&](const TenMinuteValue &v) { return hasUnbalance && v.unbalance.has_value(); }),
        shares(report, {Item::Unbalance}), weekly(report, {Item::Unbalance}));

    // Indicative values only (counts per year, typical sizes): the counts, no verdict. The
    // intervals say how much of the period could show them: a gap may hide any of them.
    const auto events = [&](VoltageEvent::Kind kind) {
        return count(static_cast<std::size_t>(std::count_if(report.events.begin(), report.events.end(),
                                                            [&](const VoltageEvent &e) { return e.kind == kind; })));
    };
    std::size_t rapidChanges = 0;
    for (const DailyEffectiveness &day : report.effectiveness)
        rapidChanges += day.rapidChanges;
    const ReportSummary::Intervals voltage = intervalsOf(report, always);
    row(Parameter::Dips, FigureClass::Indicative, "-", voltage, events(VoltageEvent::Kind::Dip), Verdict::NoLimit);
    row(Parameter::Swells, FigureClass::Indicative, "-", voltage, events(VoltageEvent::Kind::Swell), Verdict::NoLimit);
    row(Parameter::ShortInterruptions, FigureClass::Indicative, "-", voltage, count(report.tables.shortInterruptions), Verdict::NoLimit);
    row(Parameter::LongInterruptions, FigureClass::Indicative, "-", voltage, count(report.tables.longInterruptions), Verdict::NoLimit);
    row(Parameter::RapidVoltageChanges, FigureClass::Indicative, "-", voltage,
        report.effectiveness.empty() ? std::string("-") : count(rapidChanges), Verdict::NoLimit);

    // Five values a second of one RMS voltage carry none of these: their limits, for the reader.
    const std::string notMeasurable = "not measurable from these values";
    const std::pair<Parameter, const char *> unmeasured[] = {
        {Parameter::Frequency, "+/-1 % (99.5 % of a year); +4/-6 % (100 %)"},
        {Parameter::Flicker, "Plt <= 1 (95 %)"},
        {Parameter::Harmonics, "THD <= 8 % (95 %)"},
        {Parameter::Signalling, "EN 50160 curve (99 % of a day)"},
    };
    for (const auto &[parameter, limit] : unmeasured)
        row(parameter, FigureClass::NotMeasurable, limit, std::nullopt, notMeasurable, Verdict::NotMeasurable);
    for (std::size_t i = 0; i < summary.rows.size(); ++i)
        assert(summary.rows[i].parameter == static_cast<Parameter>(i)); // one row each, in order
    assert(summary.rows.size() == static_cast<std::size_t>(Parameter::Signalling) + 1);
    return summary;
}

} // namespace svglogger
