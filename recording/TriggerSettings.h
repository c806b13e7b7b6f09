#pragma once

#include <string>

namespace svglogger {

// The controls of the trigger settings window TGForm, read live at every sample. Reading or
// writing a control creates the window, hidden, with its defaults when it does not exist.
// k is the monitored quantity: 0 grid voltage, 1 load active power, 2 load reactive power,
// 3 SVG output, 4 negative-sequence voltage magnitude, 5 negative-sequence command magnitude.
class TriggerSettings
{
public:
    virtual ~TriggerSettings() = default;

    // Check1(k): the window-out condition of quantity k is on.
    virtual bool windowOutEnabled(int k) const = 0;
    // Text2(j), j 0 to 9: upper limit of k at 2k and lower at 2k + 1 (k 0..3); the thresholds
    // of k = 4 and 5 at 8 and 9.
    virtual std::string limitText(int j) const = 0;
    // Check2(k): the change condition of quantity k is on.
    virtual bool changeEnabled(int k) const = 0;
    // Text3(k): the change threshold of quantity k.
    virtual std::string changeThresholdText(int k) const = 0;
    // Option2(1) "OR" is selected (else "AND").
    virtual bool orSelected() const = 0;
    // Text1(1) "記録レコード数：", the rows of one capture.
    virtual std::string recordCountText() const = 0;
    // Option1(1) "連続" is selected (else "単発", single shot).
    virtual bool continuousCapture() const = 0;
    // Text1(0) "プリトリガレコード数：" and Text4, the comparison depth: taken over by "設定".
    virtual std::string preTriggerCountText() const = 0;
    virtual std::string compareDepthText() const = 0;

    // Clears Check1(4) "不平衡電圧絶対値(V)" and Check1(5) "不平衡出力絶対値(A)", the
    // negative-sequence window-out conditions, when an older controller announces itself.
    virtual void clearNegativeSequenceConditions() = 0;
};

} // namespace svglogger
