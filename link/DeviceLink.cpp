#include "link/DeviceLink.h"

#include "link/PortWriter.h"
#include "common/Settings.h"

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
        if (m_settings.showCommunicationLog())
            m_commLog.addLine(m_line);
        return &m_line;
    }
    // The prompt counts only as the entire remaining buffer; it stays there afterwards.
    if (m_linkState == LinkState::AwaitingPrompt && m_receiveBuffer.text() == kPrompt) {
        m_port.output(kStreamCommand);
        m_linkState = LinkState::Streaming;
    }
    return nullptr;
}

void DeviceLink::sendStartStop()
{
    m_port.output(kStartStop);
}

} // namespace svglogger
