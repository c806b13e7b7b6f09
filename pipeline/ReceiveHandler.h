#pragma once

#include "graph/TracePlotter.h"
#include "graph/TrendHistory.h"
#include "link/DeviceLink.h"
#include "link/LiveReadout.h"
#include "link/MeasurementDecoder.h"
#include "pipeline/EngineInterfaces.h"
#include "recording/LogRecorder.h"
#include "pipeline/TriggerControl.h"

#include <string_view>

namespace svglogger {

// The serial receive event: runs every complete line through the per-line steps in arrival
// order (decoding, readout, recording, row writer), answers the prompt when no line is
// left, and shows the time of the event.
class ReceiveHandler
{
public:
    explicit ReceiveHandler(const EngineInterfaces &interfaces);

    // One receive event with everything that arrived (possibly nothing).
    void receiveBytes(std::string_view received);

    // The engine's part of Start, once the port is open: the log file (trigger off) or the
    // armed trigger (on), then ESC, then waiting for the prompt.
    void startRun();
    // The engine's part of Stop: ESC while the port is up, the link idle, the file closed, a
    // fresh name shown, the trigger armed again when it is on.
    void stopRun(bool portUp);
    // After a reconnection or a silence: the controller is woken as at Start, the file and
    // the trigger go on as they are.
    void wakeController() { m_link.wakeController(); }

    // Who follows the run's recording: every line's record, the files, the trigger.
    void setEvents(RecordingEvents *events)
    {
        m_events = events;
        m_recorder.setEvents(events);
    }

    // Complete lines handled since the program started.
    std::uint64_t linesHandled() const { return m_linesHandled; }

    DeviceLink &link() { return m_link; }
    const DeviceLink &link() const { return m_link; }
    const MeasurementDecoder &decoder() const { return m_decoder; }
    // The last 701 samples the graph draws, kept while it is hidden too.
    const TrendHistory &trend() const { return m_trend; }
    LogRecorder &recorder() { return m_recorder; }
    // The trace scales for the two range sliders.
    void setGraphRanges(int voltageRange, int powerRange) { m_plotter.scales().update(voltageRange, powerRange); }
    TriggerControl &trigger() { return m_trigger; }
    const TriggerControl &trigger() const { return m_trigger; }
    const LogRecorder &recorder() const { return m_recorder; }

private:
    void handleLine(std::string_view line);
    void applyVersion(const LineOutcome &outcome);

    EngineInterfaces m_interfaces;
    DeviceLink m_link;
    MeasurementDecoder m_decoder;
    LiveReadout m_readout;
    TrendHistory m_trend;
    TracePlotter m_plotter;
    LogRecorder m_recorder;
    TriggerControl m_trigger;
    RecordingEvents *m_events = nullptr;
    std::uint64_t m_linesHandled = 0;
};

} // namespace svglogger
