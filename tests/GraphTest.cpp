#include "graph/GraphScales.h"
#include "graph/TracePlotter.h"
#include "graph/TracePoints.h"
#include "graph/TrendHistory.h"
#include "support/FakeGraphView.h"

#include <gtest/gtest.h>

#include <vector>

namespace svglogger {
namespace {

struct RangeCase {
    int slider;
    float top;
    float step;
};

class VoltageScale : public ::testing::TestWithParam<RangeCase> {};
class PowerScale : public ::testing::TestWithParam<RangeCase> {};

TEST_P(VoltageScale, TopAndGainForEverySliderPosition)
{
    GraphScales scales;
    scales.update(GetParam().slider, 0);
    for (int t : {0, 4}) {
        EXPECT_EQ(scales.trace(t).top, GetParam().top);
        EXPECT_EQ(scales.trace(t).gain, static_cast<float>(30.0 / GetParam().step));
    }
    EXPECT_EQ(GraphScales::voltageNumber(GetParam().slider, 0), GetParam().top);
    EXPECT_EQ(GraphScales::voltageNumber(GetParam().slider, 10), GetParam().top - 10 * GetParam().step);
}

INSTANTIATE_TEST_SUITE_P(Sliders, VoltageScale, ::testing::Values(
    RangeCase{0, 7350, 150}, RangeCase{1, 7000, 100}, RangeCase{2, 6650, 50}));

TEST_P(PowerScale, TopAndGainForEverySliderPosition)
{
    GraphScales scales;
    scales.update(0, GetParam().slider);
    for (int t : {1, 2, 3}) {
        EXPECT_EQ(scales.trace(t).top, GetParam().top);
        EXPECT_EQ(scales.trace(t).gain, static_cast<float>(30.0 / GetParam().step));
    }
    // Power 0 lies on the sixth division line (y = 180) at every position.
    EXPECT_EQ(GraphScales::powerNumber(GetParam().slider, 6), 0);
    EXPECT_EQ(GraphScales::powerNumber(GetParam().slider, 10), GetParam().top - 10 * GetParam().step);
}

INSTANTIATE_TEST_SUITE_P(Sliders, PowerScale, ::testing::Values(
    RangeCase{-4, 1200, 200}, RangeCase{-3, 1050, 175}, RangeCase{-2, 900, 150}, RangeCase{-1, 750, 125},
    RangeCase{0, 600, 100}, RangeCase{1, 450, 75}, RangeCase{2, 300, 50}));

TEST(GraphScales, NumbersReadDownTheStrip)
{
    std::vector<int> v;
    for (int b = 0; b <= 10; ++b)
        v.push_back(GraphScales::voltageNumber(2, b));
    EXPECT_EQ(v, (std::vector<int>{6650, 6600, 6550, 6500, 6450, 6400, 6350, 6300, 6250, 6200, 6150}));
}

TrendHistory history(int samples, int base = 6000)
{
    TrendHistory h;
    for (int i = 0; i < samples; ++i) {
        for (int q = 0; q < TrendHistory::kTraces; ++q)
            h.store(q, base + i);
        h.advance();
    }
    return h;
}

// Each decoded sample takes one slot: its five traced quantities rounded (halves to even), a
// value no 32-bit integer holds leaving the slot's old one; the 702nd overwrites slot 0.
TEST(TrendHistory, EachSampleTakesOneSlotRoundedAndThe702ndOverwritesSlotZero)
{
    using S = MeasurementSample;
    TrendHistory h;
    for (int i = 0; i < 701; ++i) {
        S s;
        s[S::GridVoltage] = static_cast<float>(6000 + i);
        s[S::LoadActivePower] = 2.5f;
        s[S::LoadReactivePower] = -3.5f;
        s[S::SvgOutput] = 100.4f;
        s[S::UncompensatedVoltage] = 6700.6f;
        s[S::NegSeqVoltageD] = 99.0f; // not traced
        h.add(s);
    }
    EXPECT_EQ(h.count(), 701);
    EXPECT_EQ(h.writePos(), 0);
    EXPECT_EQ(h.value(0, 0), 6000);
    EXPECT_EQ(h.value(0, 700), 6700);
    EXPECT_EQ(h.value(1, 3), 2);
    EXPECT_EQ(h.value(2, 3), -4);
    EXPECT_EQ(h.value(3, 3), 100);
    EXPECT_EQ(h.value(4, 3), 6701);
    S huge;
    huge[S::GridVoltage] = 7000.0f;
    huge[S::SvgOutput] = 3e10f; // no 32-bit integer: the slot keeps 100 from 701 samples back
    h.add(huge);
    EXPECT_EQ(h.count(), 701);
    EXPECT_EQ(h.writePos(), 1);
    EXPECT_EQ(h.value(0, 0), 7000);
    EXPECT_EQ(h.value(3, 0), 100);
    EXPECT_EQ(h.value(1, 0), 0);
}

TEST(TracePoints, XIsTheIndexAndYFollowsTheScale)
{
    TracePoints points;
    EXPECT_EQ(points.x(0), 0);
    EXPECT_EQ(points.x(700), 700);
    TrendHistory h;
    h.store(0, 6600);
    h.advance();
    const int first = points.fill(h, 0, TraceScale{7350, 0.2f});
    EXPECT_EQ(first, 700); // a single point at the right edge
    EXPECT_EQ(points.y(700), 150); // (7350 - 6600) x 0.2
    h.store(0, 7400);
    h.advance();
    EXPECT_EQ(points.fill(h, 0, TraceScale{7350, 0.2f}), 699);
    EXPECT_EQ(points.y(699), 150);
    EXPECT_EQ(points.y(700), -10); // above the area, not limited
}

TEST(TracePoints, PartialRingEndsAtTheRightEdge)
{
    TracePoints points;
    const TrendHistory h = history(100);
    EXPECT_EQ(points.fill(h, 0, TraceScale{6100, 1.0f}), 601);
    EXPECT_EQ(points.y(601), 100); // slot 0, the oldest
    EXPECT_EQ(points.y(700), 1);   // slot 99, the newest
}

TEST(TracePoints, ExactlyFullRingStartsAtSlotZero)
{
    TracePoints points;
    const TrendHistory h = history(701);
    ASSERT_EQ(h.writePos(), 0);
    EXPECT_EQ(points.fill(h, 0, TraceScale{7000, 1.0f}), 0);
    EXPECT_EQ(points.y(0), 1000);  // slot 0 at x = 0
    EXPECT_EQ(points.y(700), 300); // slot 700 at x = 700
}

TEST(TracePoints, WrappedRingPutsTheNewestSlotAtTheRightEdge)
{
    TracePoints points;
    const TrendHistory h = history(702);
    ASSERT_EQ(h.writePos(), 1);
    EXPECT_EQ(points.fill(h, 0, TraceScale{7000, 1.0f}), 0);
    EXPECT_EQ(points.y(0), 999);   // slot 1, the oldest (sample 1)
    EXPECT_EQ(points.y(700), 299); // slot 0, the newest (sample 701)
}

TEST(TracePoints, RowsRoundHalvesToEven)
{
    TracePoints points;
    TrendHistory h;
    for (int v : {1, 3, 5, -1}) {
        h.store(1, v);
        h.advance();
    }
    points.fill(h, 1, TraceScale{0, 0.5f});
    // (0 - v) x 0.5: -0.5 -> 0, -1.5 -> -2, -2.5 -> -2, 0.5 -> 0
    EXPECT_EQ(points.y(697), 0);
    EXPECT_EQ(points.y(698), -2);
    EXPECT_EQ(points.y(699), -2);
    EXPECT_EQ(points.y(700), 0);
}

TEST(TracePlotter, FourTracesOrFiveWithTheUncompensatedVoltage)
{
    TracePlotter plotter;
    test::FakeGraphView view;
    const TrendHistory h = history(10);
    plotter.plotTraces(h, false, view);
    EXPECT_EQ(view.clears, 1);
    ASSERT_EQ(view.traces.size(), 4u);
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(view.traces[static_cast<std::size_t>(t)].trace, t);
        EXPECT_EQ(view.traces[static_cast<std::size_t>(t)].points.size(), 10u);
        EXPECT_EQ(view.traces[static_cast<std::size_t>(t)].points.front().first, 691);
    }
    plotter.plotTraces(h, true, view);
    ASSERT_EQ(view.traces.size(), 5u);
    // The scale changes apply to the whole history at the next drawing.
    plotter.scales().update(2, 0);
    plotter.plotTraces(h, true, view);
    EXPECT_EQ(view.traces[0].points.back().second, 385); // (6650 - 6009) x 0.6 = 384.6
    EXPECT_EQ(view.plots, 3);
}

} // namespace
} // namespace svglogger
