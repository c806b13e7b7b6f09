#include "quality/EventTables.h"

namespace svglogger {

namespace {

// The first column whose upper edge the duration does not pass; size() beyond the last.
template <std::size_t N>
std::size_t columnOf(const std::array<double, N> &edges, double seconds)
{
    std::size_t column = 0;
    // A hair of slack: 3 rows of 0.2 s are 0.6000000001 s after the period's own rounding.
    while (column < N && seconds > edges[column] + 1e-6)
        ++column;
    return column;
}

} // namespace

EventTables eventTables(const std::vector<VoltageEvent> &events, double nominal)
{
    EventTables tables;
    for (const VoltageEvent &event : events) {
        const bool interruption = event.kind == VoltageEvent::Kind::ShortInterruption
            || event.kind == VoltageEvent::Kind::LongInterruption;
        if (event.kind == VoltageEvent::Kind::ShortInterruption)
            ++tables.shortInterruptions;
        if (event.kind == VoltageEvent::Kind::LongInterruption)
            ++tables.longInterruptions;
        if (event.kind == VoltageEvent::Kind::Undervoltage || event.kind == VoltageEvent::Kind::Overvoltage) {
            ++tables.longerThanTheTables;
            continue;
        }
        if (!event.seconds) {
            ++tables.durationUnknown;
            continue;
        }
        const double level = event.extreme / nominal;
        if (event.kind == VoltageEvent::Kind::Swell) {
            const std::size_t column = columnOf(EventTables::kSwellSeconds, *event.seconds);
            if (column == EventTables::kSwellSeconds.size()) {
                ++tables.longerThanTheTables;
                continue;
            }
            ++tables.swells[level >= EventTables::kSwellLevels[0] ? 0 : 1][column];
            continue;
        }
        const std::size_t column = columnOf(EventTables::kDipSeconds, *event.seconds);
        if (column == EventTables::kDipSeconds.size()) {
            if (!interruption)
                ++tables.longerThanTheTables;
            continue;
        }
        // The row whose band holds the residual: 90 > u ≥ 80, …, 40 > u ≥ 5, u < 5.
        std::size_t row = 0;
        while (row + 1 < EventTables::kDipResiduals.size() && level < EventTables::kDipResiduals[row + 1])
            ++row;
        ++tables.dips[row][column];
    }
    return tables;
}

} // namespace svglogger
