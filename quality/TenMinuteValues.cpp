#include "quality/TenMinuteValues.h"

#include "quality/Statistics.h"
#include "reading/ClockBlocks.h"
#include "reading/RecordColumns.h"

#include <cassert>
#include <cmath>
#include <utility>

namespace svglogger {

namespace c = recordColumn;

namespace {

constexpr std::int64_t kTenMinutes = 600;

bool counts(const TenMinuteValue &value, Counted counted)
{
    return !value.incomplete && (counted == Counted::WithFlagged || !value.flagged);
}

} // namespace

std::vector<TenMinuteValue> tenMinuteValues(const RecordTable &table, double samplePeriod,
                                            const std::vector<VoltageEvent> &events)
{
    assert(samplePeriod > 0.0);
    std::vector<TenMinuteValue> values;
    if (!table.has(c::value(MeasurementSample::GridVoltage)))
        return values;
    const bool negative = table.has(c::value(MeasurementSample::NegSeqVoltageD)) && table.has(c::value(MeasurementSample::NegSeqVoltageQ));
    const double expected = static_cast<double>(kTenMinutes) / samplePeriod;
    std::size_t event = 0;
    for (const ClockBlock &block : ClockBlocks(table.times(), kTenMinutes)) {
        TenMinuteValue value;
        value.start = block.start;
        double squares = 0.0, unbalanceSquares = 0.0;
        std::size_t unbalanceSamples = 0;
        for (std::size_t row = block.firstRow; row < block.endRow; ++row) {
            const double v = table.value(c::value(MeasurementSample::GridVoltage), row);
            if (std::isnan(v))
                continue;
            squares += v * v;
            ++value.samples;
            if (negative && v > 0.0) {
                const double d = table.value(c::value(MeasurementSample::NegSeqVoltageD), row), q = table.value(c::value(MeasurementSample::NegSeqVoltageQ), row);
                if (!std::isnan(d) && !std::isnan(q)) {
                    const double u2 = std::sqrt(d * d + q * q) / v;
                    unbalanceSquares += u2 * u2;
                    ++unbalanceSamples;
                }
            }
        }
        if (value.samples == 0)
            continue;
        value.rms = std::sqrt(squares / static_cast<double>(value.samples));
        if (unbalanceSamples != 0)
            value.unbalance = std::sqrt(unbalanceSquares / static_cast<double>(unbalanceSamples));
        value.incomplete = static_cast<double>(value.samples) < 0.9 * expected;
        // Events in time order: those ending before this window are passed for good.
        while (event < events.size() && events[event].lastRow < block.firstRow)
            ++event;
        value.flagged = event < events.size() && events[event].firstRow < block.endRow;
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
