#pragma once

#include "pipeline/LinkCondition.h"
#include "pipeline/RunStatus.h"
#include "recording/RecordingEvents.h"

#include <cstddef>
#include <string_view>

namespace svglogger {

// Why the controller was sent ESC: the run's start, no prompt after the last ESC, no line for
// the watchdog's time, the stream paused by the controller, the port back after a loss. Count
// is no reason: how many there are, the size of every table indexed by one.
enum class WakeReason { Start, NoAnswer, NoData, StreamPaused, PortBack, Count };

inline constexpr std::size_t kWakeReasonCount = static_cast<std::size_t>(WakeReason::Count);

// Everything a measurement run tells the program around it: the recording's events (lines,
// rows, files, the trigger) and the run's own (its end, the port, the link, the status text).
// The journal, the MQTT publisher, the health message and the window follow it, each through
// RunController::follow; every call happens on the engine's thread, the defaults ignore it.
class RunEvents : public RecordingEvents
{
public:
    // A complete single-shot capture has stopped the run, as the Stop button does.
    virtual void runEnded() {}
    // The serial port went away during the run, and came back.
    virtual void portLost() {}
    virtual void portBack() {}
    // The link's condition changed (Stopped at Stop and at the end of the program).
    virtual void linkChanged(LinkCondition condition) { (void)condition; }
    // ESC went to the controller.
    virtual void controllerWoken(WakeReason reason) { (void)reason; }
    // The status now shown: its cause and text; cause None when it is cleared.
    virtual void statusChanged(const RunStatus &status) { (void)status; }
};

} // namespace svglogger
