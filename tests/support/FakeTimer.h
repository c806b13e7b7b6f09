#pragma once

#include "pipeline/Timer.h"

#include <functional>

namespace svglogger::test {

// A timer the test fires by hand.
class FakeTimer final : public Timer
{
public:
    int interval = 0;
    int starts = 0;

    void start(int milliseconds, std::function<void()> onTimeout) override
    {
        interval = milliseconds;
        m_onTimeout = std::move(onTimeout);
        m_active = true;
        ++starts;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }
    // One timeout, as the event loop would run it; nothing when the timer is stopped.
    void fire()
    {
        if (m_active && m_onTimeout)
            m_onTimeout();
    }

private:
    std::function<void()> m_onTimeout;
    bool m_active = false;
};

} // namespace svglogger::test
