#pragma once

#include <string>

namespace svglogger {

// Where the row writer hands rows while the trigger is armed or a capture is running.
class CaptureRows
{
public:
    virtual ~CaptureRows() = default;
    virtual void rowWhileArmed(const std::string &row) = 0;
    virtual void rowWhileCapturing(const std::string &row) = 0;
};

} // namespace svglogger
