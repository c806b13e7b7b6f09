#pragma once

#include "link/PortWriter.h"

#include <string>

namespace svglogger {

// The serial port as the run control drives it: 9600 baud, 8N1, no flow control. Received
// bytes reach the run control's received(); a read or write error, or the device going away,
// reaches its portLost().
class PortControl : public PortWriter
{
public:
    virtual bool open(const std::string &device) = 0;
    // Hands over what has arrived and is still waiting, now.
    virtual void handOverWaiting() = 0;
    // Hands over what is still waiting, then closes; harmless when closed.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Why the last open failed, or the last error, in the platform's words.
    virtual std::string errorString() const = 0;
};

} // namespace svglogger
