#pragma once

#include <cstdint>

namespace svglogger {

// One condition of the journal (the spool's disk cannot be written, the spool at its
// free-space floor): said when it begins, again at most once an hour while it lasts with how
// often it recurred since, and once when it ends; never a line each time it recurs. The
// caller words the lines.
class RepeatedWarning
{
public:
    enum class Say { Nothing, Began, Still, Ended };
    struct Verdict {
        Say say = Say::Nothing;
        // Still: the occurrences since it was last said; Ended: all of them since it began.
        std::uint64_t count = 0;
    };

    explicit RepeatedWarning(std::int64_t repeatSeconds = 3600) : m_repeatSeconds(repeatSeconds) {}

    // The condition holds at `seconds` (any steady count), `times` more occurrences (failed
    // writes, samples dropped; 0 when it only lasts).
    Verdict holds(std::int64_t seconds, std::uint64_t times = 1);
    Verdict cleared();
    bool active() const { return m_active; }

private:
    const std::int64_t m_repeatSeconds;
    bool m_active = false;
    std::int64_t m_saidAt = 0;
    std::uint64_t m_unsaid = 0; // occurrences since it was last said
    std::uint64_t m_total = 0;  // since it began
};

} // namespace svglogger
