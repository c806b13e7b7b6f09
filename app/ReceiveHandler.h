#pragma once

#include "DeviceLink.h"
#include "MeasurementDecoder.h"

#include <string_view>

namespace svglogger {

class Clock;
class LinkView;
class LogFileOpener;
class PortWriter;
class Settings;
class TriggerSettings;

// The serial receive event: runs every complete line through the per-line steps in arrival
// order, answers the prompt when no line is left, and shows the time of the event.
class ReceiveHandler
{
public:
    ReceiveHandler(const Settings &settings, const Clock &clock, PortWriter &port, LinkView &view,
                   TriggerSettings &triggerSettings);

    // Where FOpen goes when the controller's version first becomes known without trigger.
    void setLogFileOpener(LogFileOpener *opener) { m_logFileOpener = opener; }

    // One receive event with everything that arrived (possibly nothing).
    void onComm(std::string_view received);

    DeviceLink &link() { return m_link; }
    const DeviceLink &link() const { return m_link; }
    const MeasurementDecoder &decoder() const { return m_decoder; }

private:
    void handleLine(std::string_view line);
    void applyVersion(const LineOutcome &outcome);

    const Settings &m_settings;
    const Clock &m_clock;
    LinkView &m_view;
    TriggerSettings &m_triggerSettings;
    LogFileOpener *m_logFileOpener = nullptr;
    DeviceLink m_link;
    MeasurementDecoder m_decoder;
};

} // namespace svglogger
