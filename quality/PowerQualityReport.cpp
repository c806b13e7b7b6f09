#include "quality/PowerQualityReport.h"

#include "common/TextNumber.h"
#include "reading/ClockBlocks.h"

#include <iterator>

namespace svglogger {

namespace {

constexpr std::int64_t kDay = 86400;

// The rows of [from, to) of a table, as a table of their own.
RecordTable rowsBetween(const RecordTable &table, const std::vector<int> &columns, double from, double to)
{
    RecordTable part;
    const std::size_t first = table.lowerBound(from), last = table.lowerBound(to);
    part.reserve(last - first, columns);
    std::vector<float> values(columns.size());
    for (std::size_t row = first; row < last; ++row) {
        for (std::size_t i = 0; i < columns.size(); ++i)
            values[i] = table.value(columns[i], row);
        part.append(table.times()[row], columns, values.data());
    }
    return part;
}

} // namespace

std::string PowerQualityReport::Compliance::name() const
{
    static constexpr const char *kNames[] = {"voltage_10pct", "voltage_15pct", "user_band", "unbalance"};
    static_assert(std::size(kNames) == static_cast<std::size_t>(Item::Unbalance) + 1, "a name for each item");
    return kNames[static_cast<std::size_t>(item)];
}

std::string PowerQualityReport::Compliance::verdict() const
{
    if (!available || valid.intervals == 0)
        return "not available";
    return valid.passes(requiredShare) ? "pass" : "fail";
}

PowerQualityReport makeReport(const RecordSet &set, double from, double to, const ReportSettings &settings,
                              const std::function<void(int, int)> &progress, const std::atomic<bool> *cancel)
{
    PowerQualityReport report;
    constexpr int kSteps = 5;
    int step = 0;
    // After each step: false when the report is to stop.
    const auto stepDone = [&] {
        if (progress)
            progress(++step, kSteps);
        report.cancelled = cancel && cancel->load();
        return !report.cancelled;
    };
    report.settings = settings;
    report.settings.events = settings.eventLimits();
    report.from = from;
    report.to = to;
    report.samplePeriod = set.samplePeriod();
    report.sources = set.sourcesBetween(from, to);
    for (const RecordSet::Source &source : report.sources)
        if (source.rowsUsed != 0) {
            report.files.push_back(source.path);
            report.intervalRows = report.intervalRows || source.layout.samplingMode == SamplingMode::Interval;
        }
    // The whole set is used as it is; a part of it is copied (no more than the part).
    const bool whole = set.table().rows() == 0
        || (from <= set.table().times().front() && to > set.table().times().back());
    const RecordTable part = whole ? RecordTable() : rowsBetween(set.table(), set.tableColumns(), from, to);
    const RecordTable &table = whole ? set.table() : part;
    const double gap = 3.0 * report.samplePeriod;
    const ReportSettings &s = report.settings;

    report.events = reportVoltageEvents(table, report.samplePeriod, s);
    report.tables = eventTables(report.events, s.nominal);
    if (!stepDone())
        return report;
    report.tenMinutes = tenMinuteValues(table, report.samplePeriod, report.events);
    using Item = PowerQualityReport::Compliance::Item;
    const auto band = [&](Item item, double low, double high, double share) {
        PowerQualityReport::Compliance row;
        row.item = item;
        row.limit = fixedText(low, 0) + "-" + fixedText(high, 0) + " V";
        row.requiredShare = share;
        row.valid = voltageBandShare(report.tenMinutes, low, high, Counted::ValidOnly);
        row.withFlagged = voltageBandShare(report.tenMinutes, low, high, Counted::WithFlagged);
        report.compliance.push_back(row);
    };
    band(Item::Voltage10Percent, s.nominal * (1.0 - s.narrowBand), s.nominal * (1.0 + s.narrowBand), s.narrowShare);
    band(Item::Voltage15Percent, s.nominal * (1.0 - s.wideBand), s.nominal * (1.0 + s.wideBand), s.wideShare);
    if (s.userBand)
        band(Item::UserBand, s.userBand->first, s.userBand->second, s.userShare);
    PowerQualityReport::Compliance unbalance;
    unbalance.item = Item::Unbalance;
    unbalance.limit = "<= 2 %";
    unbalance.requiredShare = 0.95;
    unbalance.valid = unbalanceShare(report.tenMinutes, 0.02, Counted::ValidOnly);
    unbalance.withFlagged = unbalanceShare(report.tenMinutes, 0.02, Counted::WithFlagged);
    unbalance.available = unbalance.withFlagged.intervals != 0; // files without the negative sequence
    report.compliance.push_back(unbalance);
    report.p95 = voltagePercentile(report.tenMinutes, 0.95, Counted::ValidOnly);
    report.p99 = voltagePercentile(report.tenMinutes, 0.99, Counted::ValidOnly);
    report.minimum = voltagePercentile(report.tenMinutes, 0.0, Counted::ValidOnly);
    report.maximum = voltagePercentile(report.tenMinutes, 1.0, Counted::ValidOnly);
    if (!stepDone())
        return report;

    report.effectiveness = svgEffectiveness(table, gap, {s.nominal, s.reactancePercent, s.rapidChange});
    if (!stepDone())
        return report;
    report.energy = dailyEnergy(table, report.samplePeriod, s.svgSign);
    report.daytimeEnergy = dailyEnergy(table, report.samplePeriod, s.svgSign, s.dayHours);
    if (!stepDone())
        return report;
    report.coverage = coverageOf(table, from, to, report.samplePeriod, gap, s.runningBits);
    for (const ClockBlock &day : ClockBlocks(from, to, kDay))
        report.dailyCoverage.emplace_back(day.start, coverageOf(table, day.from, day.to, report.samplePeriod, gap, s.runningBits));
    stepDone();
    return report;
}

std::vector<VoltageEvent> reportVoltageEvents(const RecordTable &table, double samplePeriod, const ReportSettings &settings)
{
    return voltageEvents(table, samplePeriod, 3.0 * samplePeriod, settings.eventLimits());
}

} // namespace svglogger
