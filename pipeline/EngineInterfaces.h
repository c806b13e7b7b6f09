#pragma once

namespace svglogger {

class Clock;
class GraphView;
class LinkView;
class LogFileWriter;
class PortWriter;
class RecordingView;
class RunControl;
struct Settings;
struct TriggerSettings;

// Everything outside the engine that a receive event touches: the windows' controls, the
// clock, the serial port's sending side, the views and the log file.
struct EngineInterfaces {
    const Settings &settings;
    const Clock &clock;
    PortWriter &port;
    LinkView &linkView;
    GraphView &graphView;
    RecordingView &recordingView;
    TriggerSettings &triggerSettings;
    LogFileWriter &logFile;
    RunControl &runControl;
};

} // namespace svglogger
