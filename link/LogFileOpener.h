#pragma once

namespace svglogger {

// FOpen of the log file, handed over from the receive side when the controller's version
// becomes known for the first time while recording without trigger.
class LogFileOpener
{
public:
    virtual ~LogFileOpener() = default;
    virtual void fOpen() = 0;
};

} // namespace svglogger
