#pragma once

#include "link/CommLog.h"
#include "link/LinkState.h"
#include "link/ReceiveBuffer.h"

#include <string>
#include <string_view>

namespace svglogger {

class LinkView;
class PortWriter;
struct Settings;

// The receiving end of the serial dialogue: collects received text, cuts it into lines at CR,
// logs them while the communication log is shown, and answers the controller's prompt "D:" once per run.
class DeviceLink
{
public:
    static constexpr std::string_view kStartStop = "\x1b";       // ESC, no line end
    static constexpr std::string_view kPrompt = "D:";
    static constexpr std::string_view kStreamCommand = "MN R\r\n";

    DeviceLink(const Settings &settings, PortWriter &port, LinkView &view);

    // Appends everything that arrived with one receive event.
    void receive(std::string_view received);
    // The next complete line, or nullptr when none is left; the text stays valid until the
    // next call. When none is left and the remaining buffer ends with the prompt while
    // AwaitingPrompt, the stream command is written and the state becomes Streaming.
    const std::string *nextLine();

    // ESC, sent by the run control at Stop.
    void sendStartStop();
    // At Start, after a reconnection and when the controller has fallen silent: what an
    // earlier run left in the buffer is dropped, ESC goes out, the prompt is awaited.
    void wakeController();

    LinkState linkState() const { return m_linkState; }
    void setLinkState(LinkState state) { m_linkState = state; }

    const ReceiveBuffer &receiveBuffer() const { return m_receiveBuffer; }
    const CommLog &commLog() const { return m_commLog; }

private:
    const Settings &m_settings;
    PortWriter &m_port;
    ReceiveBuffer m_receiveBuffer;
    CommLog m_commLog;
    LinkState m_linkState = LinkState::Idle;
    std::string m_line;
};

} // namespace svglogger
