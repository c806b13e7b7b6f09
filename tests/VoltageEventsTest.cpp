#include "quality/EventKind.h"
#include "quality/EventList.h"
#include "quality/EventTables.h"
#include "reading/RecordColumns.h"
#include "quality/VoltageEvents.h"
#include "support/CommaLocale.h"
#include "support/RowRuns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace svglogger {
namespace {

namespace c = recordColumn;
using Sample = MeasurementSample;

// Rows five a second: "v" a continuous row of that voltage, "v/min/max" a row of extremes
// without its span, "v/min/max/span" an interval row of `span` seconds, stamped at its end,
// its interval starting where the rows before end; "gap" ten seconds without a row.
RecordTable rowsOf(const std::vector<std::string> &rows)
{
    RecordTable table;
    double time = 1000.0; // where the next row's time begins
    for (const std::string &row : rows) {
        if (row == "gap") {
            time += 10.0;
            continue;
        }
        std::vector<float> fields;
        for (std::size_t at = 0; at <= row.size();) {
            const std::size_t slash = std::min(row.find('/', at), row.size());
            fields.push_back(std::stof(row.substr(at, slash - at)));
            at = slash + 1;
        }
        if (fields.size() == 1) {
            table.append(time, {c::value(Sample::GridVoltage)}, fields.data());
        } else if (fields.size() == 3) {
            table.append(time, {c::value(Sample::GridVoltage), c::min(Sample::GridVoltage), c::max(Sample::GridVoltage)}, fields.data());
        } else {
            time += fields[3];
            table.append(time, {c::value(Sample::GridVoltage), c::min(Sample::GridVoltage), c::max(Sample::GridVoltage), c::kSpan},
                         fields.data());
            continue;
        }
        time += 0.2;
    }
    return table;
}

std::vector<std::string> times(std::vector<std::string> rows, const std::string &value, int count)
{
    rows.insert(rows.end(), static_cast<std::size_t>(count), value);
    return rows;
}

TEST(VoltageEventsTable, DipsSwellsAndInterruptionsWithTheirHysteresis)
{
    using K = VoltageEvent::Kind;
    struct Expected {
        K kind;
        std::size_t firstRow, lastRow;
        std::optional<double> seconds;
        float extreme;
    };
    struct Case {
        const char *name;
        std::vector<std::string> rows;
        std::vector<Expected> events;
    } cases[] = {
        {"a dip ends at 92 %, not at 90 %", {"6600", "6600", "5900", "5950", "6050", "6100", "6600"}, {{K::Dip, 2, 4, 0.6, 5900}}},
        {"90 % itself is no dip", {"6600", "5940", "6600"}, {}},
        {"a one-sample dip", {"6600", "5000", "6600"}, {{K::Dip, 1, 1, 0.2, 5000}}},
        {"a swell ends at 108 %", {"6600", "7300", "7350", "7140", "7120", "6600"}, {{K::Swell, 1, 3, 0.6, 7350}}},
        {"below 5 %: an interruption", {"6600", "200", "100", "6600"}, {{K::ShortInterruption, 1, 2, 0.4, 100}}},
        {"longer than 180 s: long", times(times({"6600"}, "0", 901), "6600", 1), {{K::LongInterruption, 1, 901, 180.2, 0}}},
        {"180 s: still short", times(times({"6600"}, "0", 900), "6600", 1), {{K::ShortInterruption, 1, 900, 180.0, 0}}},
        {"a gap ends a dip", {"6600", "5900", "gap", "5900", "6600"}, {{K::Dip, 1, 1, 0.2, 5900}, {K::Dip, 2, 2, 0.2, 5900}}},
        {"the last row ends one", {"6600", "5900", "5800"}, {{K::Dip, 1, 2, 0.4, 5800}}},
        {"a dip, then at once a swell", {"5900", "7300", "6600"}, {{K::Dip, 0, 0, 0.2, 5900}, {K::Swell, 1, 1, 0.2, 7300}}},
        {"interval rows by their extremes, duration unknown",
         {"6600/6550/6650", "6500/5800/6610", "6590/6500/6700"}, {{K::Dip, 1, 1, std::nullopt, 5800}}},
        {"an interval swell", {"6600/6550/7400", "6600/6550/6650"}, {{K::Swell, 0, 0, std::nullopt, 7400}}},
        // Interval rows stand for their intervals, (stamp − 60, stamp]: one after another they
        // leave no gap, and an event shows from the start of its first interval.
        {"a dip over two interval rows is one, from its first interval's start",
         {"6600", "6600/6550/6650/60", "6500/5800/6610/60", "6500/5700/6600/60", "6600/6550/6650/60"},
         {{K::Dip, 2, 3, std::nullopt, 5700}}},
        {"a dip from continuous rows into an interval row is one, its duration unknown",
         {"6600", "5900", "5800", "6000/5600/6610/60", "6600/6550/6650/60"}, {{K::Dip, 1, 3, std::nullopt, 5600}}},
        {"a missing interval ends one", {"6600/6550/6650/60", "6500/5800/6610/60", "gap", "6500/5700/6600/60", "6600/6550/6650/60"},
         {{K::Dip, 1, 1, std::nullopt, 5800}, {K::Dip, 2, 2, std::nullopt, 5700}}},
        {"an interval swell from its interval's start", {"6600", "6600/6550/7400/60", "6600/6550/6650/60"},
         {{K::Swell, 1, 1, std::nullopt, 7400}}},
    };
    for (const Case &k : cases) {
        const RecordTable table = rowsOf(k.rows);
        const std::vector<VoltageEvent> events = voltageEvents(table, 0.2, 0.6);
        EXPECT_EQ(events.size(), k.events.size()) << k.name;
        for (std::size_t i = 0; i < std::min(events.size(), k.events.size()); ++i) {
            EXPECT_EQ(events[i].kind, k.events[i].kind) << k.name;
            EXPECT_EQ(events[i].firstRow, k.events[i].firstRow) << k.name;
            EXPECT_EQ(events[i].lastRow, k.events[i].lastRow) << k.name;
            EXPECT_EQ(events[i].seconds.has_value(), k.events[i].seconds.has_value()) << k.name;
            if (events[i].seconds && k.events[i].seconds) {
                EXPECT_NEAR(*events[i].seconds, *k.events[i].seconds, 1e-9) << k.name;
            }
            EXPECT_EQ(events[i].extreme, k.events[i].extreme) << k.name;
            // Its first row's time, or where that row's interval starts.
            const float span = table.value(c::kSpan, events[i].firstRow);
            EXPECT_NEAR(events[i].start, table.times()[events[i].firstRow] - (std::isnan(span) ? 0.0 : span), 1e-9) << k.name;
        }
    }
}

// A dip lasts the time its rows stand for (each row the time to the next, never across a gap),
// whatever the rate: a day of rows, 85 % of Uc from second `from` for `seconds` seconds. By
// hand: at 4.8 rows a second ({5, 5, 5, 5, 4}) second 14 holds 4 rows 0.25 s apart, 1.0 s;
// seconds 14 and 15 hold 4 + 5 rows, 2.0 s. Rows × the set's median step read 4 × 0.2 = 0.8 s
// and 9 × 0.2 = 1.8 s; at 4.67 ({5, 5, 4}, the day's sampled median step 0.25 s) second 10's
// 5 rows 5 × 0.25 = 1.25 s. The dip table's column follows: 0.5–1 s (index 2), 1–5 s (3).
TEST(VoltageEventsTable, ADipLastsTheTimeItsRowsStandForAtAnyRate)
{
    const double midnight = 1'800'000'000.0 - 1'800'000'000 % 86400;
    struct Case {
        const char *name;
        std::vector<int> perSecond;
        double to; // the rows' end after midnight
        double from, seconds;
        std::size_t column;
    } cases[] = {
        {"five a second", {5}, 86400, 10, 1, 2},
        {"4.8 a second, a second of 5 rows", {5, 5, 5, 5, 4}, 86400, 10, 1, 2},
        {"4.8 a second, a second of 4 rows", {5, 5, 5, 5, 4}, 86400, 14, 1, 2},
        {"4.8 a second, 4 rows and 5", {5, 5, 5, 5, 4}, 86400, 14, 2, 3},
        {"4.8 a second, the last rows", {5, 5, 5, 5, 4}, 86400, 86399, 1, 2}, // 86399 % 5 = 4: 4 rows, the last 0.25 s on
        {"4.67 a second, a second of 5 rows", {5, 5, 4}, 86400, 10, 1, 2},
        {"4.67 a second, a second of 4 rows", {5, 5, 4}, 86400, 11, 1, 2},
    };
    const std::vector<int> slots{c::value(Sample::GridVoltage)};
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        const test::Signal signal = [&](double t, float *v) {
            const double s = t - midnight;
            v[0] = s >= k.from - 1e-6 && s < k.from + k.seconds - 1e-6 ? 5610.0f : 6600.0f;
        };
        const RecordSet set = test::setOfRuns({{midnight, midnight + k.to, k.perSecond, 0.0}}, slots, signal);
        const std::vector<VoltageEvent> events = voltageEvents(set.table(), set.samplePeriod(), 3.0 * set.samplePeriod());
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].kind, VoltageEvent::Kind::Dip);
        EXPECT_NEAR(events[0].start, midnight + k.from, 1e-6);
        ASSERT_TRUE(events[0].seconds.has_value());
        EXPECT_NEAR(*events[0].seconds, k.seconds, 1e-6) << "the set's sample period " << set.samplePeriod();
        std::array<std::array<std::size_t, 5>, 5> dips{};
        dips[0][k.column] = 1; // 85 %
        EXPECT_EQ(eventTables(events, 6600.0).dips, dips);
    }
}

// EN 50160's tables from rows of 0.2 s: each event in its one cell, nothing else counted.
TEST(EventTablesCells, EachEventInItsCell)
{
    std::vector<std::string> rows{"6600"};
    const auto add = [&](const char *value, int count) {
        rows.insert(rows.end(), static_cast<std::size_t>(count), value);
        rows.insert(rows.end(), 10, "6600");
    };
    add("5610", 1);   // 85 %, 0.2 s
    add("4950", 3);   // 75 %, 0.6 s
    add("3300", 10);  // 50 %, 2 s
    add("1980", 100); // 30 %, 20 s
    // Down to 87.9 %, up to 91 % (not yet 92 %) and down again: one dip of 2.2 s.
    rows.insert(rows.end(), 5, "5800");
    add("6006", 1);
    rows.erase(rows.end() - 10, rows.end());
    add("5800", 5);
    add("7590", 5);    // a swell of 115 %, 1 s
    add("0", 300);     // an interruption of 60 s: short, and in the table's last row
    add("0", 1000);    // of 200 s: long, beyond the table
    const EventTables tables = eventTables(voltageEvents(rowsOf(rows), 0.2, 0.6), 6600.0);
    std::array<std::array<std::size_t, 5>, 5> dips{};
    dips[0][0] = 1; // 85 %, 0.2 s
    dips[1][2] = 1; // 75 %, 0.6 s
    dips[2][3] = 1; // 50 %, 2 s
    dips[3][4] = 1; // 30 %, 20 s
    dips[0][3] = 1; // 87.9 %, 2.2 s
    dips[4][4] = 1; // the interruption of 60 s
    EXPECT_EQ(tables.dips, dips);
    std::array<std::array<std::size_t, 3>, 2> swells{};
    swells[1][1] = 1;
    EXPECT_EQ(tables.swells, swells);
    EXPECT_EQ(tables.shortInterruptions, 1u);
    EXPECT_EQ(tables.longInterruptions, 1u);
    EXPECT_EQ(tables.longerThanTheTables, 0u);
    EXPECT_EQ(tables.durationUnknown, 0u);
}

// Each kind's one set of names: the CSV's, the event list's (Japanese) and the report's in
// either language; a voltage event's kind is its listed kind.
TEST(EventListTable, EachKindsNames)
{
    struct Case {
        EventKind kind;
        const char *csv, *japanese, *english;
    } cases[] = {
        {EventKind::Trigger, "trigger", "トリガー", "trigger"},
        {EventKind::Dip, "dip", "電圧低下", "dip"},
        {EventKind::Swell, "swell", "電圧上昇", "swell"},
        {EventKind::ShortInterruption, "interruption_short", "短時間停電", "short interruption"},
        {EventKind::LongInterruption, "interruption_long", "長時間停電", "long interruption"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(eventKindName(c.kind), c.csv);
        EXPECT_EQ(eventKindTitle(c.kind).japanese, c.japanese) << c.csv;
        EXPECT_EQ(eventKindTitle(c.kind).english, c.english) << c.csv;
    }
    EXPECT_EQ(eventKindOf(VoltageEvent::Kind::Dip), EventKind::Dip);
    EXPECT_EQ(eventKindOf(VoltageEvent::Kind::Swell), EventKind::Swell);
    EXPECT_EQ(eventKindOf(VoltageEvent::Kind::ShortInterruption), EventKind::ShortInterruption);
    EXPECT_EQ(eventKindOf(VoltageEvent::Kind::LongInterruption), EventKind::LongInterruption);
}

// The list: firings and voltage events in time order, as CSV, and the steps through it.
TEST(EventListTable, InTimeOrderAsCsvAndStepByStep)
{
    VoltageEvent dip;
    dip.start = 1466726405.4;
    dip.seconds = 0.6;
    dip.extreme = 5900.0f;
    VoltageEvent swell;
    swell.kind = VoltageEvent::Kind::Swell;
    swell.start = 1466726410.0;
    swell.extreme = 7350.0f;
    const std::vector<ListedEvent> events = listEvents({1466726408.0, 1466726400.0}, {dip, swell});
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(eventListCsv(events, 6600.0), "time,type,duration_s,extreme_v,extreme_pct,nominal_v\r\n"
                                            "2016/06/24 0:00:00,trigger,,,,6600\r\n"
                                            "2016/06/24 0:00:05,dip,0.6,5900.0,89.4,6600\r\n"
                                            "2016/06/24 0:00:08,trigger,,,,6600\r\n"
                                            "2016/06/24 0:00:10,swell,,7350.0,111.4,6600\r\n");
    EXPECT_NE(eventListCsv(events, 22000.0).find(",dip,0.6,5900.0,26.8,22000\r\n"), std::string::npos) << "% of the Uc named";
    {
        const test::CommaLocale german; // printf's decimal comma would split the fields
        if (german.active()) {
            EXPECT_NE(eventListCsv(events, 6600.5).find(",dip,0.6,5900.0,89.4,6600.5\r\n"), std::string::npos);
        }
    }
    struct Step {
        double at;
        std::optional<std::size_t> next, previous;
    } steps[] = {
        {1466726300.0, 0, std::nullopt},
        {1466726400.0, 1, std::nullopt}, // standing on the first: on to the second
        {1466726405.4, 2, 0},
        {1466726409.0, 3, 2},
        {1466726410.0, std::nullopt, 2},
        {1466726999.0, std::nullopt, 3},
    };
    for (const Step &step : steps) {
        EXPECT_EQ(nextEvent(events, step.at, 1e-3), step.next) << step.at;
        EXPECT_EQ(previousEvent(events, step.at, 1e-3), step.previous) << step.at;
    }
}

} // namespace
} // namespace svglogger
