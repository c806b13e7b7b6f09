#include "soak/DaySoak.h"

#include <gtest/gtest.h>

namespace svglogger {
namespace {

using test::DaySoak;

// The heap is measured only where no sanitizer has replaced the allocator.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kHeapMeasured = false;
#else
constexpr bool kHeapMeasured = true;
#endif

void expectFlatHeap(const DaySoak::Result &r)
{
    if (kHeapMeasured) {
        EXPECT_LE(r.heapAtEnd, r.heapAfterFirstHour + 64 * 1024) << "after 1 h " << r.heapAfterFirstHour;
    }
}

TEST(DaySoak, ContinuousEveryLineIsOneRowAcrossTwentyFourHourlyFiles)
{
    const DaySoak::Result r = DaySoak::run(DaySoak::Mode::Continuous);
    EXPECT_EQ(r.problem, "");
    EXPECT_EQ(r.lines, 432000);
    EXPECT_EQ(r.rows, 432000);
    EXPECT_EQ(r.files, 24);
    expectFlatHeap(r);
}

TEST(DaySoak, IntervalCountsAddUpToTheLinesLessTheOpenInterval)
{
    const DaySoak::Result r = DaySoak::run(DaySoak::Mode::Interval);
    EXPECT_EQ(r.problem, "");
    EXPECT_EQ(r.sampleCountSum + r.stillOpen, r.lines);
    EXPECT_EQ(r.files, 24);
    EXPECT_GE(r.rows, 24 * 59); // a row a minute, less one per hourly restart
    expectFlatHeap(r);
}

TEST(DaySoak, TriggerEveryCompleteCaptureHoldsNPlusOneRows)
{
    const DaySoak::Result r = DaySoak::run(DaySoak::Mode::Trigger);
    EXPECT_EQ(r.problem, "");
    EXPECT_GT(r.completeCaptures, 300); // a dip a minute, captures of about 200 s
    EXPECT_LE(r.shortCaptures, 1);      // only the one still running at the end
    EXPECT_EQ(r.files, r.completeCaptures + r.shortCaptures);
    expectFlatHeap(r);
}

} // namespace
} // namespace svglogger
