#pragma once

#include "common/Settings.h"

namespace svglogger {

// Settings held in plain members, starting from the main window's start-up values.
// Used where no window exists: the headless program, tests, benchmarks, the fuzzer.
struct PlainSettings final : Settings
{
    bool logShown = false;                  // Check6 "通信ログを表示"
    bool powerFlow = false;                 // Check4 "潮流補正"
    bool phaseRotation = true;              // Check5 "相回転補正"
    bool uncompensatedVoltage = false;      // Check1 "未補償電圧計算"
    std::string reactancePercent = "100";   // Text3, "%X="
    bool graph = true;                      // Check2 "グラフ表示"
    int background = kBackgroundGrey;       // Option4
    int voltageSlider = 0;                  // Slider1(0)
    int powerSlider = 0;                    // Slider1(1)
    int sampling = kSamplingContinuous;     // Option2
    std::string interval = "1";             // Text4, seconds
    bool trigger = false;                   // TG: "なし" / "あり"
    std::string path;                       // Text1 "出力ファイル名"
    std::string portEntry;                  // Combo1

    bool showCommunicationLog() const override { return logShown; }
    bool powerFlowCorrection() const override { return powerFlow; }
    bool phaseRotationCorrection() const override { return phaseRotation; }
    bool uncompensatedVoltageShown() const override { return uncompensatedVoltage; }
    std::string uncompensatedPercentText() const override { return reactancePercent; }
    bool graphShown() const override { return graph; }
    int graphBackground() const override { return background; }
    int voltageRange() const override { return voltageSlider; }
    int powerRange() const override { return powerSlider; }
    int samplingMode() const override { return sampling; }
    std::string intervalText() const override { return interval; }
    bool triggerOn() const override { return trigger; }
    std::string outputPath() const override { return path; }
    std::string serialPortEntry() const override { return portEntry; }
};

} // namespace svglogger
