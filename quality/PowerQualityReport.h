#pragma once

#include "quality/Coverage.h"
#include "quality/DailyEnergy.h"
#include "quality/EventTables.h"
#include "reading/RecordSet.h"
#include "quality/ReportSettings.h"
#include "quality/SvgEffectiveness.h"
#include "quality/TenMinuteValues.h"
#include "quality/VoltageEvents.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace svglogger {

// A period of recorded rows judged for power quality and the SVG's effect: what the report's
// pages, pictures and CSV files show, computed once.
struct PowerQualityReport {
    ReportSettings settings;
    double from = 0.0, to = 0.0; // the period, seconds of the local clock, [from, to)
    double samplePeriod = 0.2;
    std::vector<std::string> files;
    std::vector<RecordSet::Source> sources; // the files of the period: used, or left out and why
    bool intervalRows = false; // interval files: events shown by their extremes, durations unknown

    std::vector<TenMinuteValue> tenMinutes;
    struct Compliance {
        enum class Item { Voltage10Percent, Voltage15Percent, UserBand, Unbalance };
        Item item = Item::Voltage10Percent;
        std::string limit; // as the CSV says it: "5940-7260 V", "<= 2 %"
        double requiredShare = 0.0;
        BandShare valid, withFlagged;
        bool available = true;
        std::string verdict() const; // pass, fail, not available (of the valid intervals)
        // The item as the CSV and the report name it: voltage_10pct, voltage_15pct, user_band, unbalance.
        std::string name() const;
    };
    std::vector<Compliance> compliance;
    std::optional<double> p95, p99, minimum, maximum; // of the valid 10-min voltages

    std::vector<VoltageEvent> events;
    EventTables tables;
    std::vector<DailyEffectiveness> effectiveness;
    std::vector<DailyEnergy> energy, daytimeEnergy;
    Coverage coverage;
    std::vector<std::pair<std::int64_t, Coverage>> dailyCoverage; // by the day's midnight
    bool cancelled = false;
};

// The report of the rows of `set` in [from, to). `progress` hears the steps done of the total;
// `cancel` set stops between steps, the report then marked cancelled.
PowerQualityReport makeReport(const RecordSet &set, double from, double to, const ReportSettings &settings,
                              const std::function<void(int done, int total)> &progress = {},
                              const std::atomic<bool> *cancel = nullptr);

// The voltage events of `table` by the report's rules: its thresholds and Uc, an event ended at
// a gap of more than three sample periods. The window's event list finds its events so too.
std::vector<VoltageEvent> reportVoltageEvents(const RecordTable &table, double samplePeriod, const ReportSettings &settings);

} // namespace svglogger
