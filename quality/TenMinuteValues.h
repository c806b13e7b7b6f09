#pragma once

#include "quality/RowSpans.h"
#include "quality/VoltageEvents.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace svglogger {

// The supply voltage aggregated as EN 50160 asks, from the controller's ~200 ms RMS values of
// one line-to-line voltage: per clock-aligned 10 minutes the RMS of its values over the time
// each stands for, and of the negative-sequence unbalance where the rows have it. Interval
// rows count only whole, their intervals inside the 10 minutes, by their means.
struct TenMinuteValue {
    std::int64_t start = 0;  // seconds of the local clock, a multiple of 600
    double rms = 0.0;        // √(mean V²), V
    std::size_t samples = 0; // rows, interval rows among them
    bool incomplete = false; // its rows stand for less than 90 % of the 10 minutes
    bool flagged = false;    // overlaps a dip, swell or interruption
    // From interval rows' means (in part or whole), not from ~200 ms values: an approximation.
    bool fromIntervalMeans = false;
    // √(mean u₂²) with u₂ = √(Vd² + Vq²) ÷ V, as a fraction, from continuous rows standing for
    // 90 % of the 10 minutes; none without. An interval row's D and Q are means of a turning
    // vector, which cancel: they tell nothing of u₂.
    std::optional<double> unbalance;

    bool valid() const { return !incomplete && !flagged; }
};

// The 10-minute values of every 10 minutes in which a row's time begins and that one counts
// in (those without are not listed: a coverage matter), in time order.
std::vector<TenMinuteValue> tenMinuteValues(const RowSpans &rows, const std::vector<VoltageEvent> &events);

// How many of the counted 10-minute values lie in [low, high] (volts, or a fraction for the
// unbalance), and whether that meets `requiredShare`.
struct BandShare {
    std::size_t intervals = 0, within = 0;
    double percent() const { return intervals == 0 ? 0.0 : 100.0 * static_cast<double>(within) / static_cast<double>(intervals); }
    bool passes(double requiredShare) const;
};

enum class Counted { ValidOnly, WithFlagged };
BandShare voltageBandShare(const std::vector<TenMinuteValue> &values, double low, double high, Counted counted);
// The share of unbalance values at or below `limit`; no interval counted where no value has one.
BandShare unbalanceShare(const std::vector<TenMinuteValue> &values, double limit, Counted counted);

// The value not exceeded by `fraction` of the counted 10-minute voltages (nearest rank).
std::optional<double> voltagePercentile(const std::vector<TenMinuteValue> &values, double fraction, Counted counted);

} // namespace svglogger
