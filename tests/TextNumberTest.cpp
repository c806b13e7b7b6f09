#include "common/TextNumber.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace svglogger {
namespace {

struct NumberCase {
    const char *text;
    double expected;
};

class ReadTextNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ReadTextNumber, ReadsTheLeadingNumber)
{
    const NumberCase &c = GetParam();
    EXPECT_EQ(readTextNumber(c.text), c.expected) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(Texts, ReadTextNumber, ::testing::Values(
    NumberCase{"100", 100.0},
    NumberCase{"", 0.0},
    NumberCase{"abc", 0.0},
    NumberCase{"50abc", 50.0},             // digits then letters
    NumberCase{"  42", 42.0},              // leading blanks skipped
    NumberCase{"\t-7", -7.0},
    NumberCase{"+3.5", 3.5},
    NumberCase{"-0.25x", -0.25},
    NumberCase{"1 2 3", 123.0},            // blanks inside are ignored too
    NumberCase{"6\n600", 6600.0},          // so are line feeds
    NumberCase{"- 5", -5.0},
    NumberCase{"1.2.3", 1.2},              // a second point ends the number
    NumberCase{"--5", 0.0},                // a second sign is no number
    NumberCase{"-5-3", -5.0},              // a sign after the digits ends the number
    NumberCase{"1.2.3", 1.2},              // so does a second point
    NumberCase{"- . 5", -0.5},
    NumberCase{"5-", 5.0},
    NumberCase{".5", 0.5},
    NumberCase{"5.", 5.0},
    NumberCase{".", 0.0},
    NumberCase{"-", 0.0},
    NumberCase{"1e3", 1.0},                // no exponent form
    NumberCase{"0x10", 0.0},
    NumberCase{"00012.500", 12.5},
    NumberCase{"0.000000000000000000000000000000000000000000000000001", 1e-51},
    NumberCase{"\r5", 0.0},                // a CR is not a blank
    NumberCase{"32767.5", 32767.5},
    NumberCase{"123456789012345678901234567890123456789012345678901234567890", 1.2345678901234568e59}));

TEST(ReadTextNumberLimits, HugeDigitRunsGiveInfinityTinyOnesZero)
{
    std::string huge(400, '9');
    EXPECT_TRUE(std::isinf(readTextNumber(huge)));
    EXPECT_LT(readTextNumber("-" + huge), 0.0);
    std::string tiny = "0." + std::string(400, '0') + "1";
    EXPECT_EQ(readTextNumber(tiny), 0.0);
}

struct RoundCase {
    double value;
    std::optional<std::int16_t> expected;
};

class RoundToInt16 : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundToInt16, HalvesToEvenAndFailsOutsideRange)
{
    const RoundCase &c = GetParam();
    EXPECT_EQ(roundToInt16(c.value), c.expected) << c.value;
}

INSTANTIATE_TEST_SUITE_P(Values, RoundToInt16, ::testing::Values(
    RoundCase{0.5, 0}, RoundCase{1.5, 2}, RoundCase{2.5, 2}, RoundCase{-2.5, -2},
    RoundCase{-3.5, -4}, RoundCase{2.4999, 2}, RoundCase{2.5001, 3},
    RoundCase{32767.0, 32767}, RoundCase{32767.4, 32767}, RoundCase{32767.5, std::nullopt},
    RoundCase{40000.0, std::nullopt}, RoundCase{-32768.0, -32768},
    RoundCase{-32768.5, -32768}, RoundCase{-32768.6, std::nullopt},
    RoundCase{INFINITY, std::nullopt}, RoundCase{NAN, std::nullopt}));

TEST(RoundToInt32, HalvesToEvenAndBounds)
{
    EXPECT_EQ(roundToInt32(6600.5), 6600);
    EXPECT_EQ(roundToInt32(-12.5), -12);
    EXPECT_EQ(roundToInt32(2147483647.0), 2147483647);
    EXPECT_EQ(roundToInt32(2147483647.5), std::nullopt);
    EXPECT_EQ(roundToInt32(-2147483648.5), -2147483648LL);
}

TEST(ToSingle, RejectsWhatAFloatCannotHold)
{
    EXPECT_EQ(toSingle(1.5), 1.5f);
    EXPECT_EQ(toSingle(1e39), std::nullopt);
    EXPECT_EQ(toSingle(INFINITY), std::nullopt);
    EXPECT_EQ(toSingle(NAN), std::nullopt);
}

TEST(ReadHexDigits, StopsAtTheFirstNonHexCharacter)
{
    EXPECT_EQ(readHexDigits("FFFF"), 0xFFFF);
    EXPECT_EQ(readHexDigits("7fff"), 0x7FFF);
    EXPECT_EQ(readHexDigits("10"), 0x10);
    EXPECT_EQ(readHexDigits("1G"), 1);
    EXPECT_EQ(readHexDigits(" 1"), 0);
    EXPECT_EQ(readHexDigits(""), 0);
}

TEST(WholeText, NumbersAndSwitchesOnlyWhenTheWholeTextIsOne)
{
    EXPECT_EQ(numberIfWholeText("12"), 12.0);
    EXPECT_EQ(numberIfWholeText(" -3.5 "), -3.5);
    EXPECT_EQ(numberIfWholeText("+2"), 2.0);
    EXPECT_FALSE(numberIfWholeText(""));
    EXPECT_FALSE(numberIfWholeText("1e3"));
    EXPECT_FALSE(numberIfWholeText("7 s"));
    EXPECT_FALSE(numberIfWholeText("nan"));
    EXPECT_FALSE(numberIfWholeText("-inf"));
    EXPECT_EQ(switchIfWholeText("on"), true);
    EXPECT_EQ(switchIfWholeText("no"), false);
    EXPECT_FALSE(switchIfWholeText("perhaps"));
}

} // namespace
} // namespace svglogger
