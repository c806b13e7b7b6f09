#pragma once

#include <cstdint>
#include <string_view>

namespace svglogger {


// What the receive side shows on the main window. Implemented by the window; every call
// happens on the user-interface thread inside a receive event.
class LinkView
{
public:
    virtual ~LinkView() = default;

    // Label5: the time of the last receive event, "mm/dd hh:mm:ss".
    virtual void showMeasurementTime(std::string_view text) = 0;
    // Text2: `text` was inserted at character `position` of the communication log.
    virtual void communicationLogInserted(std::int32_t position, std::string_view text) = 0;
    // Text2: the first `count` characters of the communication log were removed.
    virtual void communicationLogTrimmed(std::int32_t count) = 0;
    // DTLabel(row): the text of readout value `row`, 0 to 7.
    virtual void setReadoutValue(int row, std::string_view text) = 0;
    // Readout rows 4 to 6 (names, values, units): enabled for a version-2 controller.
    virtual void setNegativeSequenceRowsEnabled(bool enabled) = 0;
};

} // namespace svglogger
