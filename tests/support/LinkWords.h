#pragma once

#include "pipeline/LinkCondition.h"

#include <string>
#include <utility>
#include <vector>

namespace svglogger::test {

// Every link condition with the word the health message, the metrics' state label and
// systemd's status line say for it: the texts that dashboards and alert rules match.
inline const std::vector<std::pair<LinkCondition, std::string>> kLinkWords = {
    {LinkCondition::Stopped, "stopped"},     {LinkCondition::AwaitingPrompt, "awaiting_prompt"},
    {LinkCondition::Streaming, "streaming"}, {LinkCondition::NoAnswer, "no_answer"},
    {LinkCondition::NoData, "no_data"},      {LinkCondition::PortLost, "port_lost"},
};

} // namespace svglogger::test
