#pragma once

#include "quality/Coverage.h"
#include "quality/DailyEnergy.h"
#include "quality/EventTables.h"
#include "reading/RecordSet.h"
#include "quality/ReportSettings.h"
#include "quality/ReportSummary.h"
#include "quality/SvgEffectiveness.h"
#include "quality/TenMinuteValues.h"
#include "quality/Verdict.h"
#include "quality/VoltageEvents.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace svglogger {

// A period of recorded rows judged for power quality and the SVG's effect: what the report's
// pages, pictures and CSV files show, computed once.
struct PowerQualityReport {
    ReportSettings settings;
    // The period asked for (or the whole days from the first row to the last), seconds of the
    // local clock, [from, to): time without rows in it counts against coverage.
    double from = 0.0, to = 0.0;
    double samplePeriod = 0.2;
    std::vector<std::string> files;
    std::vector<RecordSet::Source> sources; // the files of the period: used, or left out and why
    bool intervalRows = false; // interval files: events shown by their extremes, durations unknown
    // Where the period's rows carry the negative sequence's D and Q, which the unbalance needs:
    // nowhere (no such columns), only in interval rows (means of a turning vector, which
    // cancel: they tell nothing of u₂), or in continuous rows.
    enum class NegativeSequence { None, IntervalMeansOnly, Continuous };
    NegativeSequence negativeSequence = NegativeSequence::None;
    std::string site; // the setting, else the files' folder's name

    // A setting that does not fit the data: the report holds nothing else and is not to be
    // written. The key, and why (after the key's name and value, as a bad value is named).
    struct Refusal {
        std::string key, why;
    };
    std::optional<Refusal> refusal;

    std::vector<TenMinuteValue> tenMinutes;
    struct Compliance {
        enum class Item { Voltage10Percent, Voltage15Percent, UserBand, Unbalance };
        Item item = Item::Voltage10Percent;
        std::string limit; // as the CSV says it: "5940-7260 V", "<= 2 %"
        double requiredShare = 0.0;
        BandShare valid, withFlagged;
        bool available = true;
        Verdict judged() const; // pass, fail, not available: of the valid intervals
        std::string verdict() const { return std::string(svglogger::name(judged())); }
        // The item as the CSV and the report name it: voltage_10pct, voltage_15pct, user_band, unbalance.
        std::string name() const;
    };
    std::vector<Compliance> compliance; // of the whole period
    // EN 50160 judges each week: 7 days from the period's start, the last one as long as the
    // period leaves. None where the period is no longer than a week (the whole is that week).
    struct Week {
        double from = 0.0, to = 0.0;
        std::vector<Compliance> compliance; // the same items as the whole period's
    };
    std::vector<Week> weeks;
    std::optional<double> p95, p99, minimum, maximum; // of the valid 10-min voltages

    std::vector<VoltageEvent> events;
    EventTables tables;
    // A day each of the period, in order (where the rows have the columns at all): a day
    // without rows stays, its minutes 0 and its energy 0 (recorded() says which).
    std::vector<DailyEffectiveness> effectiveness;
    std::vector<DailyEnergy> energy;
    std::vector<DailyEnergy> daytimeEnergy; // the days with rows in the day-time hours
    Coverage coverage;
    std::vector<std::pair<std::int64_t, Coverage>> dailyCoverage; // each day of the period, by its midnight
    ReportSummary summary; // the first page: a row for each EN 50160 parameter
    bool cancelled = false;

    // Whether the day (by its midnight) of the period has a row.
    bool recorded(std::int64_t day) const;
};

// The report of the rows of `set` in the period [from, to). `progress` hears the steps done of
// the total; `cancel` set stops between steps, the report then marked cancelled. Refused (see
// Refusal) when the median voltage of the period's rows is outside 50–150 % of the nominal.
PowerQualityReport makeReport(const RecordSet &set, double from, double to, const ReportSettings &settings,
                              const std::function<void(int done, int total)> &progress = {},
                              const std::atomic<bool> *cancel = nullptr);

// The voltage events of `table` by the report's rules: its thresholds and Uc, an event ended at
// a gap of more than three sample periods. The window's event list finds its events so too.
std::vector<VoltageEvent> reportVoltageEvents(const RecordTable &table, double samplePeriod, const ReportSettings &settings);

// The period a report takes when [from, to) is not asked for, or only one end of it: from the
// midnight before the first row to the midnight after the last one.
std::pair<double, double> reportPeriod(const RecordTable &table, std::optional<double> from, std::optional<double> to);
// The period of the range [from, to) a window shows: within the days that hold rows (a view's
// margin beyond them asks for nothing), to the nearest 10 minutes, the report's own unit (at
// least the one 10 minutes the range lies in).
std::pair<double, double> shownPeriod(const RecordTable &table, double from, double to);

// What the report says of a file it was given: its unreadable lines (torn, garbled), and why it
// or which of its rows were left out (the time, the count, the file used instead); empty for a
// file read whole.
std::string sourceNote(const RecordSet::Source &source);

} // namespace svglogger
