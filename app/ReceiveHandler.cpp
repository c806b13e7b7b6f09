#include "ReceiveHandler.h"

#include "Clock.h"
#include "LinkView.h"
#include "LogFileOpener.h"
#include "MeasurementTime.h"
#include "Settings.h"
#include "TriggerSettings.h"

namespace svglogger {

ReceiveHandler::ReceiveHandler(const Settings &settings, const Clock &clock, PortWriter &port,
                               LinkView &view, TriggerSettings &triggerSettings)
    : m_settings(settings)
    , m_clock(clock)
    , m_view(view)
    , m_triggerSettings(triggerSettings)
    , m_link(settings, port, view)
    , m_decoder(settings)
{
}

void ReceiveHandler::onComm(std::string_view received)
{
    m_decoder.beginReceiveEvent();
    m_link.receive(received);
    while (const std::string *line = m_link.nextLine())
        handleLine(*line);
    m_view.showMeasurementTime(formatMeasurementTime(m_clock.now()));
}

void ReceiveHandler::handleLine(std::string_view line)
{
    const LineOutcome outcome = m_decoder.processLine(line);
    if (outcome.kind == LineOutcome::Kind::Measurement) {
        const MeasurementSample &sample = m_decoder.sample();
        m_view.showReadout(sample);
        if (m_decoder.controllerVersion() == 2)
            m_view.showNegativeSequenceReadout(sample);
    } else if (outcome.kind == LineOutcome::Kind::Version) {
        applyVersion(outcome);
    }
}

// A version line fixes the layout; the first one also opens the log of a run without
// trigger, which could not be opened while the version was unknown.
void ReceiveHandler::applyVersion(const LineOutcome &outcome)
{
    if (outcome.versionFirstKnown && !m_settings.triggerOn() && m_logFileOpener)
        m_logFileOpener->fOpen();
    m_view.setNegativeSequenceRowsEnabled(outcome.version == 2);
    if (outcome.version != 2)
        m_triggerSettings.clearNegativeSequenceConditions();
}

} // namespace svglogger
