#include "tools/ControllerDialogue.h"

namespace svglogger {

namespace {
constexpr char kEscape = '\x1b';
constexpr std::string_view kCommand = "MN R\r";
constexpr std::size_t kMaxCommand = 256;
} // namespace

std::string ControllerDialogue::receive(std::string_view bytes)
{
    std::string reply;
    for (char c : bytes) {
        if (c == kEscape) {
            if (m_state == State::Streaming) {
                m_state = State::Waiting;
            } else {
                reply += "D:";
                m_state = State::Prompted;
            }
            m_command.clear();
            continue;
        }
        if (m_state != State::Prompted)
            continue;
        m_command += c;
        if (m_command.find(kCommand) != std::string::npos) {
            m_state = State::Streaming;
            m_command.clear();
        } else if (m_command.size() > kMaxCommand) {
            m_command.erase(0, m_command.size() - kCommand.size());
        }
    }
    return reply;
}

} // namespace svglogger
