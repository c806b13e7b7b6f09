#include "quality/VoltageEvents.h"

#include "quality/RowSpans.h"
#include "reading/RecordColumns.h"

#include <cmath>

namespace svglogger {

namespace c = recordColumn;

namespace {
// s: a duration is a difference of row times near 1.8e9 s, which carry 1e-7 s of rounding.
constexpr double kSlack = 1e-6;
} // namespace

std::vector<VoltageEvent> voltageEvents(const RecordTable &table, double samplePeriod, double gapSeconds,
                                        const VoltageEventLimits &limits)
{
    std::vector<VoltageEvent> events;
    const bool average = table.has(c::value(MeasurementSample::GridVoltage)), lows = table.has(c::min(MeasurementSample::GridVoltage)), highs = table.has(c::max(MeasurementSample::GridVoltage));
    if (!average && !lows)
        return events;
    enum class State { Normal, Low, High };
    State state = State::Normal;
    VoltageEvent open;
    bool durationKnown = true;
    const RowSpans rows(table, samplePeriod, gapSeconds);
    const auto close = [&](std::size_t lastRow) {
        open.lastRow = lastRow;
        // No gap within an event (one ends there): its rows' times follow one another.
        if (durationKnown)
            open.seconds = rows.span(lastRow).end - rows.span(open.firstRow).begin;
        if (state == State::Low && open.extreme < limits.interruption * limits.nominal)
            open.kind = open.seconds && *open.seconds > limits.longInterruptionSeconds + kSlack ? VoltageEvent::Kind::LongInterruption
                                                                                                : VoltageEvent::Kind::ShortInterruption;
        else if (open.seconds && *open.seconds > VoltageEventLimits::longestDipSeconds + kSlack)
            open.kind = state == State::Low ? VoltageEvent::Kind::Undervoltage : VoltageEvent::Kind::Overvoltage;
        events.push_back(open);
        state = State::Normal;
    };
    for (std::size_t row = 0; row < table.rows(); ++row) {
        // An interval row by its extremes, a continuous one by its value.
        const float value = average ? table.value(c::value(MeasurementSample::GridVoltage), row) : NAN;
        const float lowest = lows && !std::isnan(table.value(c::min(MeasurementSample::GridVoltage), row)) ? table.value(c::min(MeasurementSample::GridVoltage), row) : value;
        const float highest = highs && !std::isnan(table.value(c::max(MeasurementSample::GridVoltage), row)) ? table.value(c::max(MeasurementSample::GridVoltage), row) : value;
        const bool extremesOnly = rows.isInterval(row) || (lows && !std::isnan(table.value(c::min(MeasurementSample::GridVoltage), row)));
        if (state != State::Normal && (std::isnan(lowest) || rows.gapBefore(row)))
            close(row - 1);
        if (std::isnan(lowest))
            continue;
        if (state == State::Low) {
            if (lowest >= limits.dipEnd * limits.nominal) {
                close(row - 1);
            } else {
                open.extreme = std::min(open.extreme, lowest);
                durationKnown = durationKnown && !extremesOnly;
                continue;
            }
        } else if (state == State::High) {
            if (highest <= limits.swellEnd * limits.nominal) {
                close(row - 1);
            } else {
                open.extreme = std::max(open.extreme, highest);
                durationKnown = durationKnown && !extremesOnly;
                continue;
            }
        }
        if (lowest < limits.dipStart * limits.nominal || highest > limits.swellStart * limits.nominal) {
            const bool low = lowest < limits.dipStart * limits.nominal;
            state = low ? State::Low : State::High;
            open = VoltageEvent{};
            open.kind = low ? VoltageEvent::Kind::Dip : VoltageEvent::Kind::Swell;
            open.firstRow = row;
            open.start = rows.ownBegin(row);
            open.extreme = low ? lowest : highest;
            durationKnown = !extremesOnly;
        }
    }
    if (state != State::Normal)
        close(table.rows() - 1);
    return events;
}

} // namespace svglogger
