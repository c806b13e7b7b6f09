#pragma once

#include "pipeline/RunEvents.h"

#include <algorithm>
#include <cassert>
#include <vector>

namespace svglogger {

// A run's events to each of its followers, in the order they began to follow.
class RunEventFanOut final : public RunEvents
{
public:
    void add(RunEvents *follower)
    {
        assert(follower && std::find(m_followers.begin(), m_followers.end(), follower) == m_followers.end());
        m_followers.push_back(follower);
    }
    // A follower that goes away before the run stops following it; not from inside an event.
    void remove(RunEvents *follower) { std::erase(m_followers, follower); }

    void lineRecorded(const LineRecord &record) override { each(&RunEvents::lineRecorded, record); }
    void fileOpened(std::string_view path) override { each(&RunEvents::fileOpened, path); }
    void fileClosed(std::string_view path, std::int64_t rows) override { each(&RunEvents::fileClosed, path, rows); }
    void triggerFired() override { each(&RunEvents::triggerFired); }
    void fileProblemChanged(FileProblem problem, std::string_view text) override
    {
        each(&RunEvents::fileProblemChanged, problem, text);
    }
    void runEnded() override { each(&RunEvents::runEnded); }
    void portLost() override { each(&RunEvents::portLost); }
    void portBack() override { each(&RunEvents::portBack); }
    void linkChanged(LinkCondition condition) override { each(&RunEvents::linkChanged, condition); }
    void controllerWoken(WakeReason reason) override { each(&RunEvents::controllerWoken, reason); }
    void statusChanged(const RunStatus &status) override { each(&RunEvents::statusChanged, status); }

private:
    template <typename Event, typename... Args>
    void each(Event event, const Args &...args)
    {
        for (RunEvents *f : m_followers)
            (f->*event)(args...);
    }

    std::vector<RunEvents *> m_followers;
};

} // namespace svglogger
