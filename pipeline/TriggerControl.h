#pragma once

#include "recording/LineRecord.h"
#include "recording/TriggerCapture.h"
#include "recording/TriggerEvaluator.h"
#include "recording/TriggerState.h"

#include <cstdint>

namespace svglogger {

class LogRecorder;
class RecordingView;
class RunControl;
struct Settings;
struct TriggerSettings;
struct MeasurementSample;

// The trigger's life in one place: the only writer of TriggerState. Start arms it (trigger
// on) or leaves the run untriggered; the evaluation fires it; the capture completes (armed
// again, or the run finished), is cut short by a change of layout or by Stop. It routes every
// row by the state; the recorder only writes them. "トリガー計測中" shows exactly Capturing.
class TriggerControl
{
public:
    TriggerControl(const Settings &settings, const TriggerSettings &triggerSettings, LogRecorder &recorder,
                   RecordingView &view, RunControl &run);

    TriggerState state() const { return m_state; }
    // The rows belong to the trigger: it is selected, or a run started with it goes on after
    // its window was closed (which selects "なし"). No hourly log files then.
    bool ownsTheRun() const;

    // Start: armed with the trigger selected (the settings taken over first if "設定" was
    // never pressed), else untriggered.
    void startRun();
    // Stop: a capture cut short keeps its rows in its file only (the ring starts again); the
    // trigger is armed again when it is selected.
    void stopRun();
    // Every line while armed, measurement or not, with the sample as it stands.
    void lineHandled(const MeasurementSample &sample);
    // The record's row, if it made one: to the log file, the ring, the capture file or nowhere.
    void route(const LineRecord &record);

    // "設定": takes over the pre-trigger count and the comparison depth and makes both rings
    // anew. The rings restart, so no emptied slot reaches a capture; a capture in progress
    // keeps its row count.
    void applySettings();
    bool settingsApplied() const { return m_settingsApplied; }

    // EnabledConditionCount: kept by the condition boxes' clicks (+1 checked, -1 unchecked),
    // never recounted from the boxes, so it outlives the settings window. The headless
    // program, which has no boxes, sets it from its settings file.
    std::int16_t conditionBoxClicked(bool nowChecked);
    void setEnabledConditionCount(std::int16_t count) { m_enabledConditionCount = count; }
    std::int16_t enabledConditionCount() const { return m_enabledConditionCount; }

    const TriggerEvaluator &evaluator() const { return m_evaluator; }
    const TriggerCapture &capture() const { return m_capture; }

private:
    void enter(TriggerState state);
    void fire();
    void captureRefused();
    void complete();
    void endShort();

    const Settings &m_settings;
    const TriggerSettings &m_triggerSettings;
    LogRecorder &m_recorder;
    RecordingView &m_view;
    RunControl &m_run;
    TriggerEvaluator m_evaluator;
    TriggerCapture m_capture;
    TriggerState m_state = TriggerState::Untriggered;
    std::int16_t m_enabledConditionCount = 0;
    bool m_settingsApplied = false;
};

} // namespace svglogger
