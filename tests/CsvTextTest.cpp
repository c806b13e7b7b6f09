#include "recording/CsvLayout.h"
#include "recording/CsvText.h"
#include "recording/DateSerial.h"
#include "recording/ShiftJisText.h"
#include "support/CommaLocale.h"
#include "support/Cp932.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace svglogger {
namespace {

struct NumberCase {
    float value;
    int decimals;
    const char *expected;
};

class NumberText : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberText, RoundsThenWritesTheShortestForm)
{
    const NumberCase &c = GetParam();
    EXPECT_EQ(numberText(c.value, c.decimals), c.expected) << c.value << " to " << c.decimals;
}

const NumberCase kNumberCases[] = {
    NumberCase{12.25f, 1, "12.2"},      // a true tie goes to the even digit
    NumberCase{12.35f, 1, "12.4"},      // 12.35f lies above 12.35: no tie
    NumberCase{12.75f, 1, "12.8"},
    NumberCase{12.0f, 1, "12"},         // no trailing zeros, no trailing point
    NumberCase{-0.4f, 1, "-0.4"},
    NumberCase{-0.04f, 1, "0"},         // rounds to zero: no minus sign
    NumberCase{-0.05f, 1, "-0.1"},      // -0.05f lies beyond -0.05
    NumberCase{0.25f, 1, "0.2"},
    NumberCase{9.998513f, 1, "10"},
    NumberCase{-2.999554f, 1, "-3"},
    NumberCase{6600.5f, 0, "6600"},
    NumberCase{6601.5f, 0, "6602"},
    NumberCase{-32768.0f, 0, "-32768"},
    NumberCase{32767.0f, 0, "32767"},
    NumberCase{6600.0f, -1, "6600"},    // unrounded
    NumberCase{0.1f, -1, "0.1"},        // seven significant digits hide the float's tail
    NumberCase{1.0f / 3.0f, -1, "0.3333333"},
    NumberCase{-1234.567f, -1, "-1234.567"},
    NumberCase{1234567.0f, -1, "1234567"},
    NumberCase{12345678.0f, -1, "1.234568E+07"},
    NumberCase{99999.95f, 1, "100000"},
    NumberCase{16265.44f, 1, "16265.4"},
    NumberCase{-0.0f, 1, "0"},
    NumberCase{0.0f, 0, "0"}};
INSTANTIATE_TEST_SUITE_P(Values, NumberText, ::testing::ValuesIn(kNumberCases));

// What leaves the box as a number (MQTT) equals what the row says, without making the text:
// the cases above at every place count, and a sweep of floats around the readings' ranges.
TEST(RowNumber, IsTheNumberTheRowsTextStandsFor)
{
    auto expectSame = [](float value, int decimals) {
        const std::string text = numberText(value, decimals);
        double read = 0;
        std::from_chars(text.data(), text.data() + text.size(), read);
        const double number = rowNumber(value, decimals);
        if (std::isnan(read))
            EXPECT_TRUE(std::isnan(number)) << text;
        else
            EXPECT_EQ(std::bit_cast<std::uint64_t>(number), std::bit_cast<std::uint64_t>(read))
                << value << " to " << decimals << " places: " << text << " but " << number;
    };
    for (const NumberCase &c : kNumberCases)
        for (int decimals : {-1, 0, 1, 2, 3, c.decimals})
            expectSame(c.value, decimals);
    for (float value : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                        -std::numeric_limits<float>::infinity(), 1e-7f, 9999999.5f, -9999999.0f, 3e38f})
        for (int decimals : {-1, 0, 1})
            expectSame(value, decimals);
    for (float value = -40000.0f; value < 40000.0f; value += 1.37f)
        for (int decimals : {-1, 0, 1})
            expectSame(value, decimals);
}

// QCoreApplication takes the system's locale into the C library: a German one must not turn
// the point of a CSV number into a comma.
TEST(NumberTextUnderACommaLocale, EveryNumberAsInTheCLocale)
{
    const test::CommaLocale german;
    if (!german.active())
        GTEST_SKIP() << "no locale with a decimal comma can be had here";
    for (const NumberCase &c : kNumberCases)
        EXPECT_EQ(numberText(c.value, c.decimals), c.expected) << c.value << " to " << c.decimals;
    EXPECT_EQ(dateTimeText({2016, 6, 24, 9, 5, 3}), "2016/06/24 9:05:03");
}

struct DateTimeCase {
    LocalDateTime time;
    const char *expected;
};

class DateTimeText : public ::testing::TestWithParam<DateTimeCase> {};

TEST_P(DateTimeText, FixedFormOnEveryLocale)
{
    EXPECT_EQ(dateTimeText(GetParam().time), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Times, DateTimeText, ::testing::Values(
    DateTimeCase{{2016, 6, 24, 9, 5, 3}, "2016/06/24 9:05:03"},
    DateTimeCase{{2016, 6, 24, 0, 0, 0}, "2016/06/24"},  // midnight: the date alone
    DateTimeCase{{2016, 6, 24, 0, 0, 1}, "2016/06/24 0:00:01"},
    DateTimeCase{{2016, 6, 24, 0, 1, 0}, "2016/06/24 0:01:00"},
    DateTimeCase{{2026, 12, 31, 23, 59, 59}, "2026/12/31 23:59:59"},
    DateTimeCase{{987, 1, 2, 10, 0, 0}, "0987/01/02 10:00:00"}));

TEST(DateSerial, CountsDaysFrom30December1899)
{
    EXPECT_EQ(toDateSerial({1899, 12, 30, 0, 0, 0}), 0.0);
    EXPECT_EQ(toDateSerial({1900, 1, 1, 0, 0, 0}), 2.0);
    EXPECT_EQ(toDateSerial({2016, 6, 24, 0, 0, 0}), 42545.0);
    EXPECT_EQ(toDateSerial({2016, 6, 24, 12, 0, 0}), 42545.5);
}

TEST(DateSerial, RoundTripsAcrossMonthEndsLeapDaysAndMidnight)
{
    const LocalDateTime times[] = {{2024, 2, 28, 23, 59, 59}, {2024, 2, 29, 0, 0, 0}, {2024, 3, 1, 0, 0, 1},
                                   {2026, 12, 31, 23, 59, 59}, {2027, 1, 1, 0, 0, 0}, {2100, 2, 28, 12, 30, 0},
                                   {1900, 3, 1, 6, 0, 0}, {1899, 12, 29, 23, 59, 59}, {1969, 12, 31, 23, 59, 59},
                                   {1970, 1, 1, 0, 0, 0}, {1601, 1, 1, 0, 0, 1}};
    for (const LocalDateTime &t : times)
        EXPECT_EQ(fromDateSerial(toDateSerial(t)), t) << dateTimeText(t);
    // One second after the end of a month, computed on the serial, lands in the next month.
    EXPECT_EQ(fromDateSerial(toDateSerial({2026, 11, 30, 23, 59, 59}) + 1.0 / 86400), (LocalDateTime{2026, 12, 1, 0, 0, 0}));
}

TEST(DateSerial, RoundsToTheNearestSecond)
{
    const double base = toDateSerial({2016, 6, 24, 9, 5, 3});
    EXPECT_EQ(fromDateSerial(base + 0.4 / 86400), (LocalDateTime{2016, 6, 24, 9, 5, 3}));
    EXPECT_EQ(fromDateSerial(base + 0.6 / 86400), (LocalDateTime{2016, 6, 24, 9, 5, 4}));
    EXPECT_EQ(fromDateSerial(base - 0.4 / 86400), (LocalDateTime{2016, 6, 24, 9, 5, 3}));
}

std::size_t columns(const std::string &line)
{
    return static_cast<std::size_t>(std::count(line.begin(), line.end(), ',')) + 1;
}

TEST(CsvLayout, HeaderColumnsByModeAndVersion)
{
    EXPECT_EQ(columns(headerLine(SamplingMode::Continuous, ControllerVersion::Older)), 6u);
    EXPECT_EQ(columns(headerLine(SamplingMode::Continuous, ControllerVersion::Version2)), 10u);
    EXPECT_EQ(columns(headerLine(SamplingMode::Interval, ControllerVersion::Older)), 15u);
    EXPECT_EQ(columns(headerLine(SamplingMode::Interval, ControllerVersion::Version2)), 27u);
    EXPECT_EQ(headerLine(SamplingMode::Continuous, ControllerVersion::Unknown), headerLine(SamplingMode::Continuous, ControllerVersion::Version2)); // an unknown version takes version 2's
    EXPECT_EQ(headerLine(SamplingMode::Continuous, ControllerVersion::Older).substr(0, 6), "時刻");
    EXPECT_TRUE(headerLine(SamplingMode::Interval, ControllerVersion::Version2).ends_with(",DT数,状態(10進)"));
}

TEST(CsvLayout, ContinuousRowOfEachVersion)
{
    MeasurementSample s;
    s[MeasurementSample::GridVoltage] = 6600;
    s[MeasurementSample::LoadActivePower] = 9.998513f;
    s[MeasurementSample::LoadReactivePower] = 4.999257f;
    s[MeasurementSample::SvgOutput] = -2.999554f;
    s[MeasurementSample::NegSeqVoltageD] = 30.04f;
    s[MeasurementSample::NegSeqVoltageQ] = -40.05f;
    s[MeasurementSample::NegSeqCommandD] = 26.2444f;
    s[MeasurementSample::NegSeqCommandQ] = 0.04f;
    s[MeasurementSample::UncompensatedVoltage] = 6500; // never written
    s[MeasurementSample::StatusWord] = -1;
    const LocalDateTime t{2016, 6, 24, 9, 5, 3};
    EXPECT_EQ(continuousRow(t, s, ControllerVersion::Older), "2016/06/24 9:05:03,6600,10,5,-3,-1");
    EXPECT_EQ(continuousRow(t, s, ControllerVersion::Version2), "2016/06/24 9:05:03,6600,10,5,-3,30,-40,26.2,0,-1");
    EXPECT_EQ(continuousRow(t, s, ControllerVersion::Unknown), "2016/06/24 9:05:03,6600,10,5,-3,-1");
}

// The headers in code page 932 without a converter library; decoded back by the C library's
// iconv, an independent decoder.
TEST(ShiftJisText, EveryHeaderIsEncodedAndDecodesBackToItself)
{
    for (SamplingMode mode : {SamplingMode::Continuous, SamplingMode::Interval}) {
        for (ControllerVersion version : {ControllerVersion::Older, ControllerVersion::Version2}) {
            const std::optional<std::string> bytes = toShiftJis(headerLine(mode, version));
            ASSERT_TRUE(bytes.has_value()) << static_cast<int>(mode) << versionNumber(version);
            EXPECT_EQ(test::cp932ToUtf8(*bytes), headerLine(mode, version));
        }
    }
}

struct ShiftJisCase {
    const char *utf8;
    std::optional<std::string> bytes;
};

class ShiftJisCharacters : public ::testing::TestWithParam<ShiftJisCase> {};

TEST_P(ShiftJisCharacters, TableAsciiAndRefusals)
{
    EXPECT_EQ(toShiftJis(GetParam().utf8), GetParam().bytes) << GetParam().utf8;
}

INSTANTIATE_TEST_SUITE_P(Texts, ShiftJisCharacters, ::testing::Values(
    ShiftJisCase{"時刻", std::string("\x8E\x9E\x8D\x8F")},
    ShiftJisCase{"ＳＶＧ", std::string("\x82\x72\x82\x75\x82\x66")},
    ShiftJisCase{"令", std::string("\x97\xDF")},       // the first entry of the table
    ShiftJisCase{"Ｖ", std::string("\x82\x75")},       // the last
    ShiftJisCase{"DT数,(10進)", std::string("DT\x90\x94,(10\x90\x69)")},
    ShiftJisCase{"2016/06/24 9:05:03,6600", std::string("2016/06/24 9:05:03,6600")},
    ShiftJisCase{"", std::string()},
    ShiftJisCase{"漢", std::nullopt},                   // not one of the system's own
    ShiftJisCase{"a\xE6\x99", std::nullopt},          // cut-off UTF-8
    ShiftJisCase{"\xE6\x99\x41", std::nullopt},        // a broken sequence
    ShiftJisCase{"\xFF", std::nullopt}));

} // namespace
} // namespace svglogger
