#include "quality/PowerQualityReport.h"

#include "common/TextNumber.h"
#include "quality/RowSpans.h"
#include "reading/ClockBlocks.h"
#include "reading/RecordColumns.h"
#include "reading/RecordTime.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iterator>

namespace svglogger {

namespace {

constexpr std::int64_t kDay = 86400, kWeek = 7 * kDay;

// Seven days of the local clock after `start` (days of 23 or 25 hours among them where the
// clock changes); a week from a time that is no midnight is 168 hours.
double weekAfter(double start)
{
    const auto second = static_cast<std::int64_t>(std::floor(start));
    if (static_cast<double>(second) != start || blockStart(start, kDay) != second)
        return start + static_cast<double>(kWeek);
    std::int64_t end = second;
    for (int day = 0; day < 7; ++day)
        end = nextBlockStart(end, kDay);
    return static_cast<double>(end);
}

// The rows whose time begins in [from, to) (an interval row's at its stamp − its span), with
// every column, as a table of their own.
RecordTable rowsBetween(const RowSpans &rows, double from, double to)
{
    const RecordTable &table = rows.table();
    std::vector<int> columns;
    for (int slot = 0; slot < recordColumn::kSlots; ++slot)
        if (table.has(slot))
            columns.push_back(slot);
    RecordTable part;
    std::vector<float> values(columns.size());
    for (std::size_t row = table.lowerBound(from); row < table.rows() && rows.ownBegin(row) < to; ++row) {
        if (rows.ownBegin(row) < from)
            continue;
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

Verdict PowerQualityReport::Compliance::judged() const
{
    if (!available || valid.intervals == 0)
        return Verdict::NotAvailable;
    return valid.passes(requiredShare) ? Verdict::Pass : Verdict::Fail;
}

bool PowerQualityReport::recorded(std::int64_t day) const
{
    const auto found = std::find_if(dailyCoverage.begin(), dailyCoverage.end(), [&](const auto &d) { return d.first == day; });
    return found != dailyCoverage.end() && found->second.percent() > 0.0;
}

namespace {

// The name of the folder a file lies in (UTF-8 either way, on any system).
std::string folderNameOf(const std::string &file)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path path = fs::absolute(fs::path(std::u8string(file.begin(), file.end())), error);
    const std::u8string name = (error ? fs::path() : path.lexically_normal().parent_path().filename()).u8string();
    return std::string(name.begin(), name.end());
}

// The site a report names: the setting, or the folders its files lie in.
std::string siteOf(const std::vector<std::string> &files, const ReportSettings &settings)
{
    if (!settings.site.empty())
        return settings.site;
    std::vector<std::string> folders;
    for (const std::string &file : files)
        if (const std::string folder = folderNameOf(file);
            !folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    std::string site;
    for (const std::string &folder : folders)
        site += (site.empty() ? "" : ", ") + folder;
    return site;
}

// Why the nominal voltage does not fit the period's rows, if it does not: their median voltage
// (interruptions, below the interruption level, left out unless every row is one) outside
// 50–150 % of it. A wrong Uc would make every row an event and every verdict meaningless.
std::optional<std::string> nominalMisfit(const RecordTable &table, const ReportSettings &settings)
{
    const int column = recordColumn::value(MeasurementSample::GridVoltage);
    if (!table.has(column))
        return std::nullopt;
    const double interruption = settings.events.interruption * settings.nominal;
    std::vector<float> voltages, interruptions;
    for (std::size_t row = 0; row < table.rows(); ++row)
        if (const float v = table.value(column, row); !std::isnan(v))
            (v >= interruption ? voltages : interruptions).push_back(v);
    const bool allInterrupted = voltages.empty();
    std::vector<float> &values = allInterrupted ? interruptions : voltages;
    if (values.empty())
        return std::nullopt;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    const double median = *middle, share = median / settings.nominal;
    if (share >= 0.5 && share <= 1.5)
        return std::nullopt;
    return significantText(settings.nominal) + " V does not fit the data: the median voltage of the period's rows"
        + (allInterrupted ? "" : " (interruptions left out)") + " is " + fixedText(median, 1) + " V, "
        + fixedText(share * 100.0, 0) + " % of it; a report takes 50-150 %";
}

// Where the rows carry the negative sequence's D and Q: the first continuous row with both
// ends the search.
PowerQualityReport::NegativeSequence negativeSequenceOf(const RowSpans &rows)
{
    using N = PowerQualityReport::NegativeSequence;
    const RecordTable &table = rows.table();
    const int d = recordColumn::value(MeasurementSample::NegSeqVoltageD), q = recordColumn::value(MeasurementSample::NegSeqVoltageQ);
    if (!table.has(d) || !table.has(q))
        return N::None;
    N found = N::None;
    for (std::size_t row = 0; row < rows.rows(); ++row) {
        if (std::isnan(table.value(d, row)) || std::isnan(table.value(q, row)))
            continue;
        if (!rows.isInterval(row))
            return N::Continuous;
        found = N::IntervalMeansOnly;
    }
    return found;
}

// The items judged over the 10-minute values of a period, in Item's order (the user's band
// only where it is set).
std::vector<PowerQualityReport::Compliance> complianceOf(const std::vector<TenMinuteValue> &values, const ReportSettings &s)
{
    using Item = PowerQualityReport::Compliance::Item;
    std::vector<PowerQualityReport::Compliance> rows;
    const auto band = [&](Item item, double low, double high, double share) {
        PowerQualityReport::Compliance row;
        row.item = item;
        row.limit = fixedText(low, 0) + "-" + fixedText(high, 0) + " V";
        row.requiredShare = share;
        row.valid = voltageBandShare(values, low, high, Counted::ValidOnly);
        row.withFlagged = voltageBandShare(values, low, high, Counted::WithFlagged);
        rows.push_back(row);
    };
    band(Item::Voltage10Percent, s.nominal * (1.0 - s.narrowBand), s.nominal * (1.0 + s.narrowBand), s.narrowShare);
    band(Item::Voltage15Percent, s.nominal * (1.0 - s.wideBand), s.nominal * (1.0 + s.wideBand), s.wideShare);
    if (s.userBand)
        band(Item::UserBand, s.userBand->first, s.userBand->second, s.userShare);
    PowerQualityReport::Compliance unbalance;
    unbalance.item = Item::Unbalance;
    unbalance.limit = "<= 2 %";
    unbalance.requiredShare = 0.95;
    unbalance.valid = unbalanceShare(values, 0.02, Counted::ValidOnly);
    unbalance.withFlagged = unbalanceShare(values, 0.02, Counted::WithFlagged);
    unbalance.available = unbalance.withFlagged.intervals != 0; // see NegativeSequence for why not
    rows.push_back(unbalance);
    return rows;
}

// `days` with a day for each day of [from, to) that has none, in order.
template <typename Day>
void everyDayOf(std::vector<Day> &days, double from, double to)
{
    if (days.empty())
        return; // the rows have not the columns: no such table at all
    std::vector<Day> all;
    for (const ClockBlock &block : ClockBlocks(from, to, kDay)) {
        const auto found = std::find_if(days.begin(), days.end(), [&](const Day &d) { return d.day == block.start; });
        Day day;
        day.day = block.start;
        all.push_back(found == days.end() ? day : *found);
    }
    days = std::move(all);
}

} // namespace

std::pair<double, double> reportPeriod(const RecordTable &table, std::optional<double> from, std::optional<double> to)
{
    const std::vector<double> &times = table.times();
    if (times.empty())
        return {from.value_or(0.0), to.value_or(from.value_or(0.0))};
    // The first and the last moment the rows stand for: an interval row's (stamp − span, stamp].
    const auto span = [&](std::size_t row) {
        const float value = table.has(recordColumn::kSpan) ? table.value(recordColumn::kSpan, row) : NAN;
        return std::isnan(value) ? 0.0 : static_cast<double>(value);
    };
    const double first = times.front() - span(0);
    const double last = span(times.size() - 1) > 0.0 ? times.back() - 1e-3 : times.back();
    return {from.value_or(static_cast<double>(blockStart(first, kDay))),
            to.value_or(static_cast<double>(nextBlockStart(blockStart(last, kDay), kDay)))};
}

std::pair<double, double> shownPeriod(const RecordTable &table, double from, double to)
{
    constexpr double kTenMinutes = 600.0;
    const auto [firstDay, lastDay] = reportPeriod(table, std::nullopt, std::nullopt);
    from = std::max(from, firstDay);
    to = std::min(to, lastDay);
    if (to <= from)
        return {from, to}; // nothing of the days with rows shown: no period
    const double start = std::round(from / kTenMinutes) * kTenMinutes, end = std::round(to / kTenMinutes) * kTenMinutes;
    if (end > start)
        return {start, end};
    const double lying = std::floor(from / kTenMinutes) * kTenMinutes;
    return {lying, std::max(lying + kTenMinutes, std::ceil(to / kTenMinutes) * kTenMinutes)};
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
    const double gap = 3.0 * report.samplePeriod;
    const RowSpans setRows(set.table(), report.samplePeriod, gap);
    const bool whole = set.table().rows() == 0
        || (from <= setRows.ownBegin(0) && to > setRows.ownBegin(set.table().rows() - 1));
    const RecordTable part = whole ? RecordTable() : rowsBetween(setRows, from, to);
    const RecordTable &table = whole ? set.table() : part;
    const RowSpans rows(table, report.samplePeriod, gap);
    const ReportSettings &s = report.settings;
    report.site = siteOf(report.files, s);
    if (const std::optional<std::string> misfit = nominalMisfit(table, s)) {
        report.refusal = PowerQualityReport::Refusal{"nominal-voltage", *misfit};
        return report;
    }

    report.negativeSequence = negativeSequenceOf(rows);
    report.events = reportVoltageEvents(table, report.samplePeriod, s);
    report.tables = eventTables(report.events, s.nominal);
    if (!stepDone())
        return report;
    // Dips, swells and interruptions flag the intervals they touch; a slow voltage variation
    // (an under- or overvoltage) does not: it is what the verdict judges.
    std::vector<VoltageEvent> flagging;
    std::copy_if(report.events.begin(), report.events.end(), std::back_inserter(flagging),
                 [](const VoltageEvent &e) { return e.flagsTenMinuteValues(); });
    report.tenMinutes = tenMinuteValues(rows, flagging);
    report.compliance = complianceOf(report.tenMinutes, s);
    if (weekAfter(from) < to) {
        for (double week = from; week < to; week = weekAfter(week)) {
            const double end = std::min(to, weekAfter(week));
            // A value belongs to the week its start is in; one begun before the period, to the first.
            std::vector<TenMinuteValue> values;
            std::copy_if(report.tenMinutes.begin(), report.tenMinutes.end(), std::back_inserter(values), [&](const TenMinuteValue &v) {
                const auto start = static_cast<double>(v.start);
                return (start >= week || week == from) && start < end;
            });
            report.weeks.push_back({week, end, complianceOf(values, s)});
        }
    }
    report.p95 = voltagePercentile(report.tenMinutes, 0.95, Counted::ValidOnly);
    report.p99 = voltagePercentile(report.tenMinutes, 0.99, Counted::ValidOnly);
    report.minimum = voltagePercentile(report.tenMinutes, 0.0, Counted::ValidOnly);
    report.maximum = voltagePercentile(report.tenMinutes, 1.0, Counted::ValidOnly);
    if (!stepDone())
        return report;

    report.effectiveness = svgEffectiveness(rows, {s.nominal, s.reactancePercent, s.rapidChange, s.svgSign}, flagging);
    everyDayOf(report.effectiveness, from, to);
    if (!stepDone())
        return report;
    report.energy = dailyEnergy(rows, s.svgSign);
    everyDayOf(report.energy, from, to);
    report.daytimeEnergy = dailyEnergy(rows, s.svgSign, s.dayHours);
    if (!stepDone())
        return report;
    report.coverage = coverageOf(rows, from, to, s.runningBits);
    for (const ClockBlock &day : ClockBlocks(from, to, kDay))
        report.dailyCoverage.emplace_back(day.start, coverageOf(rows, day.from, day.to, s.runningBits));
    report.summary = summaryOf(report);
    stepDone();
    return report;
}

std::vector<VoltageEvent> reportVoltageEvents(const RecordTable &table, double samplePeriod, const ReportSettings &settings)
{
    return voltageEvents(table, samplePeriod, 3.0 * samplePeriod, settings.eventLimits());
}

std::string sourceNote(const RecordSet::Source &source)
{
    std::vector<std::string> said;
    if (source.reason != RecordSet::Source::Reason::Used && source.leftOut.empty())
        said.push_back(RecordSet::reasonText(source.reason));
    if (source.linesUnreadable != 0)
        said.push_back(std::to_string(source.linesUnreadable) + " unreadable lines (torn or garbled)");
    for (const RecordSet::Source::LeftOut &left : source.leftOut) {
        std::string text = std::to_string(left.rows) + " rows " + fullRowTimeText(left.from) + " - " + fullRowTimeText(left.to)
            + " left out: " + RecordSet::reasonText(left.reason);
        if (!left.by.empty())
            text += " (" + std::filesystem::path(left.by).filename().string() + ")";
        said.push_back(std::move(text));
    }
    std::string note;
    for (const std::string &s : said)
        note += (note.empty() ? "" : "; ") + s;
    return note;
}

} // namespace svglogger
