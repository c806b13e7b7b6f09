#include "platform/QtTimer.h"

namespace svglogger {

QtTimer::QtTimer()
{
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (m_onTimeout)
            m_onTimeout();
    });
}

void QtTimer::start(int milliseconds, std::function<void()> onTimeout)
{
    m_onTimeout = std::move(onTimeout);
    m_timer.start(milliseconds);
}

} // namespace svglogger
