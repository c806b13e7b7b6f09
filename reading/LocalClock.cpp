#include "reading/LocalClock.h"

#include "recording/DateSerial.h"

#include <algorithm>
#include <cassert>

namespace svglogger {

namespace {

int yearOf(std::int64_t seconds)
{
    return civilFromSeconds(seconds).year;
}

// Every candidate shift of the wall time `wall`: those in force up to a day around it.
constexpr std::int64_t kReach = 86400;

} // namespace

LocalClock::LocalClock(std::shared_ptr<const ClockZone> zone)
    : m_zone(std::move(zone))
{
}

const std::vector<ClockShift> &LocalClock::shiftsOf(int year) const
{
    auto found = m_years.find(year);
    if (found == m_years.end()) {
        std::vector<ClockShift> shifts = m_zone->shiftsOf(year);
        assert(std::is_sorted(shifts.begin(), shifts.end(),
                              [](const ClockShift &a, const ClockShift &b) { return a.from < b.from; }));
        found = m_years.emplace(year, std::move(shifts)).first;
    }
    return found->second;
}

std::int64_t LocalClock::shiftAt(std::int64_t standard) const
{
    if (!m_zone)
        return 0;
    const std::lock_guard lock(m_mutex);
    const std::vector<ClockShift> &shifts = shiftsOf(yearOf(standard));
    const auto after = std::upper_bound(shifts.begin(), shifts.end(), standard,
                                        [](std::int64_t t, const ClockShift &s) { return t < s.from; });
    return after == shifts.begin() ? 0 : std::prev(after)->shift;
}

std::int64_t LocalClock::standardOf(std::int64_t wall, std::int64_t notBefore) const
{
    if (!m_zone)
        return wall;
    // A moment t shows `wall` when t + shiftAt(t) == wall: try each shift in force nearby,
    // keeping the moments found in time order (at most two: the repeated hour's).
    std::vector<std::int64_t> candidates;
    for (const std::int64_t probe : {wall - kReach, wall, wall + kReach}) {
        const std::int64_t shift = shiftAt(probe);
        const std::int64_t t = wall - shift;
        if (shiftAt(t) == shift && std::find(candidates.begin(), candidates.end(), t) == candidates.end())
            candidates.insert(std::upper_bound(candidates.begin(), candidates.end(), t), t);
    }
    if (candidates.empty())
        return wall - shiftAt(wall - kReach); // in the skipped hour: as the clock before the skip
    const auto first = std::lower_bound(candidates.begin(), candidates.end(), notBefore);
    return first != candidates.end() ? *first : candidates.front();
}

std::optional<std::int64_t> LocalClock::nextChange(std::int64_t after, std::int64_t before) const
{
    if (!m_zone)
        return std::nullopt;
    const std::lock_guard lock(m_mutex);
    std::int64_t shift = 0;
    bool known = false;
    for (int year = yearOf(after); year <= yearOf(before); ++year)
        for (const ClockShift &s : shiftsOf(year)) {
            if (s.from > before)
                return std::nullopt;
            if (s.from > after && known && s.shift != shift)
                return s.from;
            shift = s.shift;
            known = true;
        }
    return std::nullopt;
}

std::pair<std::int64_t, std::int64_t> LocalClock::stretchAt(std::int64_t standard) const
{
    constexpr std::int64_t kFar = 400LL * 86400; // beyond: taken as no change
    if (!m_zone)
        return {standard - kFar, standard + kFar};
    // The changes of the years around, each where the shift becomes another.
    std::vector<ClockShift> changes;
    {
        const std::lock_guard lock(m_mutex);
        for (int year = yearOf(standard - kFar); year <= yearOf(standard + kFar); ++year)
            for (const ClockShift &s : shiftsOf(year))
                if (changes.empty() || changes.back().shift != s.shift)
                    changes.push_back(s);
    }
    const auto after = std::upper_bound(changes.begin(), changes.end(), standard,
                                        [](std::int64_t t, const ClockShift &s) { return t < s.from; });
    const std::int64_t from = after == changes.begin() ? standard - kFar : std::prev(after)->from;
    const std::int64_t to = after == changes.end() ? standard + kFar : after->from;
    return {std::max(from, standard - kFar), std::min(to, standard + kFar)};
}

WallClockReader::WallClockReader(const LocalClock &clock, std::int64_t notBefore)
    : m_clock(clock)
    , m_previous(notBefore)
{
}

std::int64_t WallClockReader::read(std::int64_t wall)
{
    if (wall >= m_safeFrom && wall < m_safeTo)
        return m_previous = wall - m_shift;
    const std::int64_t standard = m_clock.standardOf(wall, m_previous);
    // Wall readings this far inside the stretch of one shift are no one else's.
    constexpr std::int64_t kMargin = 3 * 3600;
    const auto [from, to] = m_clock.stretchAt(standard);
    m_shift = m_clock.shiftAt(standard);
    m_safeFrom = from + m_shift + kMargin;
    m_safeTo = to + m_shift - kMargin;
    return m_previous = standard;
}

namespace {

std::mutex g_clockMutex;
std::shared_ptr<const LocalClock> g_clock = std::make_shared<LocalClock>();

} // namespace

const LocalClock &localClock()
{
    const std::lock_guard lock(g_clockMutex);
    return *g_clock; // a clock once set lives as long as the program: see setLocalClock
}

void setLocalClock(std::shared_ptr<const ClockZone> zone)
{
    const std::lock_guard lock(g_clockMutex);
    // The clock it replaces is kept alive: a reader on another thread may still hold it.
    static std::vector<std::shared_ptr<const LocalClock>> replaced;
    replaced.push_back(g_clock);
    g_clock = std::make_shared<LocalClock>(std::move(zone));
}

} // namespace svglogger
