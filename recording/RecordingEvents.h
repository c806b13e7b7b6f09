#pragma once

#include "common/Clock.h"
#include "link/ControllerVersion.h"
#include "link/MeasurementSample.h"

#include <cstdint>
#include <string_view>

namespace svglogger {

// What the recording does, for whoever follows it (a journal, a publisher, a test). Each
// call happens on the engine's thread as the event happens; the defaults ignore it.
class RecordingEvents
{
public:
    virtual ~RecordingEvents() = default;
    // A decoded measurement line as a continuous row holds it: the time of its row, the
    // sample and the controller's version.
    virtual void lineRecorded(const LocalDateTime &time, const MeasurementSample &sample,
                              ControllerVersion controllerVersion)
    {
        (void)time, (void)sample, (void)controllerVersion;
    }
    // A row was made from a line, before it is routed by TriggerState.
    virtual void rowMade(std::string_view row) { (void)row; }
    virtual void fileOpened(std::string_view path) { (void)path; }
    // `rows`: the rows written into it, its header not counted.
    virtual void fileClosed(std::string_view path, std::int64_t rows) { (void)path, (void)rows; }
    // The trigger fired: a capture starts with this line.
    virtual void triggerFired() {}
};

} // namespace svglogger
