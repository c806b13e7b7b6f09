#pragma once

namespace svglogger {

// The run control as the trigger needs it: a single-shot capture that is complete ends the
// measurement run as the Stop button does.
class RunControl
{
public:
    virtual ~RunControl() = default;
    virtual void stopRun() = 0;
};

} // namespace svglogger
