#pragma once

#include "link/Quantity.h"

#include <array>
#include <string>

namespace svglogger {

// What the trigger reads, as values, starting from the settings window's defaults: the window
// writes them when a control changes, the headless program from its settings file.
// k is the watched quantity of kTriggerQuantities (0 grid voltage ... 5 the negative-sequence
// command's magnitude).
struct TriggerSettings
{
    std::array<bool, 6> windowOut{};             // "ウインドアウト"
    std::array<std::string, 10> limits = defaultLimits(); // upper, lower of k < 4 at 2k, 2k + 1; thresholds at 8, 9
    std::array<bool, 6> change{};                // "変化値管理"
    std::array<std::string, 6> changeThresholds = defaultChangeThresholds();
    bool orCombination = true;                   // "OR"
    std::string preTriggerCount = "100";         // "プリトリガレコード数："
    std::string recordCount = "1000";            // "記録レコード数："
    bool continuous = true;                      // "連続"
    std::string compareDepth = "5";              // "比較データ"

    bool windowOutEnabled(int k) const { return windowOut[static_cast<std::size_t>(k)]; }
    std::string limitText(int j) const { return limits[static_cast<std::size_t>(j)]; }
    bool changeEnabled(int k) const { return change[static_cast<std::size_t>(k)]; }
    std::string changeThresholdText(int k) const { return changeThresholds[static_cast<std::size_t>(k)]; }
    bool orSelected() const { return orCombination; }
    std::string recordCountText() const { return recordCount; }
    bool continuousCapture() const { return continuous; }
    std::string preTriggerCountText() const { return preTriggerCount; }
    std::string compareDepthText() const { return compareDepth; }
    // An older controller announced itself: the window-out conditions "不平衡電圧絶対値(V)"
    // and "不平衡出力絶対値(A)" are cleared; how many were set.
    int clearNegativeSequenceConditions()
    {
        const int cleared = int{windowOut[4]} + int{windowOut[5]};
        windowOut[4] = windowOut[5] = false;
        return cleared;
    }

    static std::array<std::string, 10> defaultLimits()
    {
        std::array<std::string, 10> texts;
        for (std::size_t j = 0; j < texts.size(); ++j)
            texts[j] = kDefaultTriggerLimits[j];
        return texts;
    }
    static std::array<std::string, 6> defaultChangeThresholds()
    {
        std::array<std::string, 6> texts;
        for (std::size_t k = 0; k < texts.size(); ++k)
            texts[k] = kTriggerQuantities[k].changeThreshold;
        return texts;
    }
};

} // namespace svglogger
