#pragma once

#include "recording/CsvLayout.h"

#include <string>

namespace svglogger {

// Where the row writer hands rows while the trigger is armed or a capture is running, with
// the layout each row was made in.
class CaptureRows
{
public:
    virtual ~CaptureRows() = default;
    virtual void rowWhileArmed(const std::string &row, const RowLayout &layout) = 0;
    virtual void rowWhileCapturing(const std::string &row, const RowLayout &layout) = 0;
};

} // namespace svglogger
