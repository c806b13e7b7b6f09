#pragma once

#include "pipeline/Timer.h"

#include <QTimer>

namespace svglogger {

// The engine's timer on Qt's event loop.
class QtTimer final : public Timer
{
public:
    QtTimer();

    void start(int milliseconds, std::function<void()> onTimeout) override;
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
    std::function<void()> m_onTimeout;
};

} // namespace svglogger
