#include "recording/CsvLayout.h"
#include "recording/DateSerial.h"
#include "recording/IntervalAggregator.h"
#include "support/FakeRecordingView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

namespace svglogger {
namespace {

using S = MeasurementSample;

// The row a completed interval's figures make; empty while the interval runs.
std::string rowOf(const std::optional<IntervalFigures> &figures)
{
    return figures ? intervalRow(*figures) : std::string();
}

MeasurementSample sample(float v, float p, float q, float s, float status = 0, float nd = 0)
{
    MeasurementSample m;
    m[S::GridVoltage] = v;
    m[S::LoadActivePower] = p;
    m[S::LoadReactivePower] = q;
    m[S::SvgOutput] = s;
    m[S::NegSeqVoltageD] = nd;
    m[S::NegSeqVoltageQ] = nd + 1;
    m[S::NegSeqCommandD] = nd + 2;
    m[S::NegSeqCommandQ] = nd + 3;
    m[S::StatusWord] = status;
    return m;
}

// "yyyy/MM/dd H:mm:ss", or the date alone at midnight, back to its parts.
LocalDateTime parseStamp(const std::string &text)
{
    LocalDateTime t{};
    t.hour = t.minute = t.second = 0;
    std::sscanf(text.c_str(), "%d/%d/%d %d:%d:%d", &t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second);
    return t;
}

struct AggregatorFixture : ::testing::Test {
    test::FakeRecordingView view;
    IntervalAggregator aggregator{view};
    const double t0 = toDateSerial({2016, 6, 24, 9, 5, 0});

    static double at(double base, double seconds) { return base + seconds / 86400.0; }
    std::string add(const MeasurementSample &s, double seconds, double length = 1.0,
                    ControllerVersion version = ControllerVersion::Older)
    {
        return rowOf(aggregator.addSample(s, version, at(t0, seconds), length));
    }
};

TEST_F(AggregatorFixture, OneSecondAtFiveLinesGivesOneRowPerSecondStampedAtItsEnd)
{
    aggregator.setIntervalStart(t0);
    std::vector<std::string> rows;
    for (int i = 0; i < 15; ++i) {
        const double seconds = i / 5; // the clock has whole seconds: five lines in each
        std::string row = add(sample(6600 + i, 10.0f + i, -5, 2.5f, i), seconds);
        if (!row.empty())
            rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), 2u);
    // Samples 0..4 (at 0.0 .. 0.8 s); sample 5 at 1.0 s completes the interval.
    EXPECT_EQ(rows[0], "2016/06/24 9:05:01,6602,12,-5,2.5,6604,14,-5,2.5,6600,10,-5,2.5,5,5");
    EXPECT_EQ(rows[1], "2016/06/24 9:05:02,6607,17,-5,2.5,6609,19,-5,2.5,6605,15,-5,2.5,5,10");
    EXPECT_EQ(aggregator.dtCount(), 5);
    EXPECT_EQ(view.sampleCount, "5");
}

TEST_F(AggregatorFixture, SampleCountShownFromTwoAndKeepsItsValueWhenARowIsWritten)
{
    aggregator.setIntervalStart(t0);
    add(sample(1, 1, 1, 1), 0.0); // first sample after program start
    EXPECT_EQ(view.sampleCount, "");
    add(sample(1, 1, 1, 1), 0.1);
    EXPECT_EQ(view.sampleCount, "2");
    add(sample(1, 1, 1, 1), 0.2);
    EXPECT_EQ(view.sampleCount, "3");
    EXPECT_FALSE(add(sample(1, 1, 1, 1), 1.0).empty());
    EXPECT_EQ(view.sampleCount, "3");
    EXPECT_EQ(aggregator.dtCount(), 1);
}

TEST_F(AggregatorFixture, PauseOfSeveralIntervalsWritesOneRowAndSkipsTheEmptyOnes)
{
    aggregator.setIntervalStart(t0);
    add(sample(6600, 1, 2, 3), 0, 10);
    add(sample(6610, 1, 2, 3), 4, 10);
    const std::string row = add(sample(7000, 9, 9, 9, 7), 35, 10);
    EXPECT_EQ(row, "2016/06/24 9:05:10,6605,1,2,3,6610,1,2,3,6600,1,2,3,2,7");
    // The next interval starts at the last whole boundary before now: 30 s after t0.
    EXPECT_DOUBLE_EQ(aggregator.intervalStart(), at(t0, 30));
    EXPECT_TRUE(add(sample(1, 1, 1, 1), 39, 10).empty());
    EXPECT_EQ(add(sample(1, 1, 1, 1), 40, 10).substr(0, 18), "2016/06/24 9:05:40");
}

TEST_F(AggregatorFixture, ClockSetBackKeepsTheIntervalOpenUntilItsEndPassesAgain)
{
    aggregator.setIntervalStart(t0);
    add(sample(1, 1, 1, 1), 0, 5);
    EXPECT_TRUE(add(sample(1, 1, 1, 1), -3600, 5).empty());
    EXPECT_TRUE(add(sample(1, 1, 1, 1), -1, 5).empty());
    EXPECT_TRUE(add(sample(1, 1, 1, 1), 4, 5).empty());
    EXPECT_EQ(aggregator.dtCount(), 4);
    const std::string row = add(sample(1, 1, 1, 1), 5, 5);
    EXPECT_EQ(row, "2016/06/24 9:05:05,1,1,1,1,1,1,1,1,1,1,1,1,4,0");
}

TEST_F(AggregatorFixture, FractionalLengthTestsWithTheRoundedLengthButAdvancesByTheTypedOne)
{
    aggregator.setIntervalStart(t0);
    add(sample(1, 1, 1, 1), 0, 2.5);
    // 2 s elapsed: round(2) \ round(2.5) = 2 \ 2 = 1 whole interval.
    EXPECT_FALSE(add(sample(1, 1, 1, 1), 2, 2.5).empty());
    EXPECT_DOUBLE_EQ(aggregator.intervalStart(), at(t0, 2.5));
    // From there 0.5 s rounds to no whole interval, 1.5 s rounds to 2 s, which is one. The
    // end of that interval (9:05:05) is still to come: the row is stamped with the moment it
    // is written instead.
    EXPECT_TRUE(add(sample(1, 1, 1, 1), 3, 2.5).empty());
    EXPECT_EQ(add(sample(1, 1, 1, 1), 4, 2.5).substr(0, 18), "2016/06/24 9:05:04");
}

TEST_F(AggregatorFixture, VersionDecidesHowManyQuantitiesTakePart)
{
    aggregator.setIntervalStart(t0);
    add(sample(6600, 1, 2, 3, 0, 40), 0, 1, ControllerVersion::Version2);
    const std::string row2 = add(sample(6600, 1, 2, 3, 0, 40), 1, 1, ControllerVersion::Version2);
    EXPECT_EQ(row2, "2016/06/24 9:05:01,6600,1,2,3,40,41,42,43,6600,1,2,3,40,41,42,43,6600,1,2,3,40,41,42,43,1,0");
    const std::string row1 = add(sample(6600, 1, 2, 3, 0, 40), 2, 1, ControllerVersion::Older);
    EXPECT_EQ(row1, "2016/06/24 9:05:02,6600,1,2,3,6600,1,2,3,6600,1,2,3,1,0");
}

TEST_F(AggregatorFixture, MaximumAndMinimumKeepTheirValueOnTiesAndAveragesRound)
{
    aggregator.setIntervalStart(t0);
    add(sample(6601, 0.25f, -0.05f, 100), 0);
    add(sample(6602, 0.25f, -0.05f, -100), 0.5);
    const std::string row = add(sample(0, 0, 0, 0), 1);
    // Voltage average 6601.5 -> 6602 (to 0 decimals, even), power 0.25 -> 0.2, -0.05f -> -0.1.
    EXPECT_EQ(row, "2016/06/24 9:05:01,6602,0.2,-0.1,0,6602,0.2,-0.1,100,6601,0.2,-0.1,-100,2,0");
}

TEST_F(AggregatorFixture, FirstSampleAfterProgramStartMovesTheStartByWholeIntervals)
{
    // IntervalStart set 10.4 s before the first sample with a 3 s interval: round(10.4) \ 3 = 3.
    aggregator.setIntervalStart(at(t0, -10.4));
    EXPECT_TRUE(add(sample(1, 1, 1, 1), 0, 3).empty());
    EXPECT_DOUBLE_EQ(aggregator.intervalStart(), at(t0, -1.4));
    EXPECT_EQ(aggregator.dtCount(), 1);
}

TEST_F(AggregatorFixture, CountStopsAt32767AndTheRowIsStampedWhenWrittenStartingANewInterval)
{
    aggregator.setIntervalStart(t0);
    for (int i = 0; i < 32767; ++i)
        ASSERT_TRUE(add(sample(2, 2, 2, 2), i / 5, 100000).empty());
    EXPECT_EQ(aggregator.dtCount(), 32767);
    // 7000 s into an interval of 100000 s: the row does not wait for its end.
    const std::string row = add(sample(4, 4, 4, 4, 9), 7000, 100000);
    EXPECT_EQ(row, "2016/06/24 11:01:40,2,2,2,2,2,2,2,2,2,2,2,2,32767,9");
    EXPECT_EQ(aggregator.dtCount(), 1);
    EXPECT_DOUBLE_EQ(aggregator.intervalStart(), at(t0, 7000));
    // The new interval runs its full length from there.
    EXPECT_TRUE(add(sample(4, 4, 4, 4), 7000 + 99999, 100000).empty());
    EXPECT_EQ(add(sample(4, 4, 4, 4), 7000 + 100000, 100000).substr(0, 20), "2016/06/25 14:48:20,");
}

TEST_F(AggregatorFixture, ClockJumpOfYearsMovesTheStartToTheLastBoundaryBeforeNow)
{
    // From the zero start of program start to today: far beyond 32767 intervals.
    EXPECT_TRUE(add(sample(1, 1, 1, 1), 0, 7).empty());
    EXPECT_LE(aggregator.intervalStart(), t0);
    EXPECT_GT(aggregator.intervalStart(), at(t0, -7));
    // A jump of two years ahead in the middle of an interval: its row is stamped at its
    // end, and the next interval starts at the last boundary before the new time.
    aggregator.setIntervalStart(t0);
    add(sample(2, 2, 2, 2), 3, 7);
    const double later = t0 + 730.0;
    const std::string row = rowOf(aggregator.addSample(sample(3, 3, 3, 3), ControllerVersion::Older, later, 7));
    EXPECT_EQ(row.substr(0, 19), "2016/06/24 9:05:07,") << row;
    EXPECT_LE(aggregator.intervalStart(), later);
    EXPECT_GT(aggregator.intervalStart(), later - 7 / 86400.0);
    // So the lines after the jump are aggregated again, not one row each.
    EXPECT_TRUE(rowOf(aggregator.addSample(sample(3, 3, 3, 3), ControllerVersion::Older, later, 7)).empty());
    // Years backwards clamp the other way and keep the interval open.
    aggregator.setIntervalStart(t0);
    EXPECT_TRUE(rowOf(aggregator.addSample(sample(1, 1, 1, 1), ControllerVersion::Older, t0 - 20 * 365.0, 1)).empty());
}

// Interval lengths and starts of any size: no conversion out of range (the sanitizers run
// these), and no row.
TEST_F(AggregatorFixture, LengthsAndStartsOfAnySizeAreHandledWithoutRows)
{
    for (const double length : {1e20, -1e20, 1e300, 2e15, -7.0, 3e9}) {
        aggregator.setIntervalStart(t0);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(add(sample(1, 1, 1, 1), i * 100, length).empty()) << length;
    }
    for (const double start : {1e30, -1e30, 1e17}) {
        aggregator.setIntervalStart(start);
        add(sample(1, 1, 1, 1), 0, 1);
        add(sample(1, 1, 1, 1), 1, 1);
    }
    EXPECT_EQ(fromDateSerial(1e300).year, fromDateSerial(1e301).year); // far-off serials stay whole
}

// Over any course of a forward-running clock, every row is stamped between its interval's
// first sample and the moment it is written, and the stamps never go back.
class IntervalStamps : public ::testing::TestWithParam<double> {};

TEST_P(IntervalStamps, LieBetweenTheFirstSampleAndTheMomentOfWriting)
{
    test::FakeRecordingView view;
    IntervalAggregator aggregator(view);
    const double length = GetParam();
    double now = toDateSerial({2026, 12, 7, 10, 0, 0});
    aggregator.setIntervalStart(now);
    double firstSample = now;
    std::string lastStamp;
    std::uint32_t random = 12345;
    const double steps[] = {0, 0, 0, 1, 1, 2, 7, 59, 3600, 86400.0 * 400};
    for (int i = 0; i < 5000; ++i) {
        random = random * 1103515245u + 12345u;
        now += steps[(random >> 16) % 10] / 86400.0;
        now = std::round(now * 86400.0) / 86400.0; // the clock has whole seconds
        const std::string row = rowOf(aggregator.addSample(sample(1, 1, 1, 1), ControllerVersion::Older, now, length));
        if (row.empty()) {
            if (i == 0)
                firstSample = now;
            continue;
        }
        const std::string stamp = row.substr(0, row.find(','));
        const LocalDateTime shown = fromDateSerial(now);
        const LocalDateTime first = fromDateSerial(firstSample);
        auto key = [](const LocalDateTime &t) {
            return std::tuple(t.year, t.month, t.day, t.hour, t.minute, t.second);
        };
        const LocalDateTime parsed = parseStamp(stamp);
        EXPECT_LE(key(parsed), key(shown)) << stamp << " written at step " << i;
        EXPECT_GE(key(parsed), key(first)) << stamp << " at step " << i;
        if (!lastStamp.empty()) {
            EXPECT_GE(key(parsed), key(parseStamp(lastStamp))) << stamp;
        }
        lastStamp = stamp;
        firstSample = now; // the sample that completed the interval begins the next
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, IntervalStamps, ::testing::Values(1.0, 2.5, 60.0, 7000.0));

TEST_F(AggregatorFixture, IntervalBelowHalfASecondIsSkipped)
{
    aggregator.setIntervalStart(t0);
    EXPECT_TRUE(add(sample(1, 1, 1, 1), 5, 0.4).empty());
    EXPECT_EQ(aggregator.dtCount(), 0);
}

struct ValidationCase {
    const char *typed;
    const char *kept;
};

class IntervalBoxLeft : public ::testing::TestWithParam<ValidationCase> {};

TEST_P(IntervalBoxLeft, BelowOneBecomesOne)
{
    EXPECT_EQ(IntervalAggregator::validatedIntervalText(GetParam().typed), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(Texts, IntervalBoxLeft, ::testing::Values(
    ValidationCase{"0", "1"}, ValidationCase{"", "1"}, ValidationCase{"abc", "1"}, ValidationCase{"0.9", "1"},
    ValidationCase{"-3", "1"}, ValidationCase{"1", "1"}, ValidationCase{"2.5", "2.5"},
    ValidationCase{"60 s", "60 s"}, ValidationCase{" 1", " 1"}));


} // namespace
} // namespace svglogger
