#pragma once

#include <cstdint>
#include <string_view>

namespace svglogger {

// What the recording does, for whoever follows it (a journal, a publisher, a test). Each
// call happens on the engine's thread as the event happens; the defaults ignore it.
class RecordingEvents
{
public:
    virtual ~RecordingEvents() = default;
    // A row was made from a line, before it is routed by TriggerState.
    virtual void rowMade(std::string_view row) { (void)row; }
};

} // namespace svglogger
