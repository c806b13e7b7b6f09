#include "common/Contrast.h"
#include "link/Quantity.h"
#include "recording/CsvLayout.h"
#include "recording/CsvText.h"
#include "support/Split.h"

#include <gtest/gtest.h>

#include <cmath>

#include <string>
#include <vector>

namespace svglogger {
namespace {

// The four headers as the log files have carried them, byte for byte: the table must make
// exactly these.
TEST(QuantityTable, MakesTheFourHeadersAsTheFilesHaveThem)
{
    EXPECT_EQ(headerLine(SamplingMode::Continuous, ControllerVersion::Older), "時刻,系統電圧(V),負荷電力(kW),負荷無効電力(kVar),ＳＶＧ出力(kVar),状態(10進)");
    EXPECT_EQ(headerLine(SamplingMode::Continuous, ControllerVersion::Version2),
              "時刻,系統電圧(V),負荷電力(kW),負荷無効電力(kVar),ＳＶＧ出力(kVar),逆相電圧D軸(V),逆相電圧Q軸(V),"
              "逆指令D軸(A),逆指令Q軸(A),状態(10進)");
    EXPECT_EQ(headerLine(SamplingMode::Interval, ControllerVersion::Older),
              "時刻,系統電圧(V),負荷電力(kW),負荷無効電力(kVar),ＳＶＧ出力(kVar),系統電圧(Max),負荷電力(Max),"
              "負荷無効電力(Max),ＳＶＧ出力(Max),系統電圧(min),負荷電力(min),負荷無効電力(min),ＳＶＧ出力(min),DT数,"
              "状態(10進)");
    EXPECT_EQ(headerLine(SamplingMode::Interval, ControllerVersion::Version2),
              "時刻,系統電圧(V),負荷電力(kW),負荷無効電力(kVar),ＳＶＧ出力(kVar),逆相電圧D軸(V),逆相電圧Q軸(V),"
              "逆指令D軸(A),逆指令Q軸(A),系統電圧(Max),負荷電力(Max),負荷無効電力(Max),ＳＶＧ出力(Max),"
              "逆相電圧D軸(Max),逆相電圧Q軸(Max),逆指令D軸(Max),逆指令Q軸(Max),系統電圧(min),負荷電力(min),"
              "負荷無効電力(min),ＳＶＧ出力(min),逆相電圧D軸(min),逆相電圧Q軸(min),逆指令D軸(min),逆指令Q軸(min),"
              "DT数,状態(10進)");
}

} // namespace
} // namespace svglogger

namespace svglogger {
namespace {

// Relative luminance as WCAG 2 computes it, and every trace brought to 3:1 against the
// picture's white, or against black by lightening; a colour that stands already is kept.
TEST(TraceContrast, EveryTraceStandsThreeToOneFromItsBackground)
{
    EXPECT_NEAR(contrastRatio(0x000000, 0xFFFFFF), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(0x00FF00, 0xFFFFFF), 1.37, 0.01); // why the bright traces darken
    EXPECT_NEAR(contrastRatio(0x0000FF, 0xFFFFFF), 8.59, 0.01);
    EXPECT_EQ(withContrast(0x0000FF, 0xFFFFFF), 0x0000FFu) << "blue on white stands already";
    for (const Quantity &q : kQuantities) {
        for (const std::uint32_t background : {0xFFFFFFu, 0x000000u, 0xC0C0C0u}) {
            const std::uint32_t shown = withContrast(q.traceColour, background);
            EXPECT_GE(contrastRatio(shown, background), 3.0) << std::hex << q.traceColour << " on " << background;
            // The least change: one step less would not do, unless it was not changed at all.
            if (shown != q.traceColour) {
                EXPECT_LT(contrastRatio(shown, background), 3.1) << std::hex << q.traceColour << " on " << background;
            }
        }
    }
}

} // namespace
} // namespace svglogger

namespace svglogger {
namespace {

TEST(StatusBits, KnownBitsByNameTheRestByNumber)
{
    struct Case {
        float word;
        const char *names;
    } cases[] = {
        {0, ""},
        {16, "潮流補正"},
        {48, "潮流補正, 相回転補正"},
        {1, "bit 0"},
        {-32768, "bit 15"},          // the word is a signed 16-bit number in the files
        {32 + 4, "bit 2, 相回転補正"},
        {std::nanf(""), ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(statusBitNames(c.word), c.names) << c.word;
    EXPECT_EQ(statusBitName(7), "bit 7");
}

} // namespace
} // namespace svglogger
