#pragma once

#include "pipeline/RunEvents.h"

#include <vector>

namespace svglogger {

// A run's events to each of its followers, in the order they began to follow.
class RunEventFanOut final : public RunEvents
{
public:
    void add(RunEvents *follower) { m_followers.push_back(follower); }

    void lineRecorded(const LocalDateTime &time, const MeasurementSample &sample,
                      ControllerVersion controllerVersion) override
    {
        for (RunEvents *f : m_followers)
            f->lineRecorded(time, sample, controllerVersion);
    }
    void rowMade(std::string_view row) override { each(&RunEvents::rowMade, row); }
    void fileOpened(std::string_view path) override { each(&RunEvents::fileOpened, path); }
    void fileClosed(std::string_view path, std::int64_t rows) override
    {
        for (RunEvents *f : m_followers)
            f->fileClosed(path, rows);
    }
    void triggerFired() override { each(&RunEvents::triggerFired); }
    void runEnded() override { each(&RunEvents::runEnded); }
    void portLost() override { each(&RunEvents::portLost); }
    void portBack() override { each(&RunEvents::portBack); }
    void linkChanged(LinkCondition condition) override { each(&RunEvents::linkChanged, condition); }
    void statusShown(std::string_view text) override { each(&RunEvents::statusShown, text); }

private:
    template <typename Event, typename... Args>
    void each(Event event, Args... args)
    {
        for (RunEvents *f : m_followers)
            (f->*event)(args...);
    }

    std::vector<RunEvents *> m_followers;
};

} // namespace svglogger
