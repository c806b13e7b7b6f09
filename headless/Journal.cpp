#include "headless/Journal.h"


#include <cstdio>
#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace svglogger {

bool Journal::standardErrorIsTheJournal()
{
#ifdef _WIN32
    return false;
#else
    const char *stream = std::getenv("JOURNAL_STREAM");
    struct stat status{};
    if (!stream || ::fstat(STDERR_FILENO, &status) != 0)
        return false;
    unsigned long long device = 0, inode = 0;
    return std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 && device == status.st_dev
        && inode == status.st_ino;
#endif
}

void Journal::write(char level, std::string_view text)
{
    const std::lock_guard lock(m_mutex);
    // A reader that went away (a closed pipe) fails the stream: nothing more is written, and
    // logging goes on.
    if (m_priorities)
        m_out << '<' << level << '>';
    m_out << text << std::endl;
}

void Journal::info(std::string_view text)
{
    if (!m_quiet)
        write('6', text);
}

void Journal::warning(std::string_view text)
{
    write('4', text);
}

void Journal::fault(std::string_view text)
{
    write('3', text);
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

void Journal::statusChanged(const RunStatus &status)
{
    if (status.cause == StatusCause::None) {
        info("status cleared");
        return;
    }
    // Rows that cannot be recorded are faults; the port and the controller, which the run
    // waits for and retries, are warnings.
    const std::string line = "status: " + status.text;
    if (status.rowsLost())
        fault(line);
    else
        warning(line);
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
