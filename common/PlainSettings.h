#pragma once

#include "common/Settings.h"

namespace svglogger {

// Settings held in plain members, starting from the main window's start-up values.
// Used where no window exists: tests, benchmarks, the fuzzer.
struct PlainSettings final : Settings
{
    bool check6 = false;
    bool check4 = false;
    bool check5 = true;
    bool check1 = false;
    std::string text3 = "100";
    bool check2 = true;
    int option4 = kBackgroundGrey;
    int slider0 = 0;
    int slider1 = 0;
    int option2 = kSamplingContinuous;
    std::string text4 = "1";
    bool tg = false;
    std::string text1;
    std::string combo1;

    bool showCommunicationLog() const override { return check6; }
    bool powerFlowCorrection() const override { return check4; }
    bool phaseRotationCorrection() const override { return check5; }
    bool uncompensatedVoltageShown() const override { return check1; }
    std::string uncompensatedPercentText() const override { return text3; }
    bool graphShown() const override { return check2; }
    int graphBackground() const override { return option4; }
    int voltageRange() const override { return slider0; }
    int powerRange() const override { return slider1; }
    int samplingMode() const override { return option2; }
    std::string intervalText() const override { return text4; }
    bool triggerOn() const override { return tg; }
    std::string outputPath() const override { return text1; }
    std::string serialPortEntry() const override { return combo1; }
};

} // namespace svglogger
