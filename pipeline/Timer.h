#pragma once

#include <functional>

namespace svglogger {

// A repeating timer of the event loop the engine runs on; its handler runs on that thread.
class Timer
{
public:
    virtual ~Timer() = default;
    // (Re)starts the timer: `onTimeout` runs every `milliseconds` until stop().
    virtual void start(int milliseconds, std::function<void()> onTimeout) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

} // namespace svglogger
