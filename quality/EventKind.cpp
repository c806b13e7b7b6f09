#include "quality/EventKind.h"

#include <array>
#include <cstddef>

namespace svglogger {

namespace {

struct Names {
    std::string_view csv;
    EventKindTitle title;
};

// In the order of EventKind.
constexpr std::array<Names, 7> kNames{{
    {"trigger", {"トリガー", "trigger"}},
    {"dip", {"電圧低下", "dip"}},
    {"swell", {"電圧上昇", "swell"}},
    {"interruption_short", {"短時間停電", "short interruption"}},
    {"interruption_long", {"長時間停電", "long interruption"}},
    {"undervoltage", {"不足電圧", "undervoltage"}},
    {"overvoltage", {"過電圧", "overvoltage"}},
}};
static_assert(kNames.size() == static_cast<std::size_t>(EventKind::Overvoltage) + 1, "a name for each kind");

const Names &namesOf(EventKind kind)
{
    return kNames[static_cast<std::size_t>(kind)];
}

} // namespace

EventKind eventKindOf(VoltageEvent::Kind kind)
{
    switch (kind) {
    case VoltageEvent::Kind::Dip:
        return EventKind::Dip;
    case VoltageEvent::Kind::Swell:
        return EventKind::Swell;
    case VoltageEvent::Kind::ShortInterruption:
        return EventKind::ShortInterruption;
    case VoltageEvent::Kind::LongInterruption:
        return EventKind::LongInterruption;
    case VoltageEvent::Kind::Undervoltage:
        return EventKind::Undervoltage;
    case VoltageEvent::Kind::Overvoltage:
        return EventKind::Overvoltage;
    }
    return EventKind::Dip;
}

std::string_view eventKindName(EventKind kind)
{
    return namesOf(kind).csv;
}

const EventKindTitle &eventKindTitle(EventKind kind)
{
    return namesOf(kind).title;
}

} // namespace svglogger
