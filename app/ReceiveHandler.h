#pragma once

#include "DeviceLink.h"
#include "EngineInterfaces.h"
#include "LiveReadout.h"
#include "LogRecorder.h"
#include "MeasurementDecoder.h"
#include "TracePlotter.h"

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
    void onComm(std::string_view received);

    DeviceLink &link() { return m_link; }
    const DeviceLink &link() const { return m_link; }
    const MeasurementDecoder &decoder() const { return m_decoder; }
    LogRecorder &recorder() { return m_recorder; }
    TracePlotter &plotter() { return m_plotter; }
    const LogRecorder &recorder() const { return m_recorder; }

private:
    void handleLine(std::string_view line);
    void applyVersion(const LineOutcome &outcome);

    EngineInterfaces m_interfaces;
    DeviceLink m_link;
    MeasurementDecoder m_decoder;
    LiveReadout m_readout;
    TracePlotter m_plotter;
    LogRecorder m_recorder;
};

} // namespace svglogger
