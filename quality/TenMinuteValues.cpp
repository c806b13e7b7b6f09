#include "quality/TenMinuteValues.h"

#include "quality/Statistics.h"
#include "reading/RecordColumns.h"
#include "reading/RecordTime.h"

#include <cmath>
#include <utility>

namespace svglogger {

namespace c = recordColumn;

namespace {

constexpr std::int64_t kTenMinutes = 600;
constexpr double kComplete = 0.9; // of the 10 minutes, for a value to count
constexpr double kSlack = 1e-6;   // s: sums of steps carry rounding

bool counts(const TenMinuteValue &value, Counted counted)
{
    return !value.incomplete && (counted == Counted::WithFlagged || !value.flagged);
}

} // namespace

std::vector<TenMinuteValue> tenMinuteValues(const RowSpans &rows, const std::vector<VoltageEvent> &events)
{
    std::vector<TenMinuteValue> values;
    const RecordTable &table = rows.table();
    if (!table.has(c::value(MeasurementSample::GridVoltage)))
        return values;
    const bool negative = table.has(c::value(MeasurementSample::NegSeqVoltageD)) && table.has(c::value(MeasurementSample::NegSeqVoltageQ));
    const double complete = kComplete * static_cast<double>(kTenMinutes) - kSlack;
    std::size_t event = 0;
    for (std::size_t first = 0, end = 0; first < rows.rows(); first = end) {
        // The rows whose time begins in these 10 minutes.
        TenMinuteValue value;
        value.start = blockStart(rows.span(first).begin, kTenMinutes);
        const auto from = static_cast<double>(value.start), to = static_cast<double>(value.start + kTenMinutes);
        end = first + 1;
        while (end < rows.rows() && rows.span(end).begin < to)
            ++end;
        double squares = 0.0, seconds = 0.0, unbalanceSquares = 0.0, unbalanceSeconds = 0.0;
        for (std::size_t row = first; row < end; ++row) {
            const double v = table.value(c::value(MeasurementSample::GridVoltage), row);
            if (std::isnan(v))
                continue;
            const bool interval = rows.isInterval(row);
            if (interval && (rows.ownBegin(row) < from - kSlack || table.times()[row] > to + kSlack))
                continue; // only in part inside
            const double weight = rows.secondsWithin(row, from, to);
            if (weight <= 0.0)
                continue;
            squares += weight * v * v;
            seconds += weight;
            ++value.samples;
            value.fromIntervalMeans = value.fromIntervalMeans || interval;
            if (negative && !interval && v > 0.0) {
                const double d = table.value(c::value(MeasurementSample::NegSeqVoltageD), row), q = table.value(c::value(MeasurementSample::NegSeqVoltageQ), row);
                if (!std::isnan(d) && !std::isnan(q)) {
                    const double u2 = std::sqrt(d * d + q * q) / v;
                    unbalanceSquares += weight * u2 * u2;
                    unbalanceSeconds += weight;
                }
            }
        }
        if (value.samples == 0)
            continue;
        value.rms = std::sqrt(squares / seconds);
        if (unbalanceSeconds >= complete)
            value.unbalance = std::sqrt(unbalanceSquares / unbalanceSeconds);
        value.incomplete = seconds < complete;
        // Events in time order: those ending before this window are passed for good.
        while (event < events.size() && events[event].lastRow < first)
            ++event;
        value.flagged = event < events.size() && events[event].firstRow < end;
        values.push_back(value);
    }
    return values;
}

bool BandShare::passes(double requiredShare) const
{
    // Whole intervals against the share, without a rounding of the percentage in between.
    return intervals != 0 && static_cast<double>(within) >= requiredShare * static_cast<double>(intervals) - 1e-9;
}

BandShare voltageBandShare(const std::vector<TenMinuteValue> &values, double low, double high, Counted counted)
{
    BandShare share;
    for (const TenMinuteValue &value : values) {
        if (!counts(value, counted))
            continue;
        ++share.intervals;
        share.within += value.rms >= low && value.rms <= high;
    }
    return share;
}

BandShare unbalanceShare(const std::vector<TenMinuteValue> &values, double limit, Counted counted)
{
    BandShare share;
    for (const TenMinuteValue &value : values) {
        if (!counts(value, counted) || !value.unbalance)
            continue;
        ++share.intervals;
        share.within += *value.unbalance <= limit;
    }
    return share;
}

std::optional<double> voltagePercentile(const std::vector<TenMinuteValue> &values, double fraction, Counted counted)
{
    std::vector<double> rms;
    for (const TenMinuteValue &value : values)
        if (counts(value, counted))
            rms.push_back(value.rms);
    return nearestRank(std::move(rms), fraction);
}

} // namespace svglogger
