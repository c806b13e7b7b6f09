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
    ControllerVersion since;    // the first controller that sends it

    std::string csvHeader() const { return std::string(csvName) + "(" + std::string(unit) + ")"; }
};

// The recorded quantities in the order of the CSV's columns; the status word follows them.
inline constexpr std::array<Quantity, 8> kQuantities{{
    {MeasurementSample::GridVoltage, "系統電圧", "V", -1, 0, "grid_voltage_v", ControllerVersion::Older},
    {MeasurementSample::LoadActivePower, "負荷電力", "kW", 1, 1, "load_active_power_kw", ControllerVersion::Older},
    {MeasurementSample::LoadReactivePower, "負荷無効電力", "kVar", 1, 1, "load_reactive_power_kvar",
     ControllerVersion::Older},
    {MeasurementSample::SvgOutput, "ＳＶＧ出力", "kVar", 1, 1, "svg_output_kvar", ControllerVersion::Older},
    {MeasurementSample::NegSeqVoltageD, "逆相電圧D軸", "V", 1, 1, "negative_sequence_voltage_d_v",
     ControllerVersion::Version2},
    {MeasurementSample::NegSeqVoltageQ, "逆相電圧Q軸", "V", 1, 1, "negative_sequence_voltage_q_v",
     ControllerVersion::Version2},
    {MeasurementSample::NegSeqCommandD, "逆指令D軸", "A", 1, 1, "negative_sequence_command_d_a",
     ControllerVersion::Version2},
    {MeasurementSample::NegSeqCommandQ, "逆指令Q軸", "A", 1, 1, "negative_sequence_command_q_a",
     ControllerVersion::Version2},
}};

// The status word's column after the quantities.
inline constexpr std::string_view kStatusWordHeader = "状態(10進)";
inline constexpr std::string_view kStatusWordKey = "status_word";

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
