#pragma once

namespace svglogger {

// The controls of the trigger settings window TGForm that the receive side touches.
// Reading or writing a control creates the window, hidden, when it does not exist yet.
class TriggerSettings
{
public:
    virtual ~TriggerSettings() = default;

    // Clears Check1(4) "不平衡電圧絶対値(V)" and Check1(5) "不平衡出力絶対値(A)", the
    // negative-sequence window-out conditions, when an older controller announces itself.
    virtual void clearNegativeSequenceConditions() = 0;
};

} // namespace svglogger
