#include "headless/Journal.h"

#include <string>

namespace svglogger {

void Journal::info(std::string_view text)
{
    if (!m_quiet)
        fault(text);
}

void Journal::fault(std::string_view text)
{
    const std::lock_guard lock(m_mutex);
    m_out << text << std::endl;
}

void Journal::summary(std::uint64_t lines, std::int64_t rows, LinkState state, bool waitingForPort)
{
    const char *link = waitingForPort                       ? "waiting for the port"
        : state == LinkState::Streaming                     ? "streaming"
        : state == LinkState::AwaitingPrompt                ? "awaiting the prompt"
                                                            : "idle";
    info("summary: " + std::to_string(lines) + " lines received, " + std::to_string(rows) + " rows written, link "
         + link);
}

void Journal::showStatus(std::string_view text)
{
    if (text.empty())
        info("status cleared");
    else
        fault("status: " + std::string(text));
}

void Journal::fileOpened(std::string_view path)
{
    info("file opened: " + std::string(path));
}

void Journal::fileClosed(std::string_view path, std::int64_t rows)
{
    info("file closed: " + std::string(path) + ", " + std::to_string(rows) + " rows");
}

void Journal::triggerFired()
{
    info("trigger fired");
}

} // namespace svglogger
