#pragma once

#include "pipeline/RunController.h"
#include "platform/PortInventory.h"
#include "platform/QtTimer.h"
#include "platform/SerialPort.h"
#include "platform/ShiftJisLogFile.h"
#include "platform/SystemClock.h"

#include <memory>

namespace svglogger {

// The one place a measurement run is put together: the platform's clock, log file, serial
// port, port inventory and timers, the run controller on them, and the serial port's bytes
// and losses wired to the run. The window and the headless program each make one with their
// settings and their views.
class RunStation
{
public:
    // The views the run shows on; the settings are read by it for as long as it lives.
    struct Views {
        LinkView &link;
        GraphView &graph;
        RecordingView &recording;
    };

    RunStation(const Settings &settings, TriggerSettings &triggerSettings, const Views &views);
    RunStation(const RunStation &) = delete;
    RunStation &operator=(const RunStation &) = delete;

    RunController &run() { return *m_run; }
    const RunController &run() const { return *m_run; }
    PortInventory &inventory() { return m_inventory; }
    ShiftJisLogFile &logFile() { return m_logFile; }
    const Clock &clock() const { return m_clock; }

private:
    SystemClock m_clock;
    ShiftJisLogFile m_logFile;
    SerialPort m_serial;
    PortInventory m_inventory;
    QtTimer m_reconnectTimer;
    QtTimer m_watchdogTimer;
    QtTimer m_pauseTimer;
    std::unique_ptr<RunController> m_run;
};

} // namespace svglogger
