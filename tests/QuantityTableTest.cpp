#include "link/Quantity.h"
#include "recording/CsvLayout.h"
#include "recording/CsvText.h"
#include "support/Split.h"

#include <gtest/gtest.h>

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

// Every quantity of the table stands in every layout of the controllers that send it, in the
// table's order, and its continuous row number is written with the table's places.
TEST(QuantityTable, EachQuantityIsInTheLayoutsOfTheControllersThatSendIt)
{
    EXPECT_EQ(quantitiesSentBy(ControllerVersion::Unknown), 0u);
    EXPECT_EQ(quantitiesSentBy(ControllerVersion::Older), 4u);
    EXPECT_EQ(quantitiesSentBy(ControllerVersion::Version2), kQuantities.size());
    MeasurementSample sample;
    for (const Quantity &q : kQuantities)
        sample[q.index] = 1234.5678f;
    for (const ControllerVersion version : {ControllerVersion::Older, ControllerVersion::Version2}) {
        const std::size_t k = quantitiesSentBy(version);
        const std::vector<std::string> continuous = test::split(headerLine(SamplingMode::Continuous, version), ',');
        const std::vector<std::string> interval = test::split(headerLine(SamplingMode::Interval, version), ',');
        const std::vector<std::string> row =
            test::split(continuousRow({2026, 12, 7, 9, 5, 3}, sample, version), ',');
        ASSERT_EQ(continuous.size(), k + 2);
        ASSERT_EQ(interval.size(), 3 * k + 3);
        ASSERT_EQ(row.size(), k + 2);
        for (std::size_t i = 0; i < k; ++i) {
            const Quantity &q = kQuantities[i];
            EXPECT_LE(q.since, static_cast<ControllerVersion>(version));
            EXPECT_EQ(continuous[1 + i], q.csvHeader());
            EXPECT_EQ(interval[1 + i], q.csvHeader());
            EXPECT_EQ(interval[1 + k + i], std::string(q.csvName) + "(Max)");
            EXPECT_EQ(interval[1 + 2 * k + i], std::string(q.csvName) + "(min)");
            EXPECT_EQ(row[1 + i], numberText(1234.5678f, q.continuousDecimals)) << q.jsonKey;
        }
        EXPECT_EQ(continuous.back(), kStatusWordHeader);
        EXPECT_EQ(interval[3 * k + 1], "DT数");
    }
    // Names and keys are each one quantity's.
    for (std::size_t i = 0; i < kQuantities.size(); ++i)
        for (std::size_t j = i + 1; j < kQuantities.size(); ++j) {
            EXPECT_NE(kQuantities[i].jsonKey, kQuantities[j].jsonKey);
            EXPECT_NE(kQuantities[i].csvName, kQuantities[j].csvName);
            EXPECT_NE(kQuantities[i].index, kQuantities[j].index);
        }
}

} // namespace
} // namespace svglogger
