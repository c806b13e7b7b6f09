#pragma once

namespace svglogger {

// The program around the run control: told when a run ends by itself.
class RunView
{
public:
    virtual ~RunView() = default;
    // A complete single-shot capture has stopped the run, as the Stop button does.
    virtual void runEnded() = 0;
    // The serial port went away during the run, and came back (the status text says so too).
    virtual void portLost() {}
    virtual void portBack() {}
};

} // namespace svglogger
