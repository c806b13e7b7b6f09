#pragma once

namespace svglogger {

// The program around the run control: told when a run ends by itself.
class RunView
{
public:
    virtual ~RunView() = default;
    // A complete single-shot capture has stopped the run, as the Stop button does.
    virtual void runEnded() = 0;
};

} // namespace svglogger
