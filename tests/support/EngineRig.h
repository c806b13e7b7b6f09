#pragma once

#include "common/Settings.h"
#include "pipeline/ReceiveHandler.h"
#include "recording/TriggerSettings.h"
#include "pipeline/RunControl.h"
#include "support/FakeClock.h"
#include "support/FakeGraphView.h"
#include "support/FakeLinkView.h"
#include "support/FakePort.h"
#include "support/FakeRecordingView.h"
#include "support/MemoryLogFiles.h"
#include "support/Paths.h"

namespace svglogger::test {

// A complete engine behind one receive handler, with fakes for everything outside it.
// The log folder starts as kLogFolder ("/log/", on Windows "C:\\log\\").
struct EngineRig : RunControl {
    Settings settings;
    TriggerSettings triggerSettings;
    FakeClock clock;
    FakePort port;
    FakeLinkView linkView;
    FakeGraphView graphView;
    FakeRecordingView recordingView;
    MemoryLogFiles files;
    ReceiveHandler handler{EngineInterfaces{settings, clock, port, linkView, graphView, recordingView,
                                            triggerSettings, files, *this}};
    int stops = 0;

    EngineRig()
    {
        handler.setEvents(&recordingView);
        handler.recorder().setOutputPath(kLogFolder + handler.recorder().fileName());
    }

    // The Stop that a complete single-shot capture performs.
    void stopRun() override
    {
        ++stops;
        handler.stopRun(true);
    }

    LogRecorder &recorder() { return handler.recorder(); }
    void receive(const std::string &text) { handler.receiveBytes(text); }
};

} // namespace svglogger::test
