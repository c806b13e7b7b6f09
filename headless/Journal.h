#pragma once

#include "link/LinkState.h"
#include "mqtt/MqttLog.h"
#include "pipeline/RunEvents.h"

#include <cstdint>
#include <mutex>
#include <ostream>
#include <string_view>

namespace svglogger {

// The headless program's journal: one line each, for a service manager's journal. Faults and
// warnings (the status texts the window would show, in the same words) always; with `quiet`
// nothing else: the start, files opened and closed with their rows, the trigger firing, the
// summary. Lines may come from more than one thread (the publisher's network); each is
// written whole. With `priorities` (standard error is systemd's journal) each line starts
// with its sd-daemon level: faults <3>, warnings <4>, the rest <6>.
class Journal final : public RunEvents, public MqttLog
{
public:
    Journal(std::ostream &out, bool quiet, bool priorities = false)
        : m_out(out), m_quiet(quiet), m_priorities(priorities)
    {
    }

    // Whether standard error is the journal: JOURNAL_STREAM names its device and inode.
    static bool standardErrorIsTheJournal();

    void info(std::string_view text) override;
    // Something went wrong and logging goes on around it (the controller, the broker).
    void warning(std::string_view text) override;
    // Data is not recorded or cannot be (a log file, a port that cannot be opened, bad settings).
    void fault(std::string_view text) override;
    // Once a minute: lines received, rows written, the state of the link.
    void summary(std::uint64_t lines, std::int64_t rows, LinkState state, bool waitingForPort);

    // RunEvents
    void statusChanged(const RunStatus &status) override;
    void fileOpened(std::string_view path) override;
    void fileClosed(std::string_view path, std::int64_t rows) override;
    void triggerFired() override;

private:
    std::ostream &m_out;
    bool m_quiet = false;
    bool m_priorities = false;
    void write(char level, std::string_view text);
    std::mutex m_mutex;
};

} // namespace svglogger
