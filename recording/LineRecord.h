#pragma once

#include "common/Clock.h"
#include "link/ControllerVersion.h"
#include "link/MeasurementSample.h"
#include "link/Quantity.h"
#include "recording/CsvLayout.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace svglogger {

// The figures of one completed interval, before they become the text of its row.
struct IntervalFigures {
    LocalDateTime time;          // the row's stamp: the interval's end, never later than now
    std::size_t quantities = 0;  // the first K quantities of the table, as the controller sends them
    std::array<float, kQuantities.size()> average{};
    std::array<float, kQuantities.size()> maximum{};
    std::array<float, kQuantities.size()> minimum{};
    std::int16_t sampleCount = 0;
    float statusWord = 0;        // of the sample that completed the interval
};

// One decoded measurement line, made once by the recorder and handed on as a value: the
// trigger routes it, the recorder writes its row, and whoever follows the run (the MQTT
// publisher, the health message) reads its numbers.
struct LineRecord {
    LocalDateTime time;                  // the clock when the line was handled: the continuous row's time
    std::int64_t epochMilliseconds = 0;  // the same moment, milliseconds since 1970-01-01 UTC
    MeasurementSample sample{};
    RowLayout layout;                    // the sampling mode and the controller's version of its row
    std::string row;                     // the CSV row the line made; empty when it made none
    std::optional<IntervalFigures> interval; // the figures of an interval row

    ControllerVersion controllerVersion() const { return layout.controllerVersion; }
    bool hasRow() const { return !row.empty(); }
};

} // namespace svglogger
