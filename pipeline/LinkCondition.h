#pragma once

#include <cassert>
#include <cstddef>
#include <iterator>

namespace svglogger {

// What the link is doing, as a health report names it: the run's state with the watchdog's view.
// Count is no condition: how many there are, the size of every table indexed by one.
enum class LinkCondition { Stopped, AwaitingPrompt, Streaming, NoAnswer, NoData, PortLost, Count };

inline constexpr std::size_t kLinkConditionCount = static_cast<std::size_t>(LinkCondition::Count);

// Each condition's word, in LinkCondition's order: the health message's "link", the metrics'
// state label and systemd's status line say it so.
inline constexpr const char *kLinkConditionNames[] = {"stopped",   "awaiting_prompt", "streaming",
                                                      "no_answer", "no_data",         "port_lost"};
static_assert(std::size(kLinkConditionNames) == kLinkConditionCount, "a word for each link condition");

constexpr const char *linkConditionName(LinkCondition condition)
{
    assert(condition != LinkCondition::Count);
    return kLinkConditionNames[static_cast<std::size_t>(condition)];
}

} // namespace svglogger
