#include "link/LiveReadout.h"

#include "link/LinkView.h"
#include "link/Quantity.h"

#include <cassert>
#include <cmath>

namespace svglogger {

namespace {

// Rounds half away from zero, as the display formats do.
long long roundAway(double value)
{
    return std::llround(value);
}

} // namespace

LiveReadout::LiveReadout(LinkView &view)
    : m_view(view)
{
}

std::string LiveReadout::thousandsText(double value)
{
    if (!std::isfinite(value) || std::fabs(value) >= 1e18)
        return {};
    const long long whole = roundAway(value);
    std::string digits = std::to_string(whole < 0 ? -whole : whole);
    // The minus sign is the value's: -0.4 shows as "-0".
    const bool negative = value < 0;
    std::string text;
    const std::size_t lead = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
    text.append(digits, 0, lead);
    for (std::size_t i = lead; i < digits.size(); i += 3) {
        text += ',';
        text.append(digits, i, 3);
    }
    return negative ? "-" + text : text;
}

std::string LiveReadout::oneDecimalText(double value)
{
    if (!std::isfinite(value) || std::fabs(value) >= 1e17)
        return {};
    const long long tenths = roundAway(value * 10.0);
    const long long magnitude = tenths < 0 ? -tenths : tenths;
    std::string text = value < 0 ? "-" : "";
    text += std::to_string(magnitude / 10);
    text += '.';
    text += static_cast<char>('0' + magnitude % 10);
    return text;
}

std::string LiveReadout::rowText(int row, double value)
{
    assert(row >= 0 && static_cast<std::size_t>(row) < kReadoutRows.size());
    return kReadoutRows[static_cast<std::size_t>(row)].decimals == 0 ? thousandsText(value) : oneDecimalText(value);
}

void LiveReadout::showMain(const MeasurementSample &sample)
{
    for (std::size_t row = 0; row < kReadoutRows.size(); ++row) {
        if (const int source = kReadoutRows[row].source; source >= 0)
            m_view.setReadoutValue(static_cast<int>(row), rowText(static_cast<int>(row), sample[static_cast<std::size_t>(source)]));
    }
}

void LiveReadout::showNegativeSequence(const MeasurementSample &sample)
{
    using S = MeasurementSample;
    const double vd = sample[S::NegSeqVoltageD];
    const double vq = sample[S::NegSeqVoltageQ];
    const double cd = sample[S::NegSeqCommandD];
    const double cq = sample[S::NegSeqCommandQ];
    const double voltageMagnitude = std::sqrt(vd * vd + vq * vq);
    m_view.setReadoutValue(4, rowText(4, voltageMagnitude));
    m_view.setReadoutValue(5, rowText(5, std::sqrt(cd * cd + cq * cq)));
    const double voltage = sample[S::GridVoltage];
    if (voltage != 0.0)
        m_view.setReadoutValue(6, rowText(6, voltageMagnitude / voltage * 100.0));
}

} // namespace svglogger
