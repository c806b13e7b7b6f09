#include "pipeline/ReceiveHandler.h"

#include "common/Clock.h"
#include "common/Settings.h"
#include "link/LinkView.h"
#include "link/MeasurementTime.h"
#include "recording/DateSerial.h"
#include "recording/TriggerSettings.h"


namespace svglogger {

ReceiveHandler::ReceiveHandler(const EngineInterfaces &interfaces)
    : m_interfaces(interfaces)
    , m_link(interfaces.settings, interfaces.port, interfaces.linkView)
    , m_decoder(interfaces.settings)
    , m_readout(interfaces.linkView)
    , m_recorder(interfaces.settings, interfaces.clock, interfaces.logFile, interfaces.recordingView)
    , m_trigger(interfaces.settings, interfaces.triggerSettings, m_recorder, interfaces.recordingView,
                interfaces.runControl)
{
}

void ReceiveHandler::startRun()
{
    m_trigger.startRun();
    if (m_trigger.state() == TriggerState::Untriggered)
        m_recorder.openLogFile();
    else
        m_recorder.intervals().setIntervalStart(toDateSerial(m_interfaces.clock.now()));
    m_link.wakeController();
}

void ReceiveHandler::stopRun(bool portUp)
{
    if (portUp)
        m_link.sendStartStop();
    m_link.setLinkState(LinkState::Idle);
    m_recorder.closeLogFile();
    m_recorder.refreshOutputPath();
    m_trigger.stopRun();
}

void ReceiveHandler::receiveBytes(std::string_view received)
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
        m_trend.add(sample);
        if (m_interfaces.settings.graph)
            m_plotter.plotTraces(m_trend, m_interfaces.settings.uncompensatedVoltage,
                                 m_interfaces.graphView);
        if (m_decoder.controllerVersion() == ControllerVersion::Version2)
            m_readout.showNegativeSequence(sample);
        // The line's record goes on as a value: to the followers, then the trigger routes its
        // row to the recorder; nothing of it comes back.
        const LineRecord record = m_recorder.recordLine(sample, m_trigger.ownsTheRun());
        if (m_events)
            m_events->lineRecorded(record);
        m_trigger.lineHandled(sample);
        m_trigger.route(record);
        return;
    }
    if (outcome.kind == LineOutcome::Kind::Version)
        applyVersion(outcome);
    m_trigger.lineHandled(m_decoder.sample());
}

// A version line fixes the layout; the first one also opens the log of a run without
// trigger, which could not be opened while the version was unknown.
void ReceiveHandler::applyVersion(const LineOutcome &outcome)
{
    m_recorder.setControllerVersion(outcome.version);
    if (outcome.versionFirstKnown && !m_interfaces.settings.trigger
        && m_trigger.state() == TriggerState::Untriggered)
        m_recorder.openLogFile();
    const bool version2 = outcome.version == ControllerVersion::Version2;
    if (!version2) {
        // Its negative-sequence conditions go, each counted down as a cleared box counts.
        for (int cleared = m_interfaces.triggerSettings.clearNegativeSequenceConditions(); cleared > 0; --cleared)
            m_trigger.conditionBoxClicked(false);
    }
    m_interfaces.linkView.setNegativeSequenceRowsEnabled(version2);
}

} // namespace svglogger
