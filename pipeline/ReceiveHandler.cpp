#include "pipeline/ReceiveHandler.h"

#include "common/Clock.h"
#include "common/Settings.h"
#include "common/TextNumber.h"
#include "link/LinkView.h"
#include "link/MeasurementTime.h"
#include "recording/DateSerial.h"
#include "recording/RecordingEvents.h"
#include "recording/TriggerSettings.h"

#include <algorithm>

namespace svglogger {

ReceiveHandler::ReceiveHandler(const EngineInterfaces &interfaces)
    : m_interfaces(interfaces)
    , m_link(interfaces.settings, interfaces.port, interfaces.linkView)
    , m_decoder(interfaces.settings)
    , m_readout(interfaces.linkView)
    , m_recorder(interfaces.settings, interfaces.clock, interfaces.logFile, interfaces.recordingView, m_decoder)
    , m_evaluator(interfaces.triggerSettings)
    , m_capture(m_recorder, interfaces.triggerSettings, interfaces.recordingView, interfaces.runControl)
{
    m_recorder.setCaptureRows(&m_capture);
}

void ReceiveHandler::startRun()
{
    if (!m_interfaces.settings.triggerOn()) {
        m_recorder.fOpen();
        m_recorder.setTriggerState(TriggerState::Untriggered);
    } else {
        if (!m_triggerSettingsApplied)
            applyTriggerSettings(); // arming needs both rings: take the window's values as "設定" would
        m_recorder.setTriggerState(TriggerState::Armed);
        m_recorder.intervals().setIntervalStart(toDateSerial(m_interfaces.clock.now()));
    }
    m_link.wakeController();
}

void ReceiveHandler::stopRun(bool portUp)
{
    if (portUp)
        m_link.sendStartStop();
    m_link.setLinkState(LinkState::Idle);
    m_recorder.closeLogFile();
    m_recorder.refreshOutputPath();
    // A capture cut short keeps its rows in its file only: the ring starts again, so none of
    // them is written into the next capture too.
    if (m_recorder.triggerState() == TriggerState::Capturing)
        m_capture.restart(false);
    if (m_recorder.triggerState() == TriggerState::Capturing || m_interfaces.settings.triggerOn())
        m_recorder.setTriggerState(TriggerState::Armed);
}

void ReceiveHandler::applyTriggerSettings()
{
    const TriggerSettings &settings = m_interfaces.triggerSettings;
    // Rounded halves to even; beyond the ranges the rings can hold, the nearest end.
    const double pre = roundHalfEven(readTextNumber(settings.preTriggerCountText()));
    const double depth = roundHalfEven(readTextNumber(settings.compareDepthText()));
    m_capture.resize(static_cast<std::int32_t>(std::clamp(pre, 0.0, double{TriggerCapture::kMaxPreTriggerCount})));
    m_evaluator.resize(static_cast<std::int32_t>(std::clamp(depth, 1.0, double{kMaxCompareDepth})));
    m_capture.restart(m_recorder.triggerState() == TriggerState::Capturing);
    m_evaluator.restart();
    m_triggerSettingsApplied = true;
}

void ReceiveHandler::onComm(std::string_view received)
{
    m_decoder.beginReceiveEvent();
    m_link.receive(received);
    while (const std::string *line = m_link.nextLine())
        handleLine(*line);
    m_interfaces.linkView.showMeasurementTime(formatMeasurementTime(m_interfaces.clock.now()));
}

void ReceiveHandler::handleLine(std::string_view line)
{
    ++m_linesHandled;
    const LineOutcome outcome = m_decoder.processLine(line);
    if (outcome.kind == LineOutcome::Kind::Measurement) {
        const MeasurementSample &sample = m_decoder.sample();
        m_readout.showMain(sample);
        if (m_interfaces.settings.graphShown())
            m_plotter.plotTraces(m_decoder.trendHistory(), m_interfaces.settings.uncompensatedVoltageShown(),
                                 m_interfaces.graphView);
        if (m_decoder.controllerVersion() == 2)
            m_readout.showNegativeSequence(sample);
        m_recorder.decodedLine(sample);
    } else if (outcome.kind == LineOutcome::Kind::Version) {
        applyVersion(outcome);
    }
    // Every line while armed, measurement or not, is tested with the sample as it stands.
    if (m_recorder.triggerState() == TriggerState::Armed && m_evaluator.evaluate(m_decoder.sample())) {
        if (RecordingEvents *events = m_recorder.events())
            events->triggerFired();
        m_recorder.setTriggerState(TriggerState::Capturing);
        m_capture.start();
    }
    m_recorder.writeRow();
}

// A version line fixes the layout; the first one also opens the log of a run without
// trigger, which could not be opened while the version was unknown.
void ReceiveHandler::applyVersion(const LineOutcome &outcome)
{
    if (outcome.versionFirstKnown && !m_interfaces.settings.triggerOn()
        && m_recorder.triggerState() == TriggerState::Untriggered)
        m_recorder.fOpen();
    m_interfaces.linkView.setNegativeSequenceRowsEnabled(outcome.version == 2);
    if (outcome.version != 2)
        m_interfaces.triggerSettings.clearNegativeSequenceConditions();
}

} // namespace svglogger
