#include "recording/CsvLayout.h"

#include "recording/CsvText.h"

namespace svglogger {

namespace {

const std::string kContinuous1 =
    "時刻,系統電圧(V),負荷電力(kW),負荷無効電力(kVar),ＳＶＧ出力(kVar),状態(10進)";
const std::string kContinuous2 =
    "時刻,系統電圧(V),負荷電力(kW),負荷無効電力(kVar),ＳＶＧ出力(kVar),逆相電圧D軸(V),逆相電圧Q軸(V),"
    "逆指令D軸(A),逆指令Q軸(A),状態(10進)";
const std::string kInterval1 =
    "時刻,系統電圧(V),負荷電力(kW),負荷無効電力(kVar),ＳＶＧ出力(kVar),系統電圧(Max),負荷電力(Max),"
    "負荷無効電力(Max),ＳＶＧ出力(Max),系統電圧(min),負荷電力(min),負荷無効電力(min),ＳＶＧ出力(min),DT数,"
    "状態(10進)";
const std::string kInterval2 =
    "時刻,系統電圧(V),負荷電力(kW),負荷無効電力(kVar),ＳＶＧ出力(kVar),逆相電圧D軸(V),逆相電圧Q軸(V),"
    "逆指令D軸(A),逆指令Q軸(A),系統電圧(Max),負荷電力(Max),負荷無効電力(Max),ＳＶＧ出力(Max),"
    "逆相電圧D軸(Max),逆相電圧Q軸(Max),逆指令D軸(Max),逆指令Q軸(Max),系統電圧(min),負荷電力(min),"
    "負荷無効電力(min),ＳＶＧ出力(min),逆相電圧D軸(min),逆相電圧Q軸(min),逆指令D軸(min),逆指令Q軸(min),"
    "DT数,状態(10進)";

} // namespace

const std::string &headerLine(int samplingMode, int controllerVersion)
{
    const bool older = controllerVersion == 1;
    if (samplingMode == 0)
        return older ? kContinuous1 : kContinuous2;
    return older ? kInterval1 : kInterval2;
}

std::string continuousRow(const LocalDateTime &time, const MeasurementSample &sample, int controllerVersion)
{
    using S = MeasurementSample;
    std::string row;
    row.reserve(120);
    appendDateTimeText(row, time);
    row += ',';
    appendNumberText(row, sample[S::GridVoltage], -1);
    const std::size_t last = controllerVersion == 2 ? S::NegSeqCommandQ : S::SvgOutput;
    for (std::size_t q = S::LoadActivePower; q <= last; ++q) {
        row += ',';
        appendNumberText(row, sample[q], 1);
    }
    row += ',';
    appendNumberText(row, sample[S::StatusWord], 0);
    return row;
}

} // namespace svglogger
