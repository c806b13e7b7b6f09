#include "ReceiveHandler.h"

#include "Clock.h"
#include "LinkView.h"
#include "MeasurementTime.h"
#include "Settings.h"
#include "TriggerSettings.h"

namespace svglogger {

ReceiveHandler::ReceiveHandler(const EngineInterfaces &interfaces)
    : m_interfaces(interfaces)
    , m_link(interfaces.settings, interfaces.port, interfaces.linkView)
    , m_decoder(interfaces.settings)
    , m_readout(interfaces.linkView)
    , m_recorder(interfaces.settings, interfaces.clock, interfaces.logFile, interfaces.recordingView, m_decoder)
{
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
    m_recorder.writeRow();
}

// A version line fixes the layout; the first one also opens the log of a run without
// trigger, which could not be opened while the version was unknown.
void ReceiveHandler::applyVersion(const LineOutcome &outcome)
{
    if (outcome.versionFirstKnown && !m_interfaces.settings.triggerOn())
        m_recorder.fOpen();
    m_interfaces.linkView.setNegativeSequenceRowsEnabled(outcome.version == 2);
    if (outcome.version != 2)
        m_interfaces.triggerSettings.clearNegativeSequenceConditions();
}

} // namespace svglogger
