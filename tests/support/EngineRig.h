#pragma once

#include "PlainSettings.h"
#include "ReceiveHandler.h"
#include "support/FakeClock.h"
#include "support/FakeGraphView.h"
#include "support/FakeLinkView.h"
#include "support/FakePort.h"
#include "support/FakeRecordingView.h"
#include "support/FakeTriggerSettings.h"
#include "support/MemoryLogFiles.h"

namespace svglogger::test {

// A complete engine behind one receive handler, with fakes for everything outside it.
// The log folder starts as "/log/".
struct EngineRig {
    PlainSettings settings;
    FakeClock clock;
    FakePort port;
    FakeLinkView linkView;
    FakeGraphView graphView;
    FakeRecordingView recordingView;
    FakeTriggerSettings triggerSettings;
    MemoryLogFiles files;
    ReceiveHandler handler{EngineInterfaces{settings, clock, port, linkView, graphView, recordingView, triggerSettings, files}};

    EngineRig() { handler.recorder().setOutputPath("/log/" + handler.recorder().fName()); }

    LogRecorder &recorder() { return handler.recorder(); }
    void receive(const std::string &text) { handler.onComm(text); }
};

} // namespace svglogger::test
