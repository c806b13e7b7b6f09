#pragma once

#include "common/Settings.h"
#include "link/ControllerVersion.h"
#include "link/MeasurementSample.h"
#include "link/Quantity.h"
#include "recording/LineRecord.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace svglogger {

class RecordingView;

// The interval mode: average, maximum, minimum and count of the first K quantities of the
// samples of each interval (the quantities its controller sends). Not reset by Start, Stop,
// file changes or captures.
class IntervalAggregator
{
public:
    static constexpr std::int16_t kMaxCount = 32767;

    explicit IntervalAggregator(RecordingView &view);

    // The figures of the completed interval, or none while the interval runs.
    // `nowSerial` is the current time as a date serial, `intervalSeconds` the interval's length.
    std::optional<IntervalFigures> addSample(const MeasurementSample &sample, ControllerVersion controllerVersion, double nowSerial,
                          double intervalSeconds);

    // Start of the running interval as a date serial (days).
    double intervalStart() const { return m_intervalStart; }
    void setIntervalStart(double serial) { m_intervalStart = serial; }
    std::int16_t dtCount() const { return m_dtCount; }

    // The interval's length as typed, checked when the box is left: below 1 second (also
    // empty or non-numeric text) it becomes "1"; anything else stays. The text the box holds.
    static std::string validatedIntervalText(std::string_view text);

private:
    struct Column {
        float sum = 0;
        float maximum = 0;
        float minimum = 0;
    };

    IntervalFigures completed(const MeasurementSample &sample, int k, double stampSerial) const;
    void startWith(const MeasurementSample &sample, int k, double nowSerial);
    void advanceStart(std::int64_t quotient, double seconds, double intervalSeconds);
    double completedStamp(double nowSerial, double intervalSeconds) const;

    RecordingView &m_view;
    double m_intervalStart = 0.0;
    double m_firstSample = 0.0; // when the running interval's first sample came
    std::array<Column, svglogger::kQuantities.size()> m_intervalStats{};
    std::int16_t m_dtCount = 0;
};

} // namespace svglogger
