#pragma once

#include "quality/EventKind.h"
#include "quality/VoltageEvents.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace svglogger {

// What happened in the recorded rows, for a list to go through: trigger firings (a replay)
// and voltage events, in time order.
struct ListedEvent {
    double time = 0.0;
    EventKind kind = EventKind::Trigger;
    std::optional<double> seconds;  // a voltage event's duration where known
    std::optional<float> extreme;   // a voltage event's extreme, V
};

std::vector<ListedEvent> listEvents(const std::vector<double> &firingTimes, const std::vector<VoltageEvent> &voltage);

// "time,type,duration_s,extreme_v,extreme_pct,nominal_v" and a line an event (UTF-8, CR LF),
// times as the log files write them (midnight too with its time); what an event has not is left
// empty. `nominal` is the Uc the events were found with and the % is of; each line names it.
std::string eventListCsv(const std::vector<ListedEvent> &events, double nominal);

// The first event after `time` (later by more than `slack` seconds), the last one before it.
std::optional<std::size_t> nextEvent(const std::vector<ListedEvent> &events, double time, double slack);
std::optional<std::size_t> previousEvent(const std::vector<ListedEvent> &events, double time, double slack);

} // namespace svglogger
