#pragma once

#include "quality/VoltageEvents.h"

#include <string_view>

namespace svglogger {

// What the event list holds: a trigger's firing or one of the voltage events.
enum class EventKind { Trigger, Dip, Swell, ShortInterruption, LongInterruption, Undervoltage, Overvoltage };

EventKind eventKindOf(VoltageEvent::Kind kind);

// Its name in the CSV files: "trigger", "dip", "swell", "interruption_short", "interruption_long",
// "undervoltage", "overvoltage".
std::string_view eventKindName(EventKind kind);

// Its name for a reader, in the report's two languages (UTF-8): "電圧低下", "dip".
struct EventKindTitle {
    std::string_view japanese, english;
};
const EventKindTitle &eventKindTitle(EventKind kind);

} // namespace svglogger
