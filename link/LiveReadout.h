#pragma once

#include "link/MeasurementSample.h"

#include <string>

namespace svglogger {

class LinkView;

// The eight readout values of the main window, as text: rows 0 to 3 and 7 from every decoded
// line, rows 4 to 6 (negative sequence) from a version-2 controller's lines.
class LiveReadout
{
public:
    explicit LiveReadout(LinkView &view);

    // Rows 0 grid voltage, 1 to 3 load and SVG powers, 7 uncompensated voltage.
    void showMain(const MeasurementSample &sample);
    // Rows 4 negative-sequence voltage, 5 command magnitude, 6 unbalance ratio. The ratio
    // is skipped (keeps its text) when the voltage is 0.
    void showNegativeSequence(const MeasurementSample &sample);

    // "#,##0": whole number with thousands separated by commas. A negative value keeps its
    // minus sign also when it rounds to zero ("-0"), as the format writes it.
    static std::string thousandsText(double value);
    // "##0.0": exactly one decimal, at least one digit before the point ("-0.0" likewise).
    static std::string oneDecimalText(double value);
    // The value in the format of readout row `row`.
    static std::string rowText(int row, double value);

private:
    LinkView &m_view;
};

} // namespace svglogger
