#include "quality/DailyEnergy.h"
#include "quality/PowerQualityReport.h"
#include "quality/ReportCsv.h"
#include "reading/RecordColumns.h"
#include "quality/SvgEffectiveness.h"
#include "support/RowRuns.h"
#include "support/Split.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace svglogger {
namespace {

namespace c = recordColumn;
using Sample = MeasurementSample;

// A day of rows a second from a midnight: the SVG's output flips between +q and −q every 30 s
// and the voltage moves by `left` of what the flip moves the voltage without it.
RecordTable flippingDay(double q, double left)
{
    RecordTable table;
    const double midnight = 1'800'000'000.0 - 1'800'000'000 % 86400;
    const double reach = q / 10000.0 * 5.0 / 100.0 * 6700.0; // what ±q moves across X = 5 %
    for (int s = 0; s < 86400; ++s) {
        const double sign = (s / 30) % 2 ? -1.0 : 1.0;
        // Without the SVG the voltage would swing ±reach ÷ (1 − left) × … : here it is
        // given directly, V = 6600 ± left·d and V_unc = 6600 ± d.
        const double d = reach / (1.0 - left);
        const float values[] = {static_cast<float>(6600.0 + sign * left * d), static_cast<float>(sign * q)};
        table.append(midnight + s, {c::value(Sample::GridVoltage), c::value(Sample::SvgOutput)}, values);
    }
    return table;
}

// The voltage held flat while the SVG's ±500 kvar flips every 30 s across X = 5 %: the swing
// without it is 0.508 V on the 100 V base, with it 0, a suppression of 100 %; compensating 80 %
// leaves 80 %. Read the other way (minus: a positive output supplied to the grid), the same
// ±400 kvar (±13.4 V) beside V = 6600 ± 3.35 V leaves V_unc = 6600 ∓ 10.05 V: 20.1 V, 0.30455,
// suppression 1 − 6.7 ÷ 20.1 = 66.7 %.
TEST(SvgEffectivenessDays, TheSwingWithAndWithoutTheSvgAndTheSuppression)
{
    struct Case {
        double q, left;
        SvgSign sign;
        double swing, uncompensated, suppression;
    } cases[] = {
        {500.0, 0.0, SvgSign::Plus, 0.0, 0.50758, 1.0},
        {400.0, 0.2, SvgSign::Plus, 0.10152, 0.50758, 0.8},
        {400.0, 0.2, SvgSign::Minus, 0.10152, 0.30455, 2.0 / 3.0},
    };
    for (const Case &k : cases) {
        const RecordTable table = flippingDay(k.q, k.left);
        const auto days = svgEffectiveness(RowSpans(table, 1.0, 3.0), {6600.0, 5.0, 0.03, k.sign}, {});
        ASSERT_EQ(days.size(), 1u);
        EXPECT_EQ(days[0].minutes, 1440u);
        EXPECT_NEAR(days[0].swingP95, k.swing, 1e-3) << k.left;
        EXPECT_NEAR(days[0].swingMax, k.swing, 1e-3) << k.left;
        EXPECT_NEAR(days[0].uncompensatedP95, k.uncompensated, 1e-3) << k.left;
        ASSERT_TRUE(days[0].suppression.has_value());
        EXPECT_NEAR(*days[0].suppression, k.suppression, 1e-3) << k.left;
        EXPECT_EQ(days[0].rapidChanges, 0u) << "33.5 V is no rapid change at 3 % (198 V)";
    }
}

TEST(SvgEffectivenessDays, RapidVoltageChangesBetweenSteadyStates)
{
    const auto steps = [](std::vector<std::pair<double, int>> runs) {
        std::vector<double> values;
        for (const auto &[v, n] : runs)
            values.insert(values.end(), static_cast<std::size_t>(n), v);
        return values;
    };
    struct Case {
        const char *name;
        std::vector<double> values;
        std::size_t changes;
    } cases[] = {
        {"a step of 200 V (3 % is 198 V)", steps({{6600, 10}, {6800, 10}}), 1},
        {"a step of 100 V", steps({{6600, 10}, {6700, 10}}), 0},
        {"out and back to the same level", steps({{6600, 10}, {6850, 2}, {6600, 10}}), 1},
        {"beyond 10 %: a swell, not a change", steps({{6600, 10}, {7400, 3}, {6600, 10}}), 0},
        {"two steps", steps({{6600, 10}, {6400, 10}, {6650, 10}}), 2},
        {"no steady state to leave", steps({{6600, 3}, {6900, 3}}), 0},
        {"a step that never settles", steps({{6600, 10}, {6900, 1}, {6300, 1}, {6900, 1}, {6300, 1}}), 0},
    };
    for (const Case &k : cases)
        EXPECT_EQ(rapidVoltageChanges(k.values, 198.0, 660.0), k.changes) << k.name;
}

// P 800 kW, the load's 600 kvar, the SVG's −600 kvar for a day at five rows a second: PF of
// the load 0.800, at the point of connection 1.000, 19,200 kWh, 14,400 kvarh from the SVG; an
// hour without rows gives exactly 23/24 of it, never bridged.
TEST(DailyEnergyFigures, EnergyAndPowerFactorOfADay)
{
    const double midnight = 1'800'000'000.0 - 1'800'000'000 % 86400;
    struct Case {
        const char *name;
        int missingHour; // -1: none
        SvgSign sign;
        double kwh, lagging, leading, svg, pfLoad, pfConnection;
    } cases[] = {
        {"a whole day", -1, SvgSign::Plus, 19200.0, 0.0, 0.0, 14400.0, 0.8, 1.0},
        {"an hour removed", 5, SvgSign::Plus, 18400.0, 0.0, 0.0, 13800.0, 0.8, 1.0},
        {"the SVG's sign the other way", -1, SvgSign::Minus, 19200.0, 28800.0, 0.0, 14400.0, 0.8, 19200.0 / std::hypot(19200.0, 28800.0)},
    };
    for (const Case &k : cases) {
        RecordTable table;
        for (int i = 0; i < 86400 * 5; ++i) {
            if (i / 5 / 3600 == k.missingHour)
                continue;
            const float values[] = {800.0f, 600.0f, -600.0f};
            table.append(midnight + i * 0.2,
                         {c::value(Sample::LoadActivePower), c::value(Sample::LoadReactivePower), c::value(Sample::SvgOutput)},
                         values);
        }
        const std::vector<DailyEnergy> days = dailyEnergy(RowSpans(table, 0.2, 0.6), k.sign);
        ASSERT_EQ(days.size(), 1u) << k.name;
        EXPECT_NEAR(days[0].kwh, k.kwh, 1e-6) << k.name;
        EXPECT_NEAR(days[0].kvarhLagging, k.lagging, 1e-6) << k.name;
        EXPECT_NEAR(days[0].kvarhLeading, k.leading, 1e-6) << k.name;
        EXPECT_NEAR(days[0].svgKvarh, k.svg, 1e-6) << k.name;
        EXPECT_NEAR(*days[0].loadPowerFactor(), k.pfLoad, 1e-9) << k.name;
        EXPECT_NEAR(*days[0].connectionPowerFactor(), k.pfConnection, 1e-9) << k.name;
    }
    // The day-time hours alone (8–22): 14 of the 24.
    RecordTable day;
    for (int s = 0; s < 86400; ++s) {
        const float values[] = {800.0f, 600.0f, -600.0f};
        day.append(midnight + s, {c::value(Sample::LoadActivePower), c::value(Sample::LoadReactivePower), c::value(Sample::SvgOutput)},
                   values);
    }
    const std::vector<DailyEnergy> daytime = dailyEnergy(RowSpans(day, 1.0, 3.0), SvgSign::Plus, std::pair{8, 22});
    ASSERT_EQ(daytime.size(), 1u);
    EXPECT_NEAR(daytime[0].kwh, 800.0 * 14, 1e-6);
}

const double kMidnight = 1'800'000'000.0 - 1'800'000'000 % 86400;
const std::vector<int> kPowers{c::value(Sample::GridVoltage), c::value(Sample::LoadActivePower),
                               c::value(Sample::LoadReactivePower), c::value(Sample::SvgOutput)};

// One setting reads the SVG's sign for the power factor and for the voltage without the SVG.
// Plus (the default, the window's V_unc = V + Q_svg·X): a positive output is reactive power
// in the load's direction. P 800 kW, the load's 600 kvar; the first half of each minute the
// SVG's output is −600 kvar and the voltage 6593.3 V, the second half 0 and 6600 V; X = 5 %
// makes 600 kvar 600 ÷ 10000 × 0.05 × 6700 = 20.1 V.
// Plus: V_unc 6573.2 and 6600 V, a swing of 26.8 V (0.40606 on 100 V) against 6.7 V
// (0.10152), suppression 75 %; Q at the point of connection 0 and 600 kvar: 7,200 kvarh
// lagging, PF 19200 ÷ √(19200² + 7200²) = 0.93633.
// Minus: V_unc 6613.4 and 6600 V, 13.4 V (0.20303), suppression 50 %; 1200 and 600 kvar:
// 21,600 kvarh, PF 19200 ÷ √(19200² + 21600²) = 0.66436. The load's PF 0.8 either way.
TEST(SvgEffectivenessDays, OneSignForThePowerFactorAndTheVoltageWithoutTheSvg)
{
    struct Case {
        SvgSign sign;
        double lagging, pfConnection, uncompensatedP95, suppression;
    } cases[] = {
        {SvgSign::Plus, 7200.0, 0.9363292, 0.4060606, 0.75},
        {SvgSign::Minus, 21600.0, 0.6643638, 0.2030303, 0.5},
    };
    EXPECT_EQ(ReportSettings{}.svgSign, SvgSign::Plus) << "the window's own formula";
    const test::Signal signal = [](double t, float *v) {
        const bool first = std::fmod(t - kMidnight, 60.0) < 30.0;
        v[0] = first ? 6593.3f : 6600.0f;
        v[1] = 800.0f;
        v[2] = 600.0f;
        v[3] = first ? -600.0f : 0.0f;
    };
    const RecordSet set = test::setOfRuns({{kMidnight, kMidnight + 86400, {5, 5, 5, 5, 4}, 0.0}}, kPowers, signal);
    for (const Case &k : cases) {
        ReportSettings settings;
        settings.svgSign = k.sign;
        settings.reactancePercent = 5.0;
        const PowerQualityReport report = makeReport(set, kMidnight, kMidnight + 86400, settings);
        ASSERT_EQ(report.energy.size(), 1u);
        EXPECT_NEAR(report.energy[0].kwh, 19200.0, 1e-3);
        EXPECT_NEAR(report.energy[0].kvarhLagging, k.lagging, 1e-3);
        EXPECT_NEAR(*report.energy[0].connectionPowerFactor(), k.pfConnection, 1e-6);
        EXPECT_NEAR(*report.energy[0].loadPowerFactor(), 0.8, 1e-9);
        ASSERT_EQ(report.effectiveness.size(), 1u);
        EXPECT_NEAR(report.effectiveness[0].swingP95, 0.1015152, 1e-4);
        EXPECT_NEAR(report.effectiveness[0].uncompensatedP95, k.uncompensatedP95, 1e-4);
        ASSERT_TRUE(report.effectiveness[0].suppression.has_value());
        EXPECT_NEAR(*report.effectiveness[0].suppression, k.suppression, 1e-3);
    }
}

// The SVG's effect is judged on the minutes without a dip, swell or interruption: a 1 s dip to
// 5000 V every 15 minutes (96 minutes of 1440, more than 5 %) would set the 95th percentile.
// Each half minute the voltage is 6606.7 then 6593.3 V and the SVG's output −1000 then
// +1000 kvar (33.5 V across X = 5 %): the swing 13.4 V (0.20303 on 100 V), without the SVG
// 6573.2 to 6626.8 V, 53.6 V (0.81212), suppression 75 %. With the dips counted: 1606.7 V
// (24.344) against 1660.3 V (25.156), suppression 3.2 %. Interval rows' means hide each
// minute's swing: from them no figure (not a swing of 0).
TEST(SvgEffectivenessDays, MinutesWithEventsLeftOut)
{
    struct Case {
        const char *name;
        test::RowRun rows;
        bool dips;
        std::optional<std::size_t> minutes; // none: no figure for the day
        std::size_t eventMinutes;
    } cases[] = {
        {"no dips", {kMidnight, kMidnight + 86400, {5}, 0.0}, false, 1440, 0},
        {"a 1 s dip every 15 minutes", {kMidnight, kMidnight + 86400, {5}, 0.0}, true, 1344, 96},
        {"the same at 4.8 a second", {kMidnight, kMidnight + 86400, {5, 5, 5, 5, 4}, 0.0}, true, 1344, 96},
        {"the same as interval rows of 60 s", {kMidnight, kMidnight + 86400, {}, 60.0}, true, std::nullopt, 0},
    };
    for (const Case &k : cases) {
        const test::Signal signal = [&](double t, float *v) {
            const double ofDay = t - kMidnight;
            const double side = std::fmod(ofDay, 60.0) < 30.0 ? 1.0 : -1.0;
            const bool dip = k.dips && static_cast<std::int64_t>(ofDay / 60.0) % 15 == 7 && std::fmod(ofDay, 60.0) >= 10.0
                && std::fmod(ofDay, 60.0) < 11.0;
            v[0] = dip ? 5000.0f : static_cast<float>(6600.0 + 6.7 * side);
            v[1] = 800.0f;
            v[2] = 600.0f;
            v[3] = static_cast<float>(-1000.0 * side);
        };
        ReportSettings settings;
        settings.reactancePercent = 5.0;
        const PowerQualityReport report = makeReport(test::setOfRuns({k.rows}, kPowers, signal), kMidnight, kMidnight + 86400, settings);
        // daily.csv: the minutes left out in a column before the class, empty without figures.
        std::string daily;
        for (const auto &[name, text] : reportCsvFiles(report))
            daily = name == "daily.csv" ? text : daily;
        const std::vector<std::string> lines = test::split(daily, '\n');
        ASSERT_EQ(lines.size(), 3u) << daily;
        EXPECT_TRUE(lines[0].ends_with(",pf_load,pf_pcc,event_minutes,class\r")) << lines[0];
        EXPECT_TRUE(lines[1].ends_with("," + (k.minutes ? std::to_string(k.eventMinutes) : std::string()) + ",indicative\r")) << lines[1];
        EXPECT_EQ(test::split(lines[1], ',').size(), test::split(lines[0], ',').size()) << lines[1];
        if (!k.minutes) {
            EXPECT_TRUE(report.effectiveness.empty()) << k.name;
            continue;
        }
        ASSERT_EQ(report.effectiveness.size(), 1u) << k.name;
        const DailyEffectiveness &day = report.effectiveness[0];
        EXPECT_EQ(day.minutes, *k.minutes) << k.name;
        EXPECT_EQ(day.eventMinutes, k.eventMinutes) << k.name;
        EXPECT_NEAR(day.swingP95, 0.2030303, 1e-4) << k.name;
        EXPECT_NEAR(day.uncompensatedP95, 0.8121212, 1e-4) << k.name;
        ASSERT_TRUE(day.suppression.has_value()) << k.name;
        EXPECT_NEAR(*day.suppression, 0.75, 1e-3) << k.name;
    }
}

} // namespace
} // namespace svglogger
