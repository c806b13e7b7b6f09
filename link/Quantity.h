#pragma once

#include "link/ControllerVersion.h"
#include "link/MeasurementSample.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace svglogger {

// One recorded quantity of the MeasurementSample: what names it in a CSV header and an MQTT
// message, how its numbers are written, and which controllers send it. A new quantity is a
// row here plus its decoding.
struct Quantity {
    MeasurementSample::Index index;
    std::string_view csvName;   // "系統電圧": "(Max)" and "(min)" follow it in interval headers
    std::string_view unit;      // "V", "kW", "kVar", "A": the header is "<name>(<unit>)"
    int continuousDecimals;     // places in a continuous row and a sample message; -1 unrounded
    int intervalDecimals;       // places of an interval row's average, maximum and minimum
    std::string_view jsonKey;   // the key of its number in MQTT messages
    std::string_view compactKey; // its column's name in the compact MQTT format
    ControllerVersion since;    // the first controller that sends it
    std::uint32_t traceColour;  // 0xRRGGBB of its trace (the main window draws the first four)

    std::string csvHeader() const { return std::string(csvName) + "(" + std::string(unit) + ")"; }
};

// The recorded quantities in the order of the CSV's columns; the status word follows them.
inline constexpr std::array<Quantity, 8> kQuantities{{
    {MeasurementSample::GridVoltage, "系統電圧", "V", -1, 0, "grid_voltage_v", "u", ControllerVersion::Older, 0x0000FF},
    {MeasurementSample::LoadActivePower, "負荷電力", "kW", 1, 1, "load_active_power_kw", "p", ControllerVersion::Older,
     0x00FF00},
    {MeasurementSample::LoadReactivePower, "負荷無効電力", "kVar", 1, 1, "load_reactive_power_kvar", "q",
     ControllerVersion::Older, 0x00FFFF},
    {MeasurementSample::SvgOutput, "ＳＶＧ出力", "kVar", 1, 1, "svg_output_kvar", "c", ControllerVersion::Older, 0xFF0000},
    {MeasurementSample::NegSeqVoltageD, "逆相電圧D軸", "V", 1, 1, "negative_sequence_voltage_d_v", "vd",
     ControllerVersion::Version2, 0xFF8000},
    {MeasurementSample::NegSeqVoltageQ, "逆相電圧Q軸", "V", 1, 1, "negative_sequence_voltage_q_v", "vq",
     ControllerVersion::Version2, 0x808000},
    {MeasurementSample::NegSeqCommandD, "逆指令D軸", "A", 1, 1, "negative_sequence_command_d_a", "id",
     ControllerVersion::Version2, 0x8000FF},
    {MeasurementSample::NegSeqCommandQ, "逆指令Q軸", "A", 1, 1, "negative_sequence_command_q_a", "iq",
     ControllerVersion::Version2, 0x008000},
}};

// What the trigger watches, k of its settings window: the first four are recorded quantities,
// the last two the magnitudes sqrt(d^2 + q^2) of a negative-sequence pair, each with one
// threshold instead of a window.
struct TriggerQuantity {
    std::string_view key;           // in trigger settings files: <key>-window-out, <key>-change, ...
    MeasurementSample::Index value; // the quantity, or the pair's D axis
    MeasurementSample::Index qAxis; // the pair's Q axis; `value` again where there is no pair
    std::string_view upper;         // the settings window's default texts; a magnitude's
    std::string_view lower;         // threshold is `upper`, its `lower` empty
    std::string_view changeThreshold;
    std::string_view windowCaption; // the settings window's boxes: "ウインドアウト" row,
    std::string_view changeCaption; // "変化値管理" row and the unit beside its threshold
    std::string_view changeUnit;

    constexpr bool magnitude() const { return qAxis != value; }
};

inline constexpr std::array<TriggerQuantity, 6> kTriggerQuantities{{
    {"voltage", MeasurementSample::GridVoltage, MeasurementSample::GridVoltage, "6800", "6300", "200", "電圧(V)",
     "⊿Ｖ", "Ｖ"},
    {"active-power", MeasurementSample::LoadActivePower, MeasurementSample::LoadActivePower, "200", "-200", "200",
     "負荷電力(kW)", "⊿負荷電力", "kW"},
    {"reactive-power", MeasurementSample::LoadReactivePower, MeasurementSample::LoadReactivePower, "200", "-200",
     "200", "負荷無効(kvar)", "⊿負荷無効", "kvar"},
    {"svg-output", MeasurementSample::SvgOutput, MeasurementSample::SvgOutput, "200", "-200", "200", "SVG出力(kvar)",
     "⊿SVG出力", "kvar"},
    {"negative-sequence-voltage", MeasurementSample::NegSeqVoltageD, MeasurementSample::NegSeqVoltageQ, "100", "",
     "100", "不平衡電圧絶対値(V)", "⊿不平衡電圧", "V"},
    {"negative-sequence-command", MeasurementSample::NegSeqCommandD, MeasurementSample::NegSeqCommandQ, "10", "",
     "10", "不平衡出力絶対値(A)", "⊿不平衡出力", "A"},
}};

// The limit boxes of the settings window: upper and lower of each windowed quantity, then the
// magnitudes' thresholds, in the order of k.
inline constexpr std::array<std::string_view, 10> kDefaultTriggerLimits = [] {
    std::array<std::string_view, 10> limits{};
    std::size_t j = 0;
    for (const TriggerQuantity &q : kTriggerQuantities)
        if (!q.magnitude()) {
            limits[j++] = q.upper;
            limits[j++] = q.lower;
        }
    for (const TriggerQuantity &q : kTriggerQuantities)
        if (q.magnitude())
            limits[j++] = q.upper;
    return limits;
}();

// The trend graph's traces in the order they are drawn: the sample's field, its colour
// (0xRRGGBB) and the readout row whose caption doubles as its legend. The fifth is the
// voltage the grid would have without the SVG.
struct TrendTrace {
    MeasurementSample::Index source;
    std::uint32_t colour;
    int legendRow;
};
inline constexpr std::array<TrendTrace, 5> kTrendTraces{{
    {MeasurementSample::GridVoltage, kQuantities[0].traceColour, 0},
    {MeasurementSample::LoadActivePower, kQuantities[1].traceColour, 1},
    {MeasurementSample::LoadReactivePower, kQuantities[2].traceColour, 2},
    {MeasurementSample::SvgOutput, kQuantities[3].traceColour, 3},
    {MeasurementSample::UncompensatedVoltage, 0xFF00FF, 7},
}};

// When a readout row is usable: always, with a version-2 controller (the negative sequence),
// or while "未補償電圧計算" is checked.
enum class ReadoutGroup { Always, Version2, Uncompensated };

// The main window's eight readout values, left to right, top row then bottom row. `source`
// is the sample's field shown, or -1 for the computed rows (negative-sequence magnitudes and
// the unbalance ratio); `decimals` 0 writes "#,##0", 1 "##0.0".
struct ReadoutRow {
    std::string_view caption;
    std::string_view unit;
    int decimals;
    int source;
    ReadoutGroup group;
};

inline constexpr std::array<ReadoutRow, 8> kReadoutRows{{
    {"系統電圧", "V", 0, MeasurementSample::GridVoltage, ReadoutGroup::Always},
    {"負荷有効電力", "kW", 1, MeasurementSample::LoadActivePower, ReadoutGroup::Always},
    {"負荷無効電力", "kVar", 1, MeasurementSample::LoadReactivePower, ReadoutGroup::Always},
    {"ＳＶＧ出力", "kVar", 1, MeasurementSample::SvgOutput, ReadoutGroup::Always},
    {"逆相電圧", "V", 1, -1, ReadoutGroup::Version2},
    {"逆相指令 ", "A", 1, -1, ReadoutGroup::Version2},
    {"不平衡率", "％", 1, -1, ReadoutGroup::Version2},
    {"未補償電圧(計算値)", "V", 0, MeasurementSample::UncompensatedVoltage, ReadoutGroup::Uncompensated},
}};

// The texts of the CSV headers around the quantities' names.
inline constexpr std::string_view kTimeHeader = "時刻";
inline constexpr std::string_view kMaximumSuffix = "(Max)";
inline constexpr std::string_view kMinimumSuffix = "(min)";
inline constexpr std::string_view kSampleCountHeader = "DT数";

// The status word's column after the quantities.
inline constexpr std::string_view kStatusWordHeader = "状態(10進)";
inline constexpr std::string_view kStatusWordKey = "status_word";
inline constexpr std::string_view kStatusWordCompactKey = "st";

// The status word's bits whose meaning is known; the others are named "bit N".
struct StatusBit {
    int bit;
    std::string_view name;
};
inline constexpr std::array<StatusBit, 2> kStatusBits{{
    {4, "潮流補正"},   // 0x10: power-flow correction
    {5, "相回転補正"}, // 0x20: phase-rotation correction
}};
inline std::string statusBitName(int bit)
{
    for (const StatusBit &known : kStatusBits)
        if (known.bit == bit)
            return std::string(known.name);
    return "bit " + std::to_string(bit);
}
// The names of the bits set in a status word (its 16 bits), lowest first, ", " between.
inline std::string statusBitNames(float statusWord)
{
    if (!(statusWord == statusWord)) // NaN: no word
        return {};
    const auto bits = static_cast<std::uint16_t>(static_cast<std::int32_t>(statusWord));
    std::string names;
    for (int b = 0; b < 16; ++b)
        if (bits & (1u << b))
            names += (names.empty() ? "" : ", ") + statusBitName(b);
    return names;
}

// How many of kQuantities (the first ones) a controller of `version` sends: none while the
// version is unknown.
constexpr std::size_t quantitiesSentBy(ControllerVersion version)
{
    std::size_t count = 0;
    for (const Quantity &q : kQuantities)
        count += version != ControllerVersion::Unknown && q.since <= version ? 1 : 0;
    return count;
}

} // namespace svglogger
