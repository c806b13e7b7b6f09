#include "quality/PowerQualityReport.h"

#include "common/TextNumber.h"
#include "reading/ClockBlocks.h"
#include "reading/RecordColumns.h"
#include "reading/RecordTime.h"

#include <algorithm>
#include <cmath>

namespace svglogger {

namespace c = recordColumn;

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
    for (const RecordSet::Part &part : set.parts())
        if (part.lastTime >= from && part.firstTime < to) {
            report.files.push_back(part.path);
            report.intervalRows = report.intervalRows || part.layout.samplingMode == SamplingMode::Interval;
        }
    // The whole set is used as it is; a part of it is copied (no more than the part).
    const bool whole = set.table().rows() == 0
        || (from <= set.table().times().front() && to > set.table().times().back());
    const RecordTable part = whole ? RecordTable() : rowsBetween(set.table(), set.columns(), from, to);
    const RecordTable &table = whole ? set.table() : part;
    const double gap = 3.0 * report.samplePeriod;
    const ReportSettings &s = report.settings;

    report.events = reportVoltageEvents(table, report.samplePeriod, s);
    report.tables = eventTables(report.events, s.nominal);
    if (!stepDone())
        return report;
    report.tenMinutes = tenMinuteValues(table, report.samplePeriod, report.events);
    const auto band = [&](const std::string &item, double low, double high, double share) {
        PowerQualityReport::Compliance row;
        row.item = item;
        row.limit = fixedText(low, 0) + "-" + fixedText(high, 0) + " V";
        row.requiredShare = share;
        row.valid = voltageBandShare(report.tenMinutes, low, high, Counted::ValidOnly);
        row.withFlagged = voltageBandShare(report.tenMinutes, low, high, Counted::WithFlagged);
        report.compliance.push_back(row);
    };
    band("voltage_10pct", s.nominal * (1.0 - s.narrowBand), s.nominal * (1.0 + s.narrowBand), s.narrowShare);
    band("voltage_15pct", s.nominal * (1.0 - s.wideBand), s.nominal * (1.0 + s.wideBand), s.wideShare);
    if (s.userBand)
        band("user_band", s.userBand->first, s.userBand->second, s.userShare);
    PowerQualityReport::Compliance unbalance;
    unbalance.item = "unbalance";
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

std::vector<std::pair<std::string, std::string>> reportCsvFiles(const PowerQualityReport &report)
{
    std::vector<std::pair<std::string, std::string>> files;
    const double nominal = report.settings.nominal;

    std::string tenMinutes = "start,v_rms,samples,incomplete,flagged\r\n";
    for (const TenMinuteValue &v : report.tenMinutes)
        tenMinutes += fullRowTimeText(static_cast<double>(v.start)) + "," + fixedText(v.rms, 1) + "," + std::to_string(v.samples) + ","
            + (v.incomplete ? "1" : "0") + "," + (v.flagged ? "1" : "0") + "\r\n";
    files.emplace_back("voltage_10min.csv", tenMinutes);

    std::string compliance = "item,limit,valid_intervals,within,percent,verdict\r\n";
    for (const PowerQualityReport::Compliance &row : report.compliance)
        compliance += row.item + "," + row.limit + "," + std::to_string(row.valid.intervals) + ","
            + std::to_string(row.valid.within) + "," + (row.valid.intervals == 0 ? "" : fixedText(row.valid.percent(), 2)) + ","
            + row.verdict() + "\r\n";
    files.emplace_back("compliance.csv", compliance);

    std::string events = "type,start,duration_s,extreme_v,extreme_pct\r\n";
    for (const VoltageEvent &e : report.events)
        events += voltageEventType(e.kind) + "," + fullRowTimeText(e.start) + "," + (e.seconds ? fixedText(*e.seconds, 1) : "") + ","
            + fixedText(e.extreme, 1) + "," + fixedText(e.extreme * 100.0 / nominal, 1) + "\r\n";
    files.emplace_back("events.csv", events);

    // A table of counts as CSV: its header, then each row's label and counts.
    const auto countTable = [](const std::string &header, const auto &labels, const auto &counts) {
        std::string text = header + "\r\n";
        for (std::size_t r = 0; r < counts.size(); ++r) {
            text += labels[r];
            for (std::size_t count : counts[r])
                text += "," + std::to_string(count);
            text += "\r\n";
        }
        return text;
    };
    static const char *const kDipRows[] = {"90-80", "80-70", "70-40", "40-5", "<5"};
    static const char *const kSwellRows[] = {">=120", "110-120"};
    files.emplace_back("dip_table.csv", countTable("residual_pct,le_0.2s,0.2-0.5s,0.5-1s,1-5s,5-60s", kDipRows, report.tables.dips));
    files.emplace_back("swell_table.csv", countTable("voltage_pct,le_0.5s,0.5-5s,5-60s", kSwellRows, report.tables.swells));

    std::string daily = "date,coverage_pct,dv_p95,dv_max,dv_unc_p95,dv_unc_max,suppression_pct,rvc,rvc_unc,kwh,kvarh_lag,"
                        "kvarh_lead,svg_kvarh,pf_load,pf_pcc\r\n";
    for (const auto &dayCoverage : report.dailyCoverage) {
        const std::int64_t day = dayCoverage.first; // a lambda below takes it: no structured binding
        const Coverage &coverage = dayCoverage.second;
        const auto effect = std::find_if(report.effectiveness.begin(), report.effectiveness.end(),
                                         [&](const DailyEffectiveness &d) { return d.day == day; });
        const auto energy = std::find_if(report.energy.begin(), report.energy.end(),
                                         [&](const DailyEnergy &d) { return d.day == day; });
        daily += rowDateText(day) + "," + fixedText(coverage.percent(), 2) + ",";
        if (effect != report.effectiveness.end())
            daily += fixedText(effect->swingP95, 3) + "," + fixedText(effect->swingMax, 3) + "," + fixedText(effect->uncompensatedP95, 3) + ","
                + fixedText(effect->uncompensatedMax, 3) + "," + (effect->suppression ? fixedText(*effect->suppression * 100.0, 1) : "")
                + "," + std::to_string(effect->rapidChanges) + "," + std::to_string(effect->uncompensatedRapidChanges) + ",";
        else
            daily += ",,,,,,,";
        if (energy != report.energy.end()) {
            const auto pf = [](std::optional<double> v) { return v ? fixedText(*v, 3) : std::string(); };
            daily += fixedText(energy->kwh, 1) + "," + fixedText(energy->kvarhLagging, 1) + "," + fixedText(energy->kvarhLeading, 1) + ","
                + fixedText(energy->svgKvarh, 1) + "," + pf(energy->loadPowerFactor()) + "," + pf(energy->connectionPowerFactor());
        } else {
            daily += ",,,,,";
        }
        daily += "\r\n";
    }
    files.emplace_back("daily.csv", daily);
    return files;
}

} // namespace svglogger
