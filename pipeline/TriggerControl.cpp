#include "pipeline/TriggerControl.h"

#include "common/Settings.h"
#include "pipeline/RunControl.h"
#include "recording/LogRecorder.h"
#include "recording/RecordingEvents.h"
#include "recording/RecordingView.h"
#include "recording/TriggerSettings.h"
#include "recording/TriggerWindowRules.h"

#include <cassert>

namespace svglogger {

TriggerControl::TriggerControl(const Settings &settings, const TriggerSettings &triggerSettings,
                               LogRecorder &recorder, RecordingView &view, RunControl &run)
    : m_settings(settings)
    , m_triggerSettings(triggerSettings)
    , m_recorder(recorder)
    , m_view(view)
    , m_run(run)
    , m_evaluator(triggerSettings)
    , m_capture(recorder, triggerSettings)
{
}

bool TriggerControl::ownsTheRun() const
{
    return m_settings.trigger || m_state != TriggerState::Untriggered;
}

void TriggerControl::enter(TriggerState state)
{
    if (state == m_state)
        return;
    const bool wasCapturing = m_state == TriggerState::Capturing;
    m_state = state;
    if (wasCapturing != (state == TriggerState::Capturing))
        m_view.setCaptureIndicatorVisible(state == TriggerState::Capturing);
}

void TriggerControl::startRun()
{
    if (!m_settings.trigger) {
        enter(TriggerState::Untriggered);
        return;
    }
    if (!m_settingsApplied)
        applySettings(); // arming needs both rings: the window's values as "設定" would take them
    enter(TriggerState::Armed);
}

void TriggerControl::stopRun()
{
    if (m_state == TriggerState::Capturing) {
        m_capture.restart(false);
        enter(TriggerState::Armed);
    }
    if (m_settings.trigger)
        enter(TriggerState::Armed);
}

void TriggerControl::applySettings()
{
    m_capture.resize(TriggerWindowRules::takenOverPreTriggerCount(m_triggerSettings.preTriggerCountText()));
    m_evaluator.resize(TriggerWindowRules::takenOverCompareDepth(m_triggerSettings.compareDepthText()));
    m_capture.restart(m_state == TriggerState::Capturing);
    m_evaluator.restart();
    m_settingsApplied = true;
}

std::int16_t TriggerControl::conditionBoxClicked(bool nowChecked)
{
    m_enabledConditionCount = static_cast<std::int16_t>(m_enabledConditionCount + (nowChecked ? 1 : -1));
    return m_enabledConditionCount;
}

void TriggerControl::lineHandled(const MeasurementSample &sample)
{
    if (m_state == TriggerState::Armed && m_evaluator.evaluate(sample, m_enabledConditionCount))
        fire();
}

// The capture starts with the line that fired, before its row is routed.
void TriggerControl::fire()
{
    assert(m_state == TriggerState::Armed);
    if (RecordingEvents *events = m_recorder.events())
        events->triggerFired();
    enter(TriggerState::Capturing);
    if (!m_capture.start())
        captureRefused();
}

// No capture file: the capture is abandoned and the trigger armed again, so the next event
// is tried; the rows waiting in the ring stay there.
void TriggerControl::captureRefused()
{
    enter(TriggerState::Armed);
}

// The capture file holds its header and one row more than the record count.
void TriggerControl::complete()
{
    assert(m_state == TriggerState::Capturing);
    if (m_triggerSettings.continuousCapture()) {
        enter(TriggerState::Armed);
    } else {
        m_run.stopRun();
        enter(TriggerState::Finished);
    }
}

// The rows changed their layout mid-capture: the file keeps the rows written so far and the
// trigger is armed again with a fresh ring.
void TriggerControl::endShort()
{
    assert(m_state == TriggerState::Capturing);
    m_recorder.closeLogFile();
    m_capture.restart(false);
    enter(TriggerState::Armed);
}

void TriggerControl::route(const LineRecord &record)
{
    if (!record.hasRow())
        return;
    switch (m_state) {
    case TriggerState::Untriggered:
        m_recorder.writeLogRow(record);
        break;
    case TriggerState::Armed:
        m_capture.rowWhileArmed(record.row, record.layout);
        break;
    case TriggerState::Capturing:
        if (!m_recorder.logFileOpen())
            break;
        switch (m_capture.rowWhileCapturing(record.row, record.layout)) {
        case TriggerCapture::Step::Continues:
            break;
        case TriggerCapture::Step::Complete:
            complete();
            break;
        case TriggerCapture::Step::LayoutChanged:
            endShort();
            m_capture.rowWhileArmed(record.row, record.layout);
            break;
        }
        break;
    case TriggerState::Finished:
        break;
    }
}

} // namespace svglogger
