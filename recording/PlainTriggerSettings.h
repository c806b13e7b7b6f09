#pragma once

#include "link/Quantity.h"
#include "recording/TriggerSettings.h"

#include <array>
#include <string>

namespace svglogger {

// The trigger settings window's controls as plain members, starting from its defaults.
// Used where no window exists: the headless program, tests, benchmarks, the fuzzer.
struct PlainTriggerSettings final : TriggerSettings
{
    std::array<bool, 6> windowOut{};             // Check1, "ウインドアウト"
    std::array<std::string, 10> limits = defaultLimits(); // Text2
    std::array<bool, 6> change{};                // Check2, "変化値管理"
    std::array<std::string, 6> changeThresholds = defaultChangeThresholds(); // Text3
    bool orCombination = true;                   // Option2(1) "OR"
    std::string preTriggerCount = "100";         // Text1(0) "プリトリガレコード数："
    std::string recordCount = "1000";            // Text1(1) "記録レコード数："
    bool continuous = true;                      // Option1(1) "連続"
    std::string compareDepth = "5";              // Text4 "比較データ"

    bool windowOutEnabled(int k) const override { return windowOut[static_cast<std::size_t>(k)]; }
    std::string limitText(int j) const override { return limits[static_cast<std::size_t>(j)]; }
    bool changeEnabled(int k) const override { return change[static_cast<std::size_t>(k)]; }
    std::string changeThresholdText(int k) const override { return changeThresholds[static_cast<std::size_t>(k)]; }
    bool orSelected() const override { return orCombination; }
    std::string recordCountText() const override { return recordCount; }
    bool continuousCapture() const override { return continuous; }
    std::string preTriggerCountText() const override { return preTriggerCount; }
    std::string compareDepthText() const override { return compareDepth; }
    void clearNegativeSequenceConditions() override { windowOut[4] = windowOut[5] = false; }

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
