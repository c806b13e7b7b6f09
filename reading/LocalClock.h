#pragma once

#include <cstdint>
#include <memory>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace svglogger {

// From standard second `from` on, the wall clock runs `shift` seconds ahead of standard time
// (3600 in a European summer, 0 in winter).
struct ClockShift {
    std::int64_t from = 0;
    std::int64_t shift = 0;
};

// The daylight saving of the zone the logger's clock kept: the shifts of one calendar year of
// standard time, in order, the first one at or before the year's first second.
class ClockZone
{
public:
    virtual ~ClockZone() = default;
    virtual std::vector<ClockShift> shiftsOf(int year) const = 0;
};

// The logger stamps its rows by the wall clock, which skips an hour in spring and repeats one
// in autumn. The viewer keeps times on the zone's standard time instead: seconds since
// 1970-01-01 0:00 of the wall clock without its daylight shift, a timeline with neither, equal
// to the wall clock wherever no daylight saving is kept (no zone: always).
class LocalClock
{
public:
    explicit LocalClock(std::shared_ptr<const ClockZone> zone = {});

    // The daylight shift at standard second `standard`, s.
    std::int64_t shiftAt(std::int64_t standard) const;
    std::int64_t wallOf(std::int64_t standard) const { return standard + shiftAt(standard); }
    // The standard second of wall second `wall`. A wall time of the repeated hour is two
    // moments: the earlier, unless it lies before `notBefore` (the row before it, in recording
    // order); a wall time of the skipped hour, which no clock showed, is read as if before the skip.
    std::int64_t standardOf(std::int64_t wall, std::int64_t notBefore = INT64_MIN) const;
    bool keepsDaylightSaving() const { return m_zone != nullptr; }
    // The first standard second after `after` at which the shift changes; none up to `before`.
    std::optional<std::int64_t> nextChange(std::int64_t after, std::int64_t before) const;

    // The stretch of standard time [from, to) around `standard` over which the shift stays
    // what it is there (bounded to a year or so each way).
    std::pair<std::int64_t, std::int64_t> stretchAt(std::int64_t standard) const;

private:
    const std::vector<ClockShift> &shiftsOf(int year) const; // under m_mutex

    std::shared_ptr<const ClockZone> m_zone;
    mutable std::mutex m_mutex;
    mutable std::map<int, std::vector<ClockShift>> m_years;
};

// Reads a file's wall-clock seconds in recording order onto standard time: a reading of the
// repeated hour is the one not before the row read last. Away from a change of the shift, a
// subtraction.
class WallClockReader
{
public:
    explicit WallClockReader(const LocalClock &clock, std::int64_t notBefore = INT64_MIN);
    std::int64_t read(std::int64_t wall);

private:
    const LocalClock &m_clock;
    std::int64_t m_previous;
    std::int64_t m_safeFrom = 1, m_safeTo = 0; // wall seconds read by subtracting m_shift
    std::int64_t m_shift = 0;
};

// The clock the times of recorded rows are read and written by: none keeps daylight saving
// unless a program sets one (svg-logger-view: the system's zone, TZ).
const LocalClock &localClock();
void setLocalClock(std::shared_ptr<const ClockZone> zone);

} // namespace svglogger
