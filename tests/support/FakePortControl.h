#pragma once

#include "pipeline/PortControl.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace svglogger::test {

// A serial port whose devices come and go as the test says. Bytes still waiting when it
// closes are handed to `onReceived` first, as the platform's port does.
class FakePortControl final : public PortControl
{
public:
    std::set<std::string> present{"/dev/ttyUSB0"};
    std::string written;
    std::string waiting;          // received, not yet handed over
    std::string arrivingAtClose;  // arrives while the port is being closed
    std::vector<std::string> calls; // "open <device>", "close", in order
    std::function<void(const std::string &)> onReceived;
    std::string device;
    bool opened = false;

    bool open(const std::string &name) override
    {
        calls.push_back("open " + name);
        opened = present.count(name) != 0;
        device = opened ? name : std::string();
        m_error = opened ? std::string() : "No such file or directory";
        return opened;
    }
    void handOverWaiting() override
    {
        if (opened && !waiting.empty() && onReceived)
            onReceived(std::exchange(waiting, std::string()));
    }
    void close() override
    {
        if (!opened)
            return;
        calls.push_back("close");
        waiting += std::exchange(arrivingAtClose, std::string());
        if (!waiting.empty() && onReceived)
            onReceived(std::exchange(waiting, std::string()));
        opened = false;
    }
    bool isOpen() const override { return opened; }
    std::string errorString() const override { return m_error; }
    void output(std::string_view bytes) override
    {
        if (opened)
            written.append(bytes);
    }

private:
    std::string m_error;
};

} // namespace svglogger::test
