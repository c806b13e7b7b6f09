#pragma once

#include <string>

namespace svglogger {

// The main window's controls, read at the moment a value is needed and never cached.
// The window implements it; the engine's tests use PlainSettings with the start-up values.
class Settings
{
public:
    virtual ~Settings() = default;

    virtual bool showCommunicationLog() const = 0;        // Check6 "通信ログを表示"
    virtual bool powerFlowCorrection() const = 0;         // Check4 "潮流補正"
    virtual bool phaseRotationCorrection() const = 0;     // Check5 "相回転補正", always checked
    virtual bool uncompensatedVoltageShown() const = 0;   // Check1 "未補償電圧計算"
    virtual std::string uncompensatedPercentText() const = 0; // Text3, the "%X=" box
    virtual bool graphShown() const = 0;                  // Check2 "グラフ表示"
    virtual int graphBackground() const = 0;              // Option4: 0 black, 1 white, 2 grey
    virtual int voltageRange() const = 0;                 // Slider1(0), 0 to 2
    virtual int powerRange() const = 0;                   // Slider1(1), -4 to 2
    virtual int samplingMode() const = 0;                 // Option2: 0 continuous, 1 interval
    virtual std::string intervalText() const = 0;         // Text4, seconds
    virtual bool triggerOn() const = 0;                   // TG: false "なし", true "あり"
    virtual std::string outputPath() const = 0;           // Text1 "出力ファイル名"
    virtual std::string serialPortEntry() const = 0;      // the chosen entry of Combo1
};

// Indices of the option groups, as the controls number their buttons.
inline constexpr int kSamplingContinuous = 0; // Option2(0) "連続(5回／秒)"
inline constexpr int kSamplingInterval = 1;   // Option2(1) "ｲﾝﾀｰﾊﾞﾙ"
inline constexpr int kBackgroundGrey = 2;     // Option4(2) "グレー"

} // namespace svglogger
