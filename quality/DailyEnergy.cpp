#include "quality/DailyEnergy.h"

#include "reading/ClockBlocks.h"
#include "reading/RecordColumns.h"

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

std::vector<DailyEnergy> dailyEnergy(const RecordTable &table, double samplePeriod, SvgSign sign,
                                     std::optional<std::pair<int, int>> dayHours)
{
    std::vector<DailyEnergy> days;
    if (!table.has(c::value(MeasurementSample::LoadActivePower)) || !table.has(c::value(MeasurementSample::LoadReactivePower)) || !table.has(c::value(MeasurementSample::SvgOutput)))
        return days;
    const double hours = samplePeriod / 3600.0;
    const std::vector<double> &times = table.times();
    for (const ClockBlock &dayRows : ClockBlocks(times, kDay)) {
        const std::int64_t midnight = dayRows.start;
        for (std::size_t row = dayRows.firstRow; row < dayRows.endRow; ++row) {
            if (dayHours) {
                const std::int64_t hour = (static_cast<std::int64_t>(std::floor(times[row])) - midnight) / 3600;
                if (hour < dayHours->first || hour >= dayHours->second)
                    continue;
            }
            const double p = table.value(c::value(MeasurementSample::LoadActivePower), row), load = table.value(c::value(MeasurementSample::LoadReactivePower), row),
                         svg = table.value(c::value(MeasurementSample::SvgOutput), row);
            if (std::isnan(p) || std::isnan(load) || std::isnan(svg))
                continue;
            if (days.empty() || days.back().day != midnight)
                days.push_back(DailyEnergy{midnight});
            DailyEnergy &day = days.back();
            const double connection = load + (sign == SvgSign::Plus ? svg : -svg);
            day.kwh += p * hours;
            day.loadKvarh += load * hours;
            (connection >= 0.0 ? day.kvarhLagging : day.kvarhLeading) += std::abs(connection) * hours;
            day.svgKvarh += std::abs(svg) * hours;
        }
    }
    return days;
}

} // namespace svglogger
