#include "platform/RunStation.h"

namespace svglogger {

RunStation::RunStation(const Settings &settings, TriggerSettings &triggerSettings, const Views &views)
    : m_run(std::make_unique<RunController>(RunInterfaces{settings, triggerSettings, m_clock, m_serial,
                                                          m_reconnectTimer, m_watchdogTimer, m_pauseTimer, views.link,
                                                          views.graph, views.recording, m_logFile}))
{
    // Every arrival of data is one receive event.
    QObject::connect(&m_serial, &SerialPort::received, &m_serial, [this](const QByteArray &bytes) {
        m_run->received(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    });
    QObject::connect(&m_serial, &SerialPort::lost, &m_serial, [this] { m_run->portLost(); });
}

} // namespace svglogger
