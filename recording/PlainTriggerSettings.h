#pragma once

#include "recording/TriggerSettings.h"

#include <array>

namespace svglogger {

// The trigger settings window's controls as plain members, starting from its defaults.
// Used where no window exists: tests, benchmarks, the fuzzer.
struct PlainTriggerSettings final : TriggerSettings
{
    std::array<bool, 6> check1{};
    std::array<std::string, 10> text2{"6800", "6300", "200", "-200", "200", "-200", "200", "-200", "100", "10"};
    std::array<bool, 6> check2{};
    std::array<std::string, 6> text3{"200", "200", "200", "200", "100", "10"};
    bool orOption = true;
    std::string text1_0 = "100";
    std::string text1_1 = "1000";
    bool continuous = true;
    std::string text4 = "5";

    bool windowOutEnabled(int k) const override { return check1[static_cast<std::size_t>(k)]; }
    std::string limitText(int j) const override { return text2[static_cast<std::size_t>(j)]; }
    bool changeEnabled(int k) const override { return check2[static_cast<std::size_t>(k)]; }
    std::string changeThresholdText(int k) const override { return text3[static_cast<std::size_t>(k)]; }
    bool orSelected() const override { return orOption; }
    std::string recordCountText() const override { return text1_1; }
    bool continuousCapture() const override { return continuous; }
    std::string preTriggerCountText() const override { return text1_0; }
    std::string compareDepthText() const override { return text4; }
    void clearNegativeSequenceConditions() override { check1[4] = check1[5] = false; }
};

} // namespace svglogger
