#include "quality/DailyEnergy.h"

#include "reading/ClockBlocks.h"
#include "reading/RecordColumns.h"

#include <algorithm>
#include <cmath>

namespace svglogger {

namespace c = recordColumn;

namespace {

constexpr std::int64_t kDay = 86400;

std::optional<double> powerFactor(double kwh, double kvarh)
{
    const double apparent = std::hypot(kwh, kvarh);
    if (apparent <= 0.0)
        return std::nullopt;
    return kwh / apparent;
}

} // namespace

std::optional<double> DailyEnergy::loadPowerFactor() const
{
    return powerFactor(kwh, loadKvarh);
}

std::optional<double> DailyEnergy::connectionPowerFactor() const
{
    return powerFactor(kwh, kvarhLagging - kvarhLeading);
}

std::vector<DailyEnergy> dailyEnergy(const RowSpans &rows, SvgSign sign, std::optional<std::pair<int, int>> dayHours)
{
    std::vector<DailyEnergy> days;
    const RecordTable &table = rows.table();
    if (!table.has(c::value(MeasurementSample::LoadActivePower)) || !table.has(c::value(MeasurementSample::LoadReactivePower)) || !table.has(c::value(MeasurementSample::SvgOutput)))
        return days;
    for (std::size_t row = 0; row < rows.rows(); ++row) {
        const double p = table.value(c::value(MeasurementSample::LoadActivePower), row), load = table.value(c::value(MeasurementSample::LoadReactivePower), row),
                     svg = table.value(c::value(MeasurementSample::SvgOutput), row);
        if (std::isnan(p) || std::isnan(load) || std::isnan(svg))
            continue;
        const RowSpans::Span span = rows.span(row);
        if (span.seconds() <= 0.0)
            continue;
        const double connection = load + drawnSvgOutput(svg, sign);
        for (const ClockBlock &day : ClockBlocks(span.begin, span.end, kDay)) {
            double from = day.from, to = day.to;
            if (dayHours) {
                from = std::max(from, static_cast<double>(day.start + 3600 * dayHours->first));
                to = std::min(to, static_cast<double>(day.start + 3600 * dayHours->second));
            }
            if (to <= from)
                continue;
            if (days.empty() || days.back().day != day.start)
                days.push_back(DailyEnergy{day.start});
            DailyEnergy &energy = days.back();
            const double hours = (to - from) / 3600.0;
            energy.kwh += p * hours;
            energy.loadKvarh += load * hours;
            (connection >= 0.0 ? energy.kvarhLagging : energy.kvarhLeading) += std::abs(connection) * hours;
            energy.svgKvarh += std::abs(svg) * hours;
        }
    }
    return days;
}

} // namespace svglogger
