#pragma once

#include <string>

namespace svglogger {

// How rows are made: one per line ("連続(5回／秒)"), or one per interval ("ｲﾝﾀｰﾊﾞﾙ").
enum class SamplingMode { Continuous, Interval };

// The main window's settings the engine reads, as values: the window writes them when a
// control changes, the headless program from its options; start-up values by default.
struct Settings {
    bool logShown = false;                  // "通信ログを表示"
    bool powerFlow = false;                 // "潮流補正"
    bool phaseRotation = true;              // "相回転補正", always checked
    bool uncompensatedVoltage = false;      // "未補償電圧計算"
    std::string reactancePercent = "100";   // "%X="
    bool graph = true;                      // "グラフ表示"
    SamplingMode sampling = SamplingMode::Continuous;
    std::string interval = "1";             // seconds
    bool trigger = false;                   // "なし" / "あり"
};

} // namespace svglogger
