#include "quality/SvgEffectiveness.h"

#include "link/MeasurementSample.h"
#include "quality/Statistics.h"
#include "reading/ClockBlocks.h"
#include "reading/RecordColumns.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace svglogger {

namespace c = recordColumn;

namespace {

constexpr std::int64_t kDay = 86400;

} // namespace

std::size_t rapidVoltageChanges(const std::vector<double> &values, double threshold, double eventBand)
{
    constexpr std::size_t kSteady = 5;
    const auto steadyAt = [&](std::size_t end, double &mean) { // values [end − 5, end)
        mean = std::accumulate(values.begin() + static_cast<std::ptrdiff_t>(end - kSteady),
                               values.begin() + static_cast<std::ptrdiff_t>(end), 0.0)
            / static_cast<double>(kSteady);
        for (std::size_t i = end - kSteady; i < end; ++i)
            if (std::abs(values[i] - mean) > threshold)
                return false;
        return true;
    };
    std::size_t count = 0;
    std::optional<double> steady; // the mean of the steady state the voltage is in
    bool departed = false, beyondEvent = false;
    double departedFrom = 0.0;
    for (std::size_t end = kSteady; end <= values.size(); ++end) {
        double mean = 0.0;
        const bool isSteady = steadyAt(end, mean);
        if (!departed) {
            if (steady && std::abs(values[end - 1] - *steady) > threshold) {
                departed = true;
                departedFrom = *steady;
                beyondEvent = std::abs(values[end - 1] - departedFrom) > eventBand;
            } else if (isSteady) {
                steady = mean;
            }
            continue;
        }
        beyondEvent = beyondEvent || std::abs(values[end - 1] - departedFrom) > eventBand;
        if (isSteady) {
            count += !beyondEvent;
            departed = false;
            steady = mean;
        }
    }
    return count;
}

std::vector<DailyEffectiveness> svgEffectiveness(const RowSpans &rows, const EffectivenessSettings &settings,
                                                 const std::vector<VoltageEvent> &events)
{
    std::vector<DailyEffectiveness> days;
    const RecordTable &table = rows.table();
    if (!table.has(c::value(MeasurementSample::GridVoltage)) || !table.has(c::value(MeasurementSample::SvgOutput)))
        return days;
    const std::vector<double> &times = table.times();
    const double base = 100.0 / settings.nominal;
    const double threshold = settings.rapidChange * settings.nominal;
    const double eventBand = 0.10 * settings.nominal; // beyond it a dip or swell, not a change
    std::size_t event = 0;
    for (const ClockBlock &dayRows : ClockBlocks(times, kDay)) {
        DailyEffectiveness day;
        day.day = dayRows.start;
        std::vector<double> swings, uncompensatedSwings, series, uncompensatedSeries;
        const auto countChanges = [&] {
            day.rapidChanges += rapidVoltageChanges(series, threshold, eventBand);
            day.uncompensatedRapidChanges += rapidVoltageChanges(uncompensatedSeries, threshold, eventBand);
            series.clear();
            uncompensatedSeries.clear();
        };
        for (const ClockBlock &minute : ClockBlocks(times, 60, dayRows.from, dayRows.to)) {
            double low = INFINITY, high = -INFINITY, uncompensatedLow = INFINITY, uncompensatedHigh = -INFINITY;
            for (std::size_t row = minute.firstRow; row < minute.endRow; ++row) {
                const double v = table.value(c::value(MeasurementSample::GridVoltage), row), q = table.value(c::value(MeasurementSample::SvgOutput), row);
                if (rows.isInterval(row) || rows.gapBefore(row))
                    countChanges(); // a gap, or means, is never bridged
                if (std::isnan(v) || std::isnan(q) || rows.isInterval(row))
                    continue;
                const double u = uncompensatedVoltage(v, drawnSvgOutput(q, settings.sign), settings.reactancePercent);
                low = std::min(low, v);
                high = std::max(high, v);
                uncompensatedLow = std::min(uncompensatedLow, u);
                uncompensatedHigh = std::max(uncompensatedHigh, u);
                series.push_back(v);
                uncompensatedSeries.push_back(u);
            }
            if (high < low)
                continue;
            // Events in time order: those ending before this minute are passed for good.
            while (event < events.size() && events[event].lastRow < minute.firstRow)
                ++event;
            if (event < events.size() && events[event].firstRow < minute.endRow) {
                ++day.eventMinutes;
                continue;
            }
            swings.push_back((high - low) * base);
            uncompensatedSwings.push_back((uncompensatedHigh - uncompensatedLow) * base);
        }
        countChanges();
        if (swings.empty())
            continue;
        day.minutes = swings.size();
        day.swingP95 = *nearestRank(swings, 0.95);
        day.swingMax = *std::max_element(swings.begin(), swings.end());
        day.uncompensatedP95 = *nearestRank(uncompensatedSwings, 0.95);
        day.uncompensatedMax = *std::max_element(uncompensatedSwings.begin(), uncompensatedSwings.end());
        if (day.uncompensatedP95 > 0.0)
            day.suppression = 1.0 - day.swingP95 / day.uncompensatedP95;
        days.push_back(day);
    }
    return days;
}

} // namespace svglogger
