#pragma once

#include <string>

namespace svglogger {

// How rows are made: one per line, or one per interval. Option2 "連続(5回／秒)", "ｲﾝﾀｰﾊﾞﾙ".
enum class SamplingMode { Continuous, Interval };

// The main window's settings the engine reads, as values: the window writes them when a
// control changes, the headless program from its options; start-up values by default.
struct Settings {
    bool logShown = false;                  // Check6 "通信ログを表示"
    bool powerFlow = false;                 // Check4 "潮流補正"
    bool phaseRotation = true;              // Check5 "相回転補正", always checked
    bool uncompensatedVoltage = false;      // Check1 "未補償電圧計算"
    std::string reactancePercent = "100";   // Text3, "%X="
    bool graph = true;                      // Check2 "グラフ表示"
    SamplingMode sampling = SamplingMode::Continuous;
    std::string interval = "1";             // Text4, seconds
    bool trigger = false;                   // TG: "なし" / "あり"
};

} // namespace svglogger
