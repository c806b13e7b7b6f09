#pragma once

#include <string>
#include <string_view>

namespace svglogger {

// The controller's side of the serial dialogue: ESC brings the prompt "D:", the command
// "MN R" CR LF starts the stream of measurement lines, ESC while streaming stops it.
class ControllerDialogue
{
public:
    enum class State {
        Waiting,   // silent, waiting for ESC
        Prompted,  // "D:" sent, waiting for the command
        Streaming  // sending measurement lines
    };

    // Bytes from the logger; returns what the controller answers at once.
    std::string receive(std::string_view bytes);
    State state() const { return m_state; }

private:
    State m_state = State::Waiting;
    std::string m_command; // characters received since the prompt
};

} // namespace svglogger
