#include "link/DeviceLink.h"

#include "common/Settings.h"
#include "link/PortWriter.h"

namespace svglogger {

DeviceLink::DeviceLink(const Settings &settings, PortWriter &port, LinkView &view)
    : m_settings(settings)
    , m_port(port)
    , m_commLog(view)
{
}

void DeviceLink::receive(std::string_view received)
{
    if (!received.empty())
        m_receiveBuffer.append(received);
}

const std::string *DeviceLink::nextLine()
{
    if (m_receiveBuffer.takeLine(m_line)) {
        if (m_settings.logShown)
            m_commLog.addLine(m_line);
        return &m_line;
    }
    // Text before the prompt without a CR is the tail of a line still in flight when ESC went
    // out (or the LF of a CR LF line end): it is dropped, never decoded. The prompt itself
    // stays in the buffer and begins the next line.
    if (m_linkState == LinkState::AwaitingPrompt && m_receiveBuffer.text().ends_with(kPrompt)) {
        m_receiveBuffer.keepLast(kPrompt.size());
        m_port.output(kStreamCommand);
        m_linkState = LinkState::Streaming;
    }
    return nullptr;
}

void DeviceLink::wakeController()
{
    m_receiveBuffer.clear();
    sendStartStop();
    m_linkState = LinkState::AwaitingPrompt;
}

void DeviceLink::sendStartStop()
{
    m_port.output(kStartStop);
}

} // namespace svglogger
