#pragma once

#include "common/Settings.h"
#include "pipeline/RunController.h"
#include "pipeline/RunEvents.h"
#include "recording/TriggerSettings.h"
#include "support/FakeClock.h"
#include "support/FakeGraphView.h"
#include "support/FakeLinkView.h"
#include "support/FakePortControl.h"
#include "support/FakeRecordingView.h"
#include "support/FakeTimer.h"
#include "support/MemoryLogFiles.h"
#include "support/Paths.h"

#include <string>

namespace svglogger::test {

// A run control around a complete engine, with fakes for the port, the timers and the
// views. The log folder starts as kLogFolder; the port list holds "/dev/ttyUSB0".
struct RunRig : RunEvents {
    static constexpr const char *kEntry = "USB Serial /dev/ttyUSB0 (COM1)";
    static constexpr const char *kDevice = "/dev/ttyUSB0";

    Settings settings;
    TriggerSettings triggerSettings;
    FakeClock clock;
    FakePortControl port;
    FakeTimer reconnectTimer;
    FakeTimer watchdogTimer;
    FakeTimer pauseTimer;
    FakeLinkView linkView;
    FakeGraphView graphView;
    FakeRecordingView recordingView;
    MemoryLogFiles files;
    RunController run{RunInterfaces{settings, triggerSettings, clock, port, reconnectTimer, watchdogTimer, pauseTimer, linkView,
                                    graphView, recordingView, files}};
    int runsEnded = 0;
    std::string shownStatus; // the status line
    StatusCause shownCause = StatusCause::None;

    RunRig()
    {
        run.follow(this);
        run.setLogFolder(kLogFolder);
        port.onReceived = [this](const std::string &bytes) { run.received(bytes); };
    }
    void runEnded() override { ++runsEnded; }
    void statusChanged(const RunStatus &status) override
    {
        shownStatus = status.text;
        shownCause = status.cause;
    }

    bool start() { return run.start(kEntry, kDevice); }
    // The controller's bytes arrive at the logger.
    void controllerSends(const std::string &bytes) { run.received(bytes); }
    // Start, the prompt answered, an older controller announcing itself.
    void startStreaming()
    {
        start();
        controllerSends("D:");
        controllerSends("Ver1.00\r");
    }
    const std::string &status() const { return shownStatus; }
};

} // namespace svglogger::test
