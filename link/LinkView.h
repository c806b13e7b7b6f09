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

    // The time of the last receive event, "mm/dd hh:mm:ss" (Label5).
    virtual void showMeasurementTime(std::string_view text) = 0;
    // `text` was inserted at character `position` of the communication log (Text2).
    virtual void communicationLogInserted(std::int32_t position, std::string_view text) = 0;
    // The first `count` characters of the communication log were removed.
    virtual void communicationLogTrimmed(std::int32_t count) = 0;
    // The text of readout value `row`, 0 to 7 (DTLabel), as kReadoutRows orders them.
    virtual void setReadoutValue(int row, std::string_view text) = 0;
    // Readout rows 4 to 6 (names, values, units): enabled for a version-2 controller.
    virtual void setNegativeSequenceRowsEnabled(bool enabled) = 0;
};

} // namespace svglogger
