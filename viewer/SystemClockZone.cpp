#include "viewer/SystemClockZone.h"

#include "recording/DateSerial.h"

#include <QDateTime>

namespace svglogger {

SystemClockZone::SystemClockZone(QTimeZone zone)
    : m_zone(std::move(zone))
{
}

std::vector<ClockShift> SystemClockZone::shiftsOf(int year) const
{
    const std::int64_t first = daysFromCivil(year, 1, 1) * 86400;
    const std::int64_t end = daysFromCivil(year + 1, 1, 1) * 86400;
    // Standard time is the wall clock less the daylight shift: UTC plus the standard offset.
    const auto standardOf = [](const QTimeZone::OffsetData &at) {
        return at.atUtc.toSecsSinceEpoch() + at.standardTimeOffset;
    };
    // The year's bounds widened by a day each way take in a change near New Year in any zone.
    const QDateTime from = QDateTime::fromSecsSinceEpoch(first - 2 * 86400, Qt::UTC);
    const QDateTime to = QDateTime::fromSecsSinceEpoch(end + 2 * 86400, Qt::UTC);
    std::vector<ClockShift> shifts{{first, m_zone.daylightTimeOffset(from)}};
    if (!m_zone.hasTransitions())
        return shifts;
    for (const QTimeZone::OffsetData &change : m_zone.transitions(from, to)) {
        const std::int64_t at = standardOf(change);
        if (at <= first)
            shifts.front().shift = change.daylightTimeOffset;
        else if (at < end)
            shifts.push_back({at, change.daylightTimeOffset});
    }
    return shifts;
}

} // namespace svglogger
