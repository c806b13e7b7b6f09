#include "recording/TriggerSettings.h"
#include "recording/TriggerEvaluator.h"

#include <gtest/gtest.h>

#include <vector>

namespace svglogger {
namespace {

using S = MeasurementSample;

MeasurementSample voltage(float v)
{
    MeasurementSample s;
    s[S::GridVoltage] = v;
    return s;
}

struct EvaluatorFixture : ::testing::Test {
    TriggerSettings settings;
    TriggerEvaluator evaluator{settings};
    std::int16_t enabledConditionCount = 0; // EnabledConditionCount, as the boxes' clicks keep it

    bool evaluate(const MeasurementSample &s) { return evaluator.evaluate(s, enabledConditionCount); }
    // Checks boxes as the operator would, counting them.
    void checkWindowOut(int k)
    {
        settings.windowOut[static_cast<std::size_t>(k)] = true;
        ++enabledConditionCount;
    }
    void checkChange(int k)
    {
        settings.change[static_cast<std::size_t>(k)] = true;
        ++enabledConditionCount;
    }
};

struct WindowOutCase {
    int k;
    float value;
    bool fires;
};

class WindowOutLimits : public ::testing::TestWithParam<WindowOutCase> {};

TEST_P(WindowOutLimits, StrictlyOutsideAndNeverAtZero)
{
    TriggerSettings settings;
    TriggerEvaluator evaluator(settings);
    evaluator.resize(5);
    settings.windowOut[static_cast<std::size_t>(GetParam().k)] = true;
    MeasurementSample s;
    s[static_cast<std::size_t>(GetParam().k)] = GetParam().value;
    EXPECT_EQ(evaluator.evaluate(s, 1), GetParam().fires) << GetParam().k << " " << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Defaults, WindowOutLimits, ::testing::Values(
    WindowOutCase{0, 6850, true}, WindowOutCase{0, 6800, false}, WindowOutCase{0, 6300, false},
    WindowOutCase{0, 6250, true}, WindowOutCase{0, 0, false}, WindowOutCase{0, 6600, false},
    WindowOutCase{1, 200.1f, true}, WindowOutCase{1, 200, false}, WindowOutCase{1, -200, false},
    WindowOutCase{1, -200.5f, true}, WindowOutCase{2, 250, true}, WindowOutCase{2, 0, false},
    WindowOutCase{3, -300, true}, WindowOutCase{3, 199.9f, false}));

TEST_F(EvaluatorFixture, MagnitudesAgainstTheirThresholdsInDouble)
{
    evaluator.resize(5);
    checkWindowOut(4);
    MeasurementSample s;
    s[S::NegSeqVoltageD] = 60;
    s[S::NegSeqVoltageQ] = 80; // magnitude 100, the default threshold
    EXPECT_FALSE(evaluate(s));
    s[S::NegSeqVoltageQ] = 80.01f;
    EXPECT_TRUE(evaluate(s));
    // A magnitude of 0 is not excluded: it fires against a negative threshold.
    settings.limits[8] = "-1";
    EXPECT_TRUE(evaluate(MeasurementSample{}));
    // The command magnitude with Text2(9).
    settings.windowOut[4] = false;
    settings.windowOut[5] = true;
    s = MeasurementSample{};
    s[S::NegSeqCommandD] = 6;
    s[S::NegSeqCommandQ] = 8;
    EXPECT_FALSE(evaluate(s)); // 10 is not above 10
    s[S::NegSeqCommandQ] = 9;
    EXPECT_TRUE(evaluate(s));
}

TEST_F(EvaluatorFixture, ChangeAgainstTheSampleCompareDepthBack)
{
    evaluator.resize(5);
    checkChange(0);
    for (int i = 0; i < 5; ++i)
        ASSERT_FALSE(evaluate(voltage(6600 + i))) << "the ring is not full yet";
    EXPECT_EQ(evaluator.historyFill(), 5);
    EXPECT_FALSE(evaluate(voltage(6800))); // |6600 - 6800| = 200: not above
    EXPECT_TRUE(evaluate(voltage(6850)));  // against 6601: 249
    EXPECT_EQ(evaluator.historyFill(), 0);            // restarted, the firing sample not entered
    EXPECT_EQ(evaluator.historyPos(), 0);
}

TEST_F(EvaluatorFixture, ZeroHistoryNeverCountsForPowersButDoesForMagnitudes)
{
    evaluator.resize(1);
    checkChange(1);
    EXPECT_FALSE(evaluate(MeasurementSample{}));
    MeasurementSample s;
    s[S::LoadActivePower] = 500;
    EXPECT_FALSE(evaluate(s)); // the value one back is 0
    settings.change[1] = false;
    settings.change[5] = true;
    s[S::NegSeqCommandD] = 20; // 20 A against 0 A one back: above 10
    EXPECT_TRUE(evaluate(s));
}

TEST_F(EvaluatorFixture, DepthOneComparesWithTheSampleJustBefore)
{
    evaluator.resize(1);
    checkChange(0);
    EXPECT_FALSE(evaluate(voltage(6600))); // first sample: ring not full
    EXPECT_FALSE(evaluate(voltage(6700)));
    EXPECT_TRUE(evaluate(voltage(6950)));
}

TEST_F(EvaluatorFixture, AndWaitsForTheRingAndForBothConditions)
{
    evaluator.resize(3);
    settings.orCombination = false;
    checkWindowOut(0);
    checkChange(0);
    EXPECT_FALSE(evaluate(voltage(6900))); // outside, but the ring is not full
    EXPECT_FALSE(evaluate(voltage(6600)));
    EXPECT_FALSE(evaluate(voltage(6600)));
    EXPECT_EQ(evaluator.historyFill(), 3);
    EXPECT_FALSE(evaluate(voltage(6650))); // no window-out, little change
    EXPECT_TRUE(evaluate(voltage(6900)));  // outside, and 300 from 6600
    EXPECT_EQ(evaluator.conditionsMet(), 2);
}

TEST_F(EvaluatorFixture, NoBoxCheckedFiresAtOnceInOrAndAnd)
{
    evaluator.resize(5);
    EXPECT_TRUE(evaluate(voltage(6600)));
    settings.orCombination = false;
    EXPECT_TRUE(evaluate(voltage(6600)));
    // Unchecking the last box while armed does the same.
    checkWindowOut(0);
    EXPECT_FALSE(evaluate(voltage(6600)));
    settings.windowOut[0] = false;
    --enabledConditionCount;
    EXPECT_TRUE(evaluate(voltage(6600)));
}

TEST_F(EvaluatorFixture, BoxesAreReadLiveAndNonNumericLimitsReadZero)
{
    evaluator.resize(5);
    checkWindowOut(0);
    EXPECT_FALSE(evaluate(voltage(6600)));
    settings.limits[0] = ""; // an empty upper limit: every positive voltage is outside
    EXPECT_TRUE(evaluate(voltage(6600)));
    settings.limits[0] = "6500abc";
    EXPECT_TRUE(evaluate(voltage(6600)));
}

TEST_F(EvaluatorFixture, HistoryHoldsTheFourValuesAndTheMagnitudes)
{
    evaluator.resize(2);
    checkWindowOut(0);
    MeasurementSample s = voltage(6600);
    s[S::LoadActivePower] = 1.5f;
    s[S::NegSeqVoltageD] = 3;
    s[S::NegSeqVoltageQ] = 4;
    s[S::NegSeqCommandD] = 0.3f;
    s[S::NegSeqCommandQ] = 0.4f;
    ASSERT_FALSE(evaluate(s));
    EXPECT_EQ(evaluator.history(0, 0), 6600.0f);
    EXPECT_EQ(evaluator.history(0, 1), 1.5f);
    EXPECT_EQ(evaluator.history(0, 4), 5.0f);
    EXPECT_FLOAT_EQ(evaluator.history(0, 5), 0.5f);
    EXPECT_EQ(evaluator.historyPos(), 1);
    ASSERT_FALSE(evaluate(s));
    EXPECT_EQ(evaluator.historyPos(), 0); // wrapped
}

TEST_F(EvaluatorFixture, ResizedRingOfZerosKeepsNoChangeConditionForPowersButMagnitudesCount)
{
    evaluator.resize(3);
    checkChange(0);
    checkChange(4);
    for (int i = 0; i < 3; ++i)
        evaluate(voltage(6600));
    evaluator.resize(2); // positions kept: HistoryFill 3 >= 2, every slot zero
    MeasurementSample s = voltage(9000);
    EXPECT_FALSE(evaluate(s)); // zero history: no change for the voltage
    s[S::NegSeqVoltageD] = 150;          // above 100 from a zero history
    EXPECT_TRUE(evaluate(s));
}

} // namespace
} // namespace svglogger
