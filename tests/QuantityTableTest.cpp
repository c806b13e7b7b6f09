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

} // namespace
} // namespace svglogger
