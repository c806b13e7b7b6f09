#pragma once

#include "common/Clock.h"
#include "common/Settings.h"
#include "link/ControllerVersion.h"
#include "link/MeasurementSample.h"

#include <optional>
#include <string>

namespace svglogger {

// What decides the columns of a row and the header they belong under.
struct RowLayout {
    std::optional<SamplingMode> samplingMode; // none before any row, or for no header of the logger's
    ControllerVersion controllerVersion = ControllerVersion::Unknown;

    friend bool operator==(const RowLayout &, const RowLayout &) = default;
};

// The header line of a log file: by sampling mode and controller version (an older
// controller's, else the version-2 header).
const std::string &headerLine(SamplingMode samplingMode, ControllerVersion controllerVersion);

// The continuous row of a decoded line: the time, the grid voltage unrounded, quantities 1 to 3
// (and 4 to 7 for version 2) to one decimal, the status word to none.
std::string continuousRow(const LocalDateTime &time, const MeasurementSample &sample,
                          ControllerVersion controllerVersion);

struct IntervalFigures;

// The interval row of a completed interval: its stamp, the K averages, maxima and minima with
// the interval decimals of each quantity, the sample count and the status word.
std::string intervalRow(const IntervalFigures &figures);

} // namespace svglogger
