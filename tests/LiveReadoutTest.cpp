#include "link/LiveReadout.h"
#include "support/FakeLinkView.h"

#include <gtest/gtest.h>

namespace svglogger {
namespace {

using S = MeasurementSample;

struct FormatCase {
    double value;
    const char *thousands;
    const char *oneDecimal;
};

class ReadoutFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ReadoutFormats, WholeWithThousandsAndOneDecimal)
{
    EXPECT_EQ(LiveReadout::thousandsText(GetParam().value), GetParam().thousands) << GetParam().value;
    EXPECT_EQ(LiveReadout::oneDecimalText(GetParam().value), GetParam().oneDecimal) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Values, ReadoutFormats, ::testing::Values(
    FormatCase{6600, "6,600", "6600.0"},
    FormatCase{-12.34, "-12", "-12.3"},
    FormatCase{999.5, "1,000", "999.5"},
    FormatCase{-1234.5, "-1,235", "-1234.5"},
    FormatCase{1234567, "1,234,567", "1234567.0"},
    FormatCase{0, "0", "0.0"},
    FormatCase{0.4, "0", "0.4"},
    FormatCase{-0.04, "-0", "-0.0"}, // negative values keep their sign, also when they round to zero
    FormatCase{-0.4, "-0", "-0.4"},
    FormatCase{-0.05, "-0", "-0.1"},
    FormatCase{-0.0, "0", "0.0"},    // negative zero is no negative value
    FormatCase{0.96, "1", "1.0"},
    FormatCase{100, "100", "100.0"},
    FormatCase{-32768, "-32,768", "-32768.0"}));

TEST(LiveReadout, MainRowsAndTheUncompensatedVoltage)
{
    test::FakeLinkView view;
    LiveReadout readout(view);
    S s;
    s[S::GridVoltage] = 6600;
    s[S::LoadActivePower] = -12.34f;
    s[S::LoadReactivePower] = 5.05f;
    s[S::SvgOutput] = 0.04f;
    s[S::UncompensatedVoltage] = 6712.6f;
    readout.showMain(s);
    EXPECT_EQ(view.readout[0], "6,600");
    EXPECT_EQ(view.readout[1], "-12.3");
    EXPECT_EQ(view.readout[2], "5.1"); // 5.05f lies just above 5.05
    EXPECT_EQ(view.readout[3], "0.0");
    EXPECT_EQ(view.readout[7], "6,713");
    EXPECT_EQ(view.readout[4], ""); // untouched
}

TEST(LiveReadout, NegativeSequenceRowsSkipTheRatioWhenTheVoltageIsZero)
{
    test::FakeLinkView view;
    LiveReadout readout(view);
    S s;
    s[S::GridVoltage] = 6600;
    s[S::NegSeqVoltageD] = 30;
    s[S::NegSeqVoltageQ] = 40;
    s[S::NegSeqCommandD] = 3;
    s[S::NegSeqCommandQ] = -4;
    readout.showNegativeSequence(s);
    EXPECT_EQ(view.readout[4], "50.0");
    EXPECT_EQ(view.readout[5], "5.0");
    EXPECT_EQ(view.readout[6], "0.8");
    s[S::GridVoltage] = 0;
    s[S::NegSeqVoltageD] = 60;
    s[S::NegSeqVoltageQ] = 80;
    readout.showNegativeSequence(s);
    EXPECT_EQ(view.readout[4], "100.0");
    EXPECT_EQ(view.readout[6], "0.8"); // kept
}

} // namespace
} // namespace svglogger
